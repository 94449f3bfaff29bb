#!/usr/bin/env python3
"""The board under qemu, for the system suite (tests/qemu/) and scripts/qemu-suite boot.

Board(arch, image) boots a copy-on-write layer over the cached image with TCG, no
network, a 480 x 800 virtio-gpu display ("gpu"), a virtio tablet as the touch panel,
the guest agent on a virtio-serial port and QMP on a socket. Its API:
  run(cmd)            shell command in the guest: (exit code, stdout + stderr)
  screen(path)        the display as PNG (QMP screendump)
  tap(x, y)           a touch at a pixel (absolute tablet events, left button)
  cut()               power cut: reset with no shutdown, then wait for the agent
  evidence(name)      what a failed case leaves: screen, console, the unit's status
  wait_active(unit)   the unit active (its start job done), seconds waited
  journal(args)       journalctl output of this boot
  close(keep)         kill qemu (only the one this object started); with keep, quit it
                      cleanly, read the journal of every boot from its disk and keep the folder
"""
import base64
import ctypes
import json
import os
import random
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

W, H = 480, 800


class Board:
    def __init__(self, arch, image, memory=1024):
        self.dir = tempfile.mkdtemp(prefix="board-")
        self.image = image
        disk = os.path.join(self.dir, "disk.qcow2")
        subprocess.run(["qemu-img", "create", "-q", "-f", "qcow2", "-F", "raw", "-b",
                        os.path.join(image, "disk.raw"), disk], check=True)
        self.qmp_path = os.path.join(self.dir, "qmp.sock")
        self.qga_path = os.path.join(self.dir, "qga.sock")
        self.console = os.path.join(self.dir, "console.log")
        # The console (kept when a case fails) shows the kernel's warnings and every unit
        # systemd starts or waits for, boot after boot.
        append = ("root=/dev/vda rw loglevel=4 mitigations=off systemd.show_status=1 "
                  "rd.udev.log_level=3 console=" + ("ttyS0" if arch == "amd64" else "ttyAMA0"))
        if arch == "amd64":
            # A Nehalem: SSE4.2, no AVX. qemu 7.2's TCG faults on the masked-off lanes of
            # an AVX2 masked load (vpmaskmovd), which real processors never touch; Qt's
            # raster engine loads the head of a span that way, so under "max" the guest's
            # program died with SIGSEGV in drawing whenever a picture's buffer began right
            # after an unmapped page. "max" without AVX2 is no processor that exists (BMI2
            # and VAES without AVX2): libgcrypt then ran AVX2 code and apt's file method died
            # with SIGILL. A real model keeps every library on paths it was tested on.
            cmd = ["qemu-system-x86_64", "-machine", "q35", "-cpu", "Nehalem"]
        else:
            cmd = ["qemu-system-aarch64", "-M", "virt", "-cpu", "cortex-a53"]
        cmd += ["-accel", "tcg", "-m", str(memory), "-smp", "2",
                "-kernel", os.path.join(image, "vmlinuz"),
                "-initrd", os.path.join(image, "initrd.img"), "-append", append,
                "-drive", f"file={disk},if=virtio,format=qcow2,cache=unsafe,discard=unmap",
                "-vga", "none", "-nic", "none", "-display", "none",
                "-device", f"virtio-gpu-pci,id=gpu,xres={W},yres={H}",
                "-device", "virtio-tablet-pci,id=touch",
                "-device", "virtio-serial-pci",
                "-chardev", f"socket,path={self.qga_path},server=on,wait=off,id=qga",
                "-device", "virtserialport,chardev=qga,name=org.qemu.guest_agent.0",
                "-qmp", f"unix:{self.qmp_path},server=on,wait=off",
                "-chardev", f"file,id=console,path={self.console},append=on",
                "-serial", "chardev:console"]
        self.cmd = cmd
        self.start()

    def start(self):
        """qemu on the board's disk; returns once the guest agent answers."""
        for sock in (self.qmp_path, self.qga_path):
            if os.path.exists(sock):
                os.remove(sock)
        # qemu dies with the suite, however the suite ends (PR_SET_PDEATHSIG).
        die = lambda: ctypes.CDLL(None).prctl(1, signal.SIGKILL)
        self.proc = subprocess.Popen(self.cmd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=open(os.path.join(self.dir, "qemu.err"), "a"),
                                     preexec_fn=die)
        self.pid = self.proc.pid
        self.booted = time.monotonic()
        for _ in range(100):
            if os.path.exists(self.qmp_path):
                break
            time.sleep(0.1)
        self.qmp = socket.socket(socket.AF_UNIX)
        self.qmp.connect(self.qmp_path)
        self.qmp_file = self.qmp.makefile("rwb")
        self.qmp_file.readline()
        self.qmp_cmd("qmp_capabilities")
        self.wait_agent()

    def restart(self):
        """qemu quit cleanly (its cached disk metadata written) and started again on the same
        disk, as a board is switched off and on; seconds until the agent answered."""
        try:
            self.qmp_cmd("quit")
            self.proc.wait(timeout=60)
        except Exception:
            self.proc.kill()
            self.proc.wait()
        self.start()
        return time.monotonic() - self.booted

    # --- QMP -----------------------------------------------------------------------
    def qmp_cmd(self, name, **args):
        self.qmp_file.write(json.dumps({"execute": name, "arguments": args}).encode() + b"\n")
        self.qmp_file.flush()
        while True:
            reply = json.loads(self.qmp_file.readline())
            if "return" in reply:
                return reply["return"]
            if "error" in reply:
                raise RuntimeError(f"QMP {name}: {reply['error']}")

    def screen(self, path):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        self.qmp_cmd("screendump", filename=path, device="gpu", format="png")
        return path

    def tap(self, x, y, hold=0.08):
        scale = lambda v, n: int(v * 0x7FFF / (n - 1))
        move = [{"type": "abs", "data": {"axis": "x", "value": scale(x, W)}},
                {"type": "abs", "data": {"axis": "y", "value": scale(y, H)}}]
        for down in (True, False):
            self.qmp_cmd("input-send-event", events=move + [
                {"type": "btn", "data": {"down": down, "button": "left"}}])
            time.sleep(hold)

    def cut(self):
        """Seconds until the agent answered again."""
        self.qmp_cmd("system_reset")
        self.booted = time.monotonic()
        return self.wait_agent()

    # --- The guest agent -------------------------------------------------------------
    def agent(self, name, args=None, timeout=30):
        with socket.socket(socket.AF_UNIX) as s:
            s.settimeout(timeout)
            s.connect(self.qga_path)
            f = s.makefile("rwb")
            token = random.randrange(1, 2**31)
            # After a reset the channel may hold a half-read request: the delimited
            # sync (0xff) makes the agent drop it, and replies before ours are skipped.
            f.write(b"\xff" + json.dumps({"execute": "guest-sync-delimited",
                                          "arguments": {"id": token}}).encode() + b"\n")
            f.flush()
            while True:
                line = f.readline().lstrip(b"\xff")
                if not line:
                    raise TimeoutError("agent closed")
                try:
                    if json.loads(line).get("return") == token:
                        break
                except ValueError:
                    pass
            f.write(json.dumps({"execute": name, "arguments": args or {}}).encode() + b"\n")
            f.flush()
            reply = json.loads(f.readline())
            if "error" in reply:
                raise RuntimeError(f"agent {name}: {reply['error']}")
            return reply["return"]

    def wait_agent(self, timeout=300):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if self.proc.poll() is not None:
                raise RuntimeError("qemu exited: " + open(os.path.join(self.dir, "qemu.err")).read())
            try:
                self.agent("guest-ping", timeout=3)
                return time.monotonic() - self.booted
            except (OSError, RuntimeError, ValueError):
                time.sleep(1)
        raise TimeoutError("no guest agent after %d s" % timeout)

    def run(self, cmd, timeout=120, stdin=None):
        args = {"path": "/bin/sh", "arg": ["-c", cmd], "capture-output": True}
        if stdin is not None:
            args["input-data"] = base64.b64encode(stdin.encode()).decode()
        pid = self.agent("guest-exec", args)["pid"]
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            st = self.agent("guest-exec-status", {"pid": pid})
            if st["exited"]:
                out = b"".join(base64.b64decode(st.get(k, "")) for k in ("out-data", "err-data"))
                return st.get("exitcode", -1), out.decode(errors="replace")
            time.sleep(0.2)
        raise TimeoutError(f"guest command timed out: {cmd}")

    def out(self, cmd, **kw):
        return self.run(cmd, **kw)[1]

    # --- The service -----------------------------------------------------------------
    def wait_active(self, unit="quellan", timeout=240):
        t0 = time.monotonic()
        while time.monotonic() - t0 < timeout:
            if self.out(f"systemctl is-active {unit}").strip() == "active":
                return time.monotonic() - t0
            time.sleep(1)
        raise TimeoutError(f"{unit} not active after {timeout} s:\n" +
                           self.journal(f"-u {unit} -n 30"))

    def prop(self, name, unit="quellan"):
        """A property of a unit (systemctl show), as text."""
        return self.out(f"systemctl show -p {name} --value {unit}").strip()

    def cpu_mark(self, unit):
        """(guest's uptime, the unit's CPU microseconds) now, kept for cpu_share on this boot."""
        self.marks = getattr(self, "marks", {})
        self.marks[unit] = self.booted, [float(v) for v in self.out(
            "cut -d' ' -f1 /proc/uptime; grep usage_usec "
            f"/sys/fs/cgroup/system.slice/{unit}.service/cpu.stat | cut -d' ' -f2").split()]
        return self.marks[unit][1]

    def cpu_share(self, unit, seconds=60):
        """The share of one core the unit used since its mark on this boot (else from now), over
        at least the seconds of the guest's clock; and those seconds."""
        booted, (t0, c0) = getattr(self, "marks", {}).get(unit, (None, (0, 0)))
        if booted != self.booted:
            t0, c0 = self.cpu_mark(unit)
        time.sleep(max(0, t0 + seconds - float(self.out("cut -d' ' -f1 /proc/uptime"))))
        t1, c1 = self.cpu_mark(unit)
        return (c1 - c0) / 1e6 / (t1 - t0), t1 - t0

    def devsim(self, command):
        """A command to the device simulator in the guest (e.g. "ignition on")."""
        self.run(f"echo '{command}' >/run/quellan-devsim/in")

    def journal(self, args=""):
        return self.out(f"journalctl -b --no-pager -o cat {args}")

    def cursor(self):
        """The journal's position now, for wait_log(since=...)."""
        return self.out("journalctl -n 0 --show-cursor --no-pager").split("cursor: ")[-1].strip()

    def wait_log(self, text, since, unit="quellan", timeout=120):
        """Seconds until a journal line of the unit after `since` contains text."""
        t0 = time.monotonic()
        while time.monotonic() - t0 < timeout:
            if text in self.journal((f"-u {unit} " if unit else "") + f"--after-cursor='{since}'"):
                return time.monotonic() - t0
            time.sleep(1)
        raise TimeoutError(f"no '{text}' from {unit} in {timeout} s")

    def evidence(self, name):
        """The screen, the console so far and, when the agent answers, the state of the units,
        into a folder of the board's own; the folder's name."""
        out = os.path.join(self.dir, f"failed-{name}")
        os.makedirs(out, exist_ok=True)
        shutil.copy(self.console, out)
        try:
            self.screen(os.path.join(out, "screen.png"))
            # Whether the machine runs and where each processor is (firmware, kernel, user).
            hmp = lambda c: self.qmp_cmd("human-monitor-command", **{"command-line": c})
            with open(os.path.join(out, "qemu.txt"), "w") as f:
                f.write(json.dumps(self.qmp_cmd("query-status")) + "\n" + hmp("info chardev") +
                        hmp("info registers -a"))
            with open(os.path.join(out, "status.txt"), "w") as f:
                f.write(self.out("systemctl --no-pager list-jobs; systemctl --no-pager --failed; "
                                 "systemctl --no-pager status quellan; journalctl -b --no-pager "
                                 "-o short-monotonic -n 300", timeout=60))
        except Exception as e:  # no agent: the console and the disk's journal say the rest
            open(os.path.join(out, "status.txt"), "a").write(f"no status: {e}\n")
        return out

    def journal_from_disk(self):
        """Every boot's journal as written to the board's disk (qemu stopped), as text."""
        raw, logs = os.path.join(self.dir, "disk.raw"), os.path.join(self.dir, "journal")
        subprocess.run(["qemu-img", "convert", "-O", "raw", os.path.join(self.dir, "disk.qcow2"),
                        raw], check=True)
        subprocess.run(["debugfs", "-R", f"rdump /var/log/journal {self.dir}", raw],
                       check=True, capture_output=True)
        os.remove(raw)
        with open(os.path.join(self.dir, "journal.txt"), "w") as f:
            subprocess.run(["journalctl", "-D", logs, "--no-pager", "-o", "short-monotonic"],
                           stdout=f, stderr=subprocess.STDOUT)

    def close(self, keep=False):
        if keep and self.proc.poll() is None:
            try:  # a clean quit writes qemu's cached disk metadata into the overlay
                self.qmp_cmd("quit")
                self.proc.wait(timeout=60)
            except Exception:
                pass
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        if keep:
            try:
                self.journal_from_disk()
            except Exception as e:
                print(f"board: no journal from the disk: {e}", flush=True)
        else:
            shutil.rmtree(self.dir, ignore_errors=True)


