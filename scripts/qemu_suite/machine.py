"""The board under qemu (scripts/qemu-suite): qemu started and stopped, QMP, the guest agent,
power cuts and the screen.

Machine(arch, image) boots a copy-on-write layer over the cached image with TCG, no
network, a 480 x 800 virtio-gpu display ("gpu"), a virtio tablet as the touch panel,
the guest agent on a virtio-serial port and QMP on a socket. Its API:
  run(cmd)            shell command in the guest: (exit code, stdout + stderr)
  screen(path)        the display as PNG (QMP screendump)
  tap(x, y), taps()   touches at pixels (absolute tablet events, left button)
  cut()               power cut: reset with no shutdown, then wait for the agent
  restart()           qemu quit and started again on the same disk (switched off and on)
  wait_active(unit)   the unit active (its start job done), seconds waited
  journal(args)       journalctl output of this boot; wait_log() waits for a line in it
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
import tempfile
import time

W, H = 480, 800


class Machine:
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
        # A processor that stalls with its interrupts off (seen once in some forty power cuts
        # under TCG: the kernel's RCU stall warnings on the console every 63 s, processor 0
        # spinning with IF clear, the guest agent silent) panics the kernel, which restarts
        # the board 5 s later, as a validator left alone on a bus must do.
        append = ("root=/dev/vda rw loglevel=4 mitigations=off systemd.show_status=1 "
                  "rd.udev.log_level=3 panic=5 sysctl.kernel.panic_on_rcu_stall=1 "
                  "console=" + ("ttyS0" if arch == "amd64" else "ttyAMA0"))
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

    def taps(self, *steps, pause=0):
        """Touches one after the other, `pause` seconds after each; a number among them is a
        wait of that many seconds."""
        for step in steps:
            if isinstance(step, (int, float)):
                time.sleep(step)
            else:
                self.tap(*step)
                time.sleep(pause)

    def cut(self, unit=None):
        """Seconds until the agent answered again; with a unit, it is active again too."""
        self.qmp_cmd("system_reset")
        self.booted = time.monotonic()
        seconds = self.wait_agent()
        if unit:
            self.wait_active(unit)
        return seconds

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
                with open(os.path.join(self.dir, "qemu.err")) as err:
                    raise RuntimeError("qemu exited: " + err.read())
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

    def cat(self, path):
        """A file of the guest's, as text."""
        return self.out(f"cat {path}")

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

    def start_seconds(self, unit="quellan"):
        """Seconds from the unit's main process started to the unit active."""
        return (int(self.prop("ActiveEnterTimestampMonotonic", unit)) -
                int(self.prop("ExecMainStartTimestampMonotonic", unit))) / 1e6

    def started_at(self, unit="quellan"):
        """Seconds from kernel start to systemd's "Started UNIT.service" on this boot."""
        j = self.out(f"journalctl -b -o short-monotonic --no-pager -u {unit}")
        return float(re.search(rf"\[\s*([\d.]+)\].*Started {unit}.service", j).group(1))

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

    def devsim(self, command, wait=0):
        """A command to the device simulator in the guest (e.g. "ignition on"), then a wait."""
        self.run(f"echo '{command}' >/run/quellan-devsim/in")
        time.sleep(wait)

    def environment(self, unit="quellan", **env):
        """The unit restarted with these variables added to its environment (a drop-in under
        /run, gone at the next boot); with none, restarted without the drop-in."""
        drop = f"/run/systemd/system/{unit}.service.d"
        lines = "".join(f"Environment={k}={v}\\n" for k, v in env.items())
        write = f"printf '[Service]\\n{lines}' >{drop}/harness.conf" if env else "true"
        self.run(f"mkdir -p {drop} && rm -f {drop}/harness.conf && {write} && "
                 f"systemctl daemon-reload && systemctl restart {unit}", timeout=300)

    def as_user(self, cmd, user="quellan"):
        """A shell command run as the user (runuser): its exit code."""
        return self.run(f"runuser -u {user} -- sh -c '{cmd}'")[0]

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
