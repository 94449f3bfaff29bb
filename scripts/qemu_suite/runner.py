"""The qemu suite's command line and case runner: boots the board, runs the cases of
tests/qemu/cases.py one after the other (one line each), keeps a failed case's evidence and
switches a board that stopped answering off and on. Also the checks the cases share.

  python3 -m qemu_suite boot --image DIR      boot, print the sockets, wait for Ctrl-C
  python3 -m qemu_suite figures --image DIR [--validations N] [--verdicts-only]
                                              the service's figures (qemu_suite.figures)
  python3 -m qemu_suite test --image DIR --gallery DIR --cases FILE [CASE...]
"""
import argparse
import configparser
import importlib.util
import json
import os
import shutil
import signal
import sys
import time

from qemu_suite.machine import Machine

# The command line, filled in by main() before any case runs; the cases read it.
options = argparse.Namespace()


def check(ok, what):
    if not ok:
        raise AssertionError(what)


def ini(text):
    """An INI file as QSettings writes it: {"section/key": value}; ValueError if broken."""
    p = configparser.RawConfigParser(strict=True, delimiters=("=",))
    p.optionxform = str
    p.read_string(text)
    return {("" if s == "General" else s + "/") + k: v
            for s in p.sections() for k, v in p[s].items()}


def evidence(m, name):
    """The screen, the console so far and, when the agent answers, the state of the units,
    into a folder of the board's own; the folder's name."""
    out = os.path.join(m.dir, f"failed-{name}")
    os.makedirs(out, exist_ok=True)
    shutil.copy(m.console, out)
    try:
        m.screen(os.path.join(out, "screen.png"))
        # Whether the machine runs and where each processor is (firmware, kernel, user).
        hmp = lambda c: m.qmp_cmd("human-monitor-command", **{"command-line": c})
        with open(os.path.join(out, "qemu.txt"), "w") as f:
            f.write(json.dumps(m.qmp_cmd("query-status")) + "\n" + hmp("info chardev") +
                    hmp("info registers -a"))
        with open(os.path.join(out, "status.txt"), "w") as f:
            f.write(m.out("systemctl --no-pager list-jobs; systemctl --no-pager --failed; "
                          "systemctl --no-pager status quellan; journalctl -b --no-pager "
                          "-o short-monotonic -n 300", timeout=60))
    except Exception as e:  # no agent: the console and the disk's journal say the rest
        with open(os.path.join(out, "status.txt"), "a") as f:
            f.write(f"no status: {e}\n")
    return out


def run_suite(cases):
    """Boots the board, runs the cases (all, or those named on the command line) in order,
    one line each, then "N passed, N failed"; the board is closed however the run ends."""
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    passed = failed = 0
    m = Machine(options.arch, options.image)
    try:
        print(f"board: agent up {m.wait_agent():.0f} s after power on", flush=True)
        m.wait_active()
        for case in cases:
            if options.only and case.__name__ not in options.only:
                continue
            t0 = time.monotonic()
            try:
                note = case(m) or ""
                passed += 1
                print(f"PASS {case.__name__} ({time.monotonic() - t0:.0f} s) {note}", flush=True)
            except Exception as e:
                failed += 1
                print(f"FAIL {case.__name__} ({time.monotonic() - t0:.0f} s) "
                      f"{type(e).__name__}: {e}", flush=True)
                print(f"  evidence: {evidence(m, case.__name__)}", flush=True)
                try:  # the next cases on a board that answers again
                    m.agent("guest-ping", timeout=10)
                except Exception:
                    try:
                        print(f"  no agent: qemu started again, agent back {m.restart():.0f} s "
                              "later", flush=True)
                    except Exception as e:
                        print(f"  no agent after qemu was started again: {e}", flush=True)
                        break
    finally:
        m.close(keep=failed > 0)
        if failed:
            print(f"board: console, screens, status and every boot's journal in {m.dir}")
    print(f"{passed} passed, {failed} failed")
    sys.exit(1 if failed else 0)


def boot():
    m = Machine(options.arch, options.image)
    print(f"board: up in {time.monotonic() - m.booted:.0f} s; QMP {m.qmp_path}, "
          f"agent {m.qga_path}, console {m.console}; Ctrl-C stops it", flush=True)
    try:
        signal.pause()
    finally:
        m.close()


def main(argv=None):
    p = argparse.ArgumentParser(prog="qemu-suite")
    p.add_argument("command", choices=("boot", "figures", "test"))
    p.add_argument("--arch", default="amd64")
    p.add_argument("--image", required=True)
    p.add_argument("--gallery", help="the offscreen gallery's passenger folder (test)")
    p.add_argument("--cases", help="the file of cases, its list CASES run in order (test)")
    p.add_argument("--cuts", type=int, default=20, help="power cuts of the power_cuts case")
    p.add_argument("--validations", type=int, default=60, help="verdicts timed (figures)")
    p.add_argument("--verdicts-only", action="store_true", help="figures: only the verdicts")
    p.add_argument("only", nargs="*", help="the cases to run (test; default: all)")
    vars(options).update(vars(p.parse_intermixed_args(argv)))
    if options.command == "boot":
        boot()
    elif options.command == "figures":
        from qemu_suite.figures import main as figures
        figures(options)
    else:
        found = importlib.util.spec_from_file_location("cases", options.cases)
        cases = importlib.util.module_from_spec(found)
        found.loader.exec_module(cases)
        run_suite(cases.CASES)