def ini(text):
    """An INI file as QSettings writes it: {"section/key": value}; ValueError if broken."""
    import configparser
    p = configparser.RawConfigParser(strict=True, delimiters=("=",))
    p.optionxform = str
    p.read_string(text)
    return {("" if s == "General" else s + "/") + k: v for s in p.sections() for k, v in p[s].items()}


def differs(png_a, png_b, masks=(), tolerance=16, box=None):
    """Fraction of pixels (in box, outside the masked (x0, y0, x1, y1) boxes) that differ."""
    from PIL import Image, ImageChops, ImageDraw
    a, b = (Image.open(p).convert("RGB") for p in (png_a, png_b))
    if box and a.size == b.size:
        a, b = a.crop(box), b.crop(box)
    if a.size != b.size:
        return 1.0
    diff = ImageChops.difference(a, b).convert("L").point(lambda v: 255 if v > tolerance else 0)
    draw = ImageDraw.Draw(diff)
    for box in masks:
        draw.rectangle(box, fill=0)
    return sum(diff.histogram()[255:]) / (a.size[0] * a.size[1])


def check(ok, what):
    if not ok:
        raise AssertionError(what)


def run_suite(cases, args):
    """Boots the board, runs the cases (all, or those named on the command line) in order,
    one line each, then "N passed, N failed"; the board is closed however the run ends."""
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    passed = failed = 0
    board = Board(args.arch, args.image)
    try:
        print(f"board: agent up {board.wait_agent():.0f} s after power on", flush=True)
        board.wait_active()
        for case in cases:
            if args.only and case.__name__ not in args.only:
                continue
            t0 = time.monotonic()
            try:
                note = case(board) or ""
                passed += 1
                print(f"PASS {case.__name__} ({time.monotonic() - t0:.0f} s) {note}", flush=True)
            except Exception as e:
                failed += 1
                print(f"FAIL {case.__name__} ({time.monotonic() - t0:.0f} s) {type(e).__name__}: {e}",
                      flush=True)
                print(f"  evidence: {board.evidence(case.__name__)}", flush=True)
                try:  # the next cases on a board that answers again
                    board.agent("guest-ping", timeout=10)
                except Exception:
                    try:
                        print(f"  no agent: qemu started again, agent back {board.restart():.0f} s later",
                              flush=True)
                    except Exception as e:
                        print(f"  no agent after qemu was started again: {e}", flush=True)
                        break
    finally:
        board.close(keep=failed > 0)
        if failed:
            print(f"board: console, screens, status and every boot's journal in {board.dir}")
    print(f"{passed} passed, {failed} failed")
    sys.exit(1 if failed else 0)


def suite_args():
    import argparse
    p = argparse.ArgumentParser()
    p.add_argument("--arch", default="amd64")
    p.add_argument("--image", required=True)
    p.add_argument("--gallery", required=True)
    p.add_argument("--cuts", type=int, default=20)
    p.add_argument("only", nargs="*")
    return p.parse_args()


LINUXFB = {"QT_QPA_PLATFORM": "linuxfb:fb=/dev/fb0", "QT_QUICK_BACKEND": "software",
           "QT_QPA_FB_HIDECURSOR": "1"}


def figures(board, idle_seconds=60):
    """Start to first frame, memory after the idle screen (cgroup memory.current) and CPU of
    60 s idle (cgroup cpu.stat) of the service, beside the benchmark's floors run as units
    alike: the bare window, and the idle screen's background swapped every 300 ms (the least
    an animated idle screen costs; the bare window draws nothing when idle)."""
    env = "".join(f"{k}={v}\\n" for k, v in LINUXFB.items())
    board.run(f"printf '{env}' >>/etc/default/quellan; systemctl restart quellan", timeout=300)
    floor = ("systemd-run --unit={unit} -p Type=simple -p User=quellan "
             "-p SupplementaryGroups=video -p SupplementaryGroups=input "
             "-p TTYPath=/dev/tty1 -p StandardInput=tty-force "
             "-p StandardOutput=journal -E QUELLAN_BENCH_PROBE=1 " +
             " ".join(f"-E {k}={v}" for k, v in LINUXFB.items()) +
             " /usr/lib/quellan-devsim/{program}")
    rows = {}
    for unit, program in (("quellan", None), ("floor_window", "floor_window"),
                          ("floor_image", "floor_image /usr/lib/quellan-devsim/background.png"
                                          " --tick 300")):
        if program:
            board.run("systemctl stop quellan floor_window")
            board.run(floor.format(unit=unit, program=program))
        board.wait_active(unit)
        show = lambda p: int(board.out(f"systemctl show -p {p} --value {unit}"))
        if unit == "quellan":
            ready = (show("ActiveEnterTimestampMonotonic") - show("ExecMainStartTimestampMonotonic")) / 1e6
        else:
            for _ in range(240):
                line = [l for l in board.journal(f"-u {unit}").splitlines()
                        if "QUELLAN_BENCH" in l and "frame" in l]
                if line:
                    break
                time.sleep(1)
            us = int(re.search(r"mono_us=(\d+)", line[0]).group(1))
            ready = (us - show("ExecMainStartTimestampMonotonic")) / 1e6
        time.sleep(20)  # the idle screen settles
        cg = f"/sys/fs/cgroup/system.slice/{unit}.service"
        memory = int(board.out(f"cat {cg}/memory.current")) / 2**20
        cpu = lambda: int(board.out(f"grep usage_usec {cg}/cpu.stat").split()[1])
        c0 = cpu()
        time.sleep(idle_seconds)
        rows[unit] = (ready, memory, (cpu() - c0) / 1e6 / idle_seconds * 100)
    print("| Figure | quellan.service | floor | floor's figure | ratio |\n|---|---|---|---|---|")
    for name, i, unit, floor in (("Start to first frame", 0, "s", "floor_window"),
                                 ("Memory after the idle screen", 1, "MiB", "floor_window"),
                                 (f"CPU of {idle_seconds} s idle", 2, "% of a core", "floor_image"),
                                 (f"CPU of {idle_seconds} s idle", 2, "% of a core", "floor_window")):
        q, f = rows["quellan"][i], rows[floor][i]
        ratio = f"{q / f:.1f}" if f else "- (draws no frame when idle)"
        print(f"| {name} | {q:.2f} {unit} | {floor} | {f:.2f} {unit} | {ratio} |")


if __name__ == "__main__":
    import argparse
    p = argparse.ArgumentParser()
    p.add_argument("--arch", default="amd64")
    p.add_argument("--image", required=True)
    p.add_argument("--figures", action="store_true")
    a = p.parse_args()
    board = Board(a.arch, a.image)
    if a.figures:
        try:
            board.wait_active()
            j = board.out("journalctl -b -o short-monotonic --no-pager -u quellan")
            print("boot to ready (kernel start to Started quellan.service, shipped settings):",
                  re.search(r"\[\s*([\d.]+)\].*Started quellan.service", j).group(1), "s")
            figures(board)
        finally:
            board.close()
        sys.exit(0)
    print(f"board: up in {time.monotonic() - board.booted:.0f} s; QMP {board.qmp_path}, "
          f"agent {board.qga_path}, console {board.console}; Ctrl-C stops it", flush=True)
    try:
        signal.pause()
    finally:
        board.close()
