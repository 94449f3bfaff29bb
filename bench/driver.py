#!/usr/bin/env python3
"""Runs every Quellan benchmark against its floor and writes bench/report/.

Called by bench/run after the build. Uses only the Python standard library, a
real mosquitto on a free loopback port, valgrind for instruction counts and the
programs built in bench/. Every figure is printed with its floor and ratio.
"""

import argparse
import os
import platform
import queue
import re
import shutil
import signal
import socket
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time

SRC = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FIX = os.path.join(SRC, "examples", "messages")


def mono_us():
    # CLOCK_MONOTONIC, the clock the probe in the application prints.
    return time.clock_gettime_ns(time.CLOCK_MONOTONIC) // 1000


def fixture(path):
    with open(os.path.join(FIX, path), "rb") as f:
        return f.read()


# ---------------------------------------------------------------- broker, MQTT

def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Broker:
    def __init__(self, workdir):
        self.port = free_port()
        conf = os.path.join(workdir, "mosquitto.conf")
        with open(conf, "w") as f:
            f.write("listener %d 127.0.0.1\nallow_anonymous true\npersistence false\n"
                    "max_queued_messages 0\n" % self.port)
        exe = shutil.which("mosquitto") or "/usr/sbin/mosquitto"
        self.proc = subprocess.Popen([exe, "-c", conf], stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        deadline = time.time() + 5
        while time.time() < deadline:
            try:
                socket.create_connection(("127.0.0.1", self.port), 0.2).close()
                return
            except OSError:
                time.sleep(0.05)
        raise RuntimeError("mosquitto did not start")

    def stop(self):
        self.proc.terminate()
        self.proc.wait()


def _remaining_length(n):
    out = bytearray()
    while True:
        byte = n % 128
        n //= 128
        if n:
            byte |= 0x80
        out.append(byte)
        if not n:
            return bytes(out)


def _utf8(s):
    b = s.encode()
    return struct.pack("!H", len(b)) + b


def publish_packet(topic, payload, retain=False):
    body = _utf8(topic) + payload
    return bytes([0x30 | (1 if retain else 0)]) + _remaining_length(len(body)) + body


class Publisher:
    """A minimal MQTT 3.1.1 client that plays a device service (QoS 0 publishing)."""

    def __init__(self, port, client_id="bench-peer"):
        self.sock = socket.create_connection(("127.0.0.1", port))
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        var = _utf8("MQTT") + bytes([4, 0x02]) + struct.pack("!H", 60) + _utf8(client_id)
        self.sock.sendall(bytes([0x10]) + _remaining_length(len(var)) + var)
        connack = self.sock.recv(4)
        if len(connack) < 4 or connack[0] != 0x20 or connack[3] != 0:
            raise RuntimeError("CONNACK refused: %r" % connack)

    def publish(self, topic, payload, retain=False):
        self.sock.sendall(publish_packet(topic, payload, retain))

    def send_raw(self, data):
        self.sock.sendall(data)

    def close(self):
        try:
            self.sock.sendall(bytes([0xE0, 0]))
        finally:
            self.sock.close()


# ---------------------------------------------------------------- processes

class Program:
    """A program under measurement whose "QUELLAN_BENCH" lines are collected."""

    def __init__(self, argv, env=None, cwd=None):
        full_env = dict(os.environ)
        full_env.update({"QT_QPA_PLATFORM": "offscreen", "QT_QUICK_BACKEND": "software"})
        full_env.update(env or {})
        self.lines = queue.Queue()
        self.start_us = mono_us()
        self.proc = subprocess.Popen(argv, env=full_env, cwd=cwd, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, text=True)
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.proc.stdout:
            if line.startswith("QUELLAN_BENCH "):
                self.lines.put(line[len("QUELLAN_BENCH "):].strip())
        self.lines.put(None)

    def expect(self, prefix, timeout=30, **match):
        """The next line that starts with prefix (and has the given fields), as a dict."""
        deadline = time.time() + timeout
        while True:
            left = deadline - time.time()
            if left <= 0:
                raise TimeoutError("no %r line within %d s" % (prefix, timeout))
            try:
                line = self.lines.get(timeout=left)
            except queue.Empty:
                continue
            if line is None:
                raise RuntimeError("program ended before a %r line" % prefix)
            if not line.startswith(prefix + " ") and line != prefix:
                continue
            fields = dict(kv.split("=", 1) for kv in line.split()[1:] if "=" in kv)
            if all(fields.get(k) == v for k, v in match.items()):
                return fields

    def status(self, key):
        with open("/proc/%d/status" % self.proc.pid) as f:
            for line in f:
                if line.startswith(key + ":"):
                    return int(line.split()[1])
        return 0

    def wait(self, timeout=60):
        return self.proc.wait(timeout)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


def callgrind(argv, env=None, extra=None):
    """Instructions counted by callgrind for argv (the 'Collected' total)."""
    full_env = dict(os.environ)
    full_env.update({"QT_QPA_PLATFORM": "offscreen", "QT_QUICK_BACKEND": "software"})
    full_env.update(env or {})
    with tempfile.TemporaryDirectory() as d:
        cmd = ["valgrind", "--tool=callgrind", "--callgrind-out-file=" + os.path.join(d, "out")]
        cmd += extra or []
        res = subprocess.run(cmd + argv, env=full_env, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True, timeout=1200)
    m = re.search(r"Collected : (\d+)", res.stderr)
    if not m:
        raise RuntimeError("callgrind gave no count for %s:\n%s" % (argv, res.stderr[-2000:]))
    return int(m.group(1))


# ---------------------------------------------------------------- report

class Report:
    def __init__(self):
        self.rows = []   # (group, what, value, floor, ratio, target, met, note)
        self.notes = []
        self.chart = []  # (label, ratio, target ratio)

    def add(self, group, what, value, floor, ratio, target, met, note="", chart=None):
        self.rows.append((group, what, value, floor, ratio, target, met, note))
        print("%-11s %-46s %14s  floor %14s  ratio %7s  target %-12s %s %s" % (
            group, what, value, floor, ratio, target, "met" if met else "NOT MET", note),
            flush=True)
        if chart:
            self.chart.append(chart)


def fmt_ratio(r):
    return "%.2fx" % r if r is not None else "-"


def pct(values, p):
    s = sorted(values)
    k = (len(s) - 1) * p / 100.0
    lo, hi = int(k), min(int(k) + 1, len(s) - 1)
    return s[lo] + (s[hi] - s[lo]) * (k - lo)


# ---------------------------------------------------------------- the application

class AppRun:
    """The real application with its own configuration, serial number and event store."""

    def __init__(self, build, broker, workdir, env=None):
        self.dir = tempfile.mkdtemp(dir=workdir)
        with open(os.path.join(self.dir, "serialnumber"), "w") as f:
            f.write("BENCH0001\n")
        conf = os.path.join(self.dir, "gui.conf")
        with open(conf, "w") as f:
            f.write("[gui]\ndeviceId=%s\n" % os.path.join(self.dir, "serialnumber"))
        self.argv = [os.path.join(build, "quellan"), "-H", "127.0.0.1", "-P", str(broker.port),
                     "-f", conf]
        self.env = env or {}


ONLINE = fixture("validator/status-online.json")
SCAN_VALID = fixture("validator/scan-epurse.json")
SCAN_REFUSED = fixture("validator/scan-refused.json")


def start_app_on_idle(build, broker, workdir, env):
    """Starts the application and waits until the idle screen has been drawn."""
    app = AppRun(build, broker, workdir)
    prog = Program(app.argv, env=dict(env, QUELLAN_BENCH_PROBE="1"), cwd=app.dir)
    prog.expect("frame", timeout=60, screen="ScanScreens")
    return prog


def validate(prog, pub, n, gap_s):
    """n validations alternating valid and refused; the latency of each, in ms.

    Alternating makes every validation a change of screen, so each one has a frame
    of its own and no 3 s screen time has to pass between them."""
    lat = {"Valid": [], "AlreadyValid": []}
    for i in range(n):
        # The refused card of the example messages was already validated (refusal 207).
        screen, payload = ("Valid", SCAN_VALID) if i % 2 == 0 else ("AlreadyValid", SCAN_REFUSED)
        packet = publish_packet("zorv/blm/rfid/scanned", payload)
        t0 = mono_us()
        pub.send_raw(packet)
        frame = prog.expect("frame", timeout=10, screen=screen)
        lat[screen].append((int(frame["mono_us"]) - t0) / 1000.0)
        if gap_s:
            time.sleep(gap_s)
    return lat


# ---------------------------------------------------------------- benchmarks

def bench_startup(build, rep, workdir, broker, runs):
    floor_argv = [os.path.join(build, "bench", "floor_window")]
    env = {"QUELLAN_BENCH_EXIT_AFTER_FIRST_FRAME": "1"}

    # Instructions: deterministic, one run each.
    app = AppRun(build, broker, workdir)
    ir_floor = callgrind(floor_argv, env)
    ir_app = callgrind(app.argv, env)
    r = ir_app / ir_floor
    rep.add("start-up", "instructions to first frame (callgrind)", "{:,}".format(ir_app),
            "{:,}".format(ir_floor), fmt_ratio(r), "<= 3x", r <= 3,
            chart=("start-up instructions", r, 3))

    # Wall time from spawn to the first frame swapped; the median of several runs.
    def wall(argv, cwd=None):
        times, since_main = [], []
        for _ in range(runs):
            prog = Program(argv, env=env, cwd=cwd)
            line = prog.expect("first-frame", timeout=60)
            times.append((int(line["mono_us"]) - prog.start_us) / 1000.0)
            since_main.append(float(line["since_start_ms"]))
            prog.wait()
        return statistics.median(times), statistics.median(since_main)

    floor_ms, floor_main = wall(floor_argv)
    app_ms, app_main = wall(app.argv, cwd=app.dir)
    r = app_ms / floor_ms
    rep.add("start-up", "wall ms, spawn to first frame (median of %d)" % runs,
            "%.1f ms" % app_ms, "%.1f ms" % floor_ms, fmt_ratio(r), "<= 3x", r <= 3,
            "(from main: %.1f vs %.1f ms)" % (app_main, floor_main),
            chart=("start-up wall time", r, 3))
    return {"ir_app": ir_app, "ir_floor": ir_floor}


def bench_memory(build, rep, workdir, broker, validations):
    floor = Program([os.path.join(build, "bench", "floor_window")], env={"QUELLAN_BENCH_PROBE": "1"})
    floor.expect("first-frame", timeout=60)
    time.sleep(1)
    floor_hwm = floor.status("VmHWM")
    floor.stop()

    prog = start_app_on_idle(build, broker, workdir, {})
    time.sleep(1)
    hwm0, rss0 = prog.status("VmHWM"), prog.status("VmRSS")
    pub = Publisher(broker.port, "bench-memory")
    lat = validate(prog, pub, validations, 0.005)
    # Back to the idle screen, as after the passengers' last validation.
    prog.expect("frame", timeout=10, screen="ScanScreens")
    time.sleep(0.5)
    hwm1, rss1 = prog.status("VmHWM"), prog.status("VmRSS")
    pub.close()
    prog.stop()

    r0 = hwm0 / floor_hwm
    rep.add("memory", "peak RSS after start-up (VmHWM)", "%d KiB" % hwm0, "%d KiB" % floor_hwm,
            fmt_ratio(r0), "<= 1.5x", r0 <= 1.5, chart=("peak RSS after start-up", r0, 1.5))
    r1 = hwm1 / floor_hwm
    rep.add("memory", "peak RSS after %d validations" % validations, "%d KiB" % hwm1,
            "%d KiB" % floor_hwm, fmt_ratio(r1), "<= 1.5x", r1 <= 1.5,
            chart=("peak RSS after %d validations" % validations, r1, 1.5))
    growth = (hwm1 - hwm0) / hwm0 * 100
    rep.add("memory", "peak RSS growth over the validations", "%+.1f %%" % growth,
            "-", "-", "<= 5 %", growth <= 5,
            "(current RSS %d -> %d KiB, %+.1f %%)" % (rss0, rss1, (rss1 - rss0) / rss0 * 100))
    return lat


def bench_latency(build, rep, workdir, broker, validations, idle_times):
    results = {}
    for idle in idle_times:
        env = {} if idle is None else {"QT_QPA_UPDATE_IDLE_TIME": str(idle)}
        prog = start_app_on_idle(build, broker, workdir, env)
        time.sleep(0.5)
        pub = Publisher(broker.port, "bench-latency")
        lat = validate(prog, pub, validations, 0.05)
        pub.close()
        prog.stop()
        values = lat["Valid"] + lat["AlreadyValid"]
        p50, p99 = pct(values, 50), pct(values, 99)
        name = "default (5)" if idle is None else str(idle)
        results[name] = (p50, p99, pct(lat["Valid"], 99), max(values))
        ok = p99 <= 16.7
        rep.add("event-pixel", "QT_QPA_UPDATE_IDLE_TIME=%s p50 / p99" % name,
                "%.2f / %.2f ms" % (p50, p99), "16.7 ms", fmt_ratio(p99 / 16.7), "p99 <= 16.7",
                ok, "(Valid p99 %.2f, max %.2f ms)" % (results[name][2], results[name][3]),
                chart=("event to pixel p99, idle time %s" % name, p99 / 16.7, 1.0))
    return results


def bench_idle(build, rep, workdir, broker, seconds):
    image = os.path.join(SRC, "qml", "images", "background.png")
    env = {"QUELLAN_BENCH_IDLE_SECONDS": str(seconds)}

    def floor(extra):
        prog = Program([os.path.join(build, "bench", "floor_image"), image] + extra, env=env)
        line = prog.expect("idle", timeout=seconds + 60)
        prog.wait()
        return int(line["frames"]), float(line["cpu_ms"])

    f_frames, f_cpu = floor([])
    t_frames, t_cpu = floor(["--tick", "300"])
    prog = start_app_on_idle(build, broker, workdir, env)
    line = prog.expect("idle", timeout=seconds + 60)
    prog.wait()
    frames, cpu = int(line["frames"]), float(line["cpu_ms"])
    timer_frames = seconds * 1000 / 300.0
    r = frames / timer_frames
    rep.add("idle", "frames in %d s on %s" % (seconds, line.get("screen")), str(frames),
            "%.1f (300 ms timer)" % timer_frames, fmt_ratio(r), "<= 1.05x", r <= 1.05,
            "(static image floor: %d frames)" % f_frames, chart=("idle frames / timer rate", r, 1.05))
    r = cpu / max(f_cpu, 0.1)
    # A static image draws nothing while idle: its CPU time is close to zero and the
    # ratio says little beyond "the idle screen is animated".
    rep.add("idle", "CPU ms in %d s vs static image" % seconds, "%.1f ms" % cpu,
            "%.1f ms" % f_cpu, fmt_ratio(r), "<= 1.5x", r <= 1.5,
            "(the floor draws no frame)", chart=("idle CPU / static image", r, 1.5))
    r2 = cpu / max(t_cpu, 0.1)
    rep.add("idle", "CPU ms vs image swapped every 300 ms", "%.1f ms" % cpu,
            "%.1f ms" % t_cpu, fmt_ratio(r2), "<= 1.5x", r2 <= 1.5,
            "(that floor drew %d frames)" % t_frames, chart=("idle CPU / 300 ms image floor", r2, 1.5))
    return {"frames": frames, "cpu": cpu, "floor_cpu": f_cpu, "tick_cpu": t_cpu,
            "tick_frames": t_frames}


def bench_messages(build, rep, count):
    exe = os.path.join(build, "bench", "bench_messages")
    kinds = [("validator-status", count), ("validator-status-change", count),
             ("scan-result", count), ("board-status", count), ("eventlog-push", max(5, count // 20))]
    out = {}
    store_dir = tempfile.mkdtemp()
    store = os.path.join(store_dir, "events.ini")
    subprocess.run([exe, "eventlog-fill", "0", store], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=True)
    for kind, n in kinds:
        argv = [exe, kind, str(n)]
        if kind == "eventlog-push":
            # A fresh copy each time: the pushes change the store.
            shutil.copy(store, store + ".run")
            argv.append(store + ".run")
        total = callgrind(argv, extra=["--collect-atstart=no"])
        if kind == "eventlog-push":
            shutil.copy(store, store + ".run")
        native = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        m = re.search(r"us_per_msg=([\d.]+)", native.stdout)
        us = float(m.group(1)) if m else float("nan")
        out[kind] = (total / n, us)
        rep.add("message", "instructions per %s" % kind, "{:,.0f}".format(total / n), "-", "-",
                "(info)", True, "(%d messages, callgrind; natively %.1f us each, noisy)" % (n, us))
    # The GUI thread's share of a push, natively: the push itself and the hand-over
    # of the events to the writer thread, which writes the store on its own.
    shutil.copy(store, store + ".run")
    gui = subprocess.run([exe, "eventlog-gui", "10", store + ".run"], stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL, text=True)
    m = re.search(r"gui_ms_per_push=([\d.]+) write_ms=([\d.]+)", gui.stdout)
    if m:
        gui_ms, write_ms = float(m.group(1)), float(m.group(2))
        out["eventlog-gui"] = (gui_ms, write_ms)
        rep.add("event-log", "GUI-thread ms per event-log push at 1,000 events", "%.3f ms" % gui_ms,
                "1 ms", fmt_ratio(gui_ms / 1.0), "< 1 ms", gui_ms < 1.0,
                "(thread CPU time, 10 pushes; the writer thread writes the store in %.1f ms)"
                % write_ms)
    shutil.rmtree(store_dir, ignore_errors=True)
    return out


def bench_rate(build, rep, broker, count):
    exe = os.path.join(build, "bench", "bench_broker")
    payloads = [("zorv/blm/status", ONLINE), ("zorv/blm/rfid/scanned", SCAN_VALID),
                ("zorv/board/status", fixture("board/status.json")),
                ("zorv/inspector/status", fixture("inspector/status.json")),
                ("zorv/network/status", fixture("network/status.json"))]
    data = b"".join(publish_packet(*payloads[i % len(payloads)]) for i in range(count))
    prog = Program([exe, "rate", "127.0.0.1", str(broker.port), str(count)])
    prog.expect("ready", timeout=30)
    pub = Publisher(broker.port, "bench-rate")
    pub.send_raw(data)
    line = prog.expect("rate", timeout=120)
    pub.close()
    prog.wait()
    rate = float(line["msgs_per_s"])
    got = int(line["received"])
    rep.add("message", "messages/s through the broker, all managers", "%.0f /s" % rate, "-", "-",
            "(info)", got == count, "(%d of %d received, 5 topics mixed)" % (got, count))
    return rate, got


def bench_mqtt_idle(build, rep, broker, seconds):
    exe = os.path.join(build, "bench", "bench_broker")
    out = {}
    for bare in (True, False):
        prog = Program([exe, "idle", "127.0.0.1", str(broker.port), str(seconds)] +
                       (["bare"] if bare else []))
        line = prog.expect("idle", timeout=seconds + 30)
        prog.wait()
        cpu = float(line["cpu_ms"])
        out["bare" if bare else "managers"] = cpu
        what = "MQTT client alone" if bare else "all managers, no screens"
        # 1 % of one core is the bound of "no measurable CPU".
        rep.add("mqtt-idle", "CPU ms in %d s connected, %s" % (seconds, what), "%.1f ms" % cpu,
                "-", "%.3f %%" % (cpu / (seconds * 10.0)), "< 1 % core", cpu < seconds * 10)
    return out


def machine():
    cpu = platform.processor() or platform.machine()
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return "%s, %d cores visible, %s %s" % (cpu, os.cpu_count(), platform.system(),
                                             platform.release())


# The figures of the run before the start-up, memory, idle and event-log work
# (2026-12-06 12:38 UTC, same machine), kept as the report's "Before" column.
# Keys are (group, start of the figure's text).
BEFORE = [
    (("start-up", "instructions to first frame"), "452,063,007 (4.79x)"),
    (("start-up", "wall ms"), "284.4 ms (3.07x)"),
    (("memory", "peak RSS after start-up"), "62772 KiB (1.81x)"),
    (("memory", "peak RSS after"), "65536 KiB (1.89x)"),
    (("memory", "peak RSS growth"), "+4.4 %"),
    (("event-pixel", "QT_QPA_UPDATE_IDLE_TIME=0"), "2.90 / 11.43 ms (0.68x)"),
    (("event-pixel", "QT_QPA_UPDATE_IDLE_TIME=default"), "7.10 / 13.31 ms (0.80x)"),
    (("event-pixel", "QT_QPA_UPDATE_IDLE_TIME=16"), "18.04 / 23.16 ms (1.39x)"),
    (("idle", "frames in"), "42 (1.26x)"),
    (("idle", "CPU ms in"), "78.3 ms (783.00x)"),
    (("idle", "CPU ms vs image"), "78.3 ms (2.59x)"),
    (("message", "instructions per validator-status-change"), "159,371"),
    (("message", "instructions per validator-status"), "155,107"),
    (("message", "instructions per scan-result"), "48,513"),
    (("message", "instructions per board-status"), "37,667"),
    (("message", "instructions per eventlog-push"), "115,780,487"),
    (("event-log", "GUI-thread ms per event-log push"), "101.9 ms (101.95x)"),
    (("message", "messages/s"), "9270 /s"),
    (("mqtt-idle", "CPU ms in 10 s connected, MQTT client alone"), "0.9 ms"),
    (("mqtt-idle", "CPU ms in 10 s connected, all managers"), "0.9 ms"),
]


# The figures of the run after the start-up, idle-frame and event-log work and before
# the memory and idle-CPU work (2026-12-06 18:23 UTC, same machine), kept as the
# report's "Earlier" column.
EARLIER = [
    (("start-up", "instructions to first frame"), "279,491,190 (2.91x)"),
    (("start-up", "wall ms"), "455.5 ms (2.24x)"),
    (("memory", "peak RSS after start-up"), "55420 KiB (1.60x)"),
    (("memory", "peak RSS after"), "58108 KiB (1.67x)"),
    (("memory", "peak RSS growth"), "+4.9 %"),
    (("event-pixel", "QT_QPA_UPDATE_IDLE_TIME=0"), "4.10 / 23.40 ms (1.40x)"),
    (("event-pixel", "QT_QPA_UPDATE_IDLE_TIME=default"), "7.57 / 18.73 ms (1.12x)"),
    (("event-pixel", "QT_QPA_UPDATE_IDLE_TIME=16"), "18.32 / 27.49 ms (1.65x)"),
    (("idle", "frames in"), "32 (0.96x)"),
    (("idle", "CPU ms in"), "98.9 ms (82.42x)"),
    (("idle", "CPU ms vs image"), "98.9 ms (3.16x)"),
    (("message", "instructions per validator-status-change"), "159,719"),
    (("message", "instructions per validator-status"), "155,349"),
    (("message", "instructions per scan-result"), "48,860"),
    (("message", "instructions per board-status"), "37,472"),
    (("message", "instructions per eventlog-push"), "212,154"),
    (("event-log", "GUI-thread ms per event-log push"), "0.529 ms (0.53x)"),
    (("message", "messages/s"), "10894 /s"),
    (("mqtt-idle", "CPU ms in 10 s connected, MQTT client alone"), "4.1 ms"),
    (("mqtt-idle", "CPU ms in 10 s connected, all managers"), "4.5 ms"),
]


def before(group, what, table=BEFORE):
    for (g, start), value in table:
        if g == group and what.startswith(start):
            return value
    return "-"


def write_report(rep, path, context):
    lines = ["# Quellan benchmark report", "",
             "Produced by `bench/run` on %s." % time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()),
             "Machine: %s." % machine(),
             "Platform: offscreen, software Qt Quick renderer (`QT_QPA_PLATFORM=offscreen`, "
             "`QT_QUICK_BACKEND=software`); Qt %s." % context.get("qt", "5.15"), ""]
    lines += ["| Group | What | Before | Earlier | After | Floor | Ratio | Target | Met | Note |",
              "|---|---|---|---|---|---|---|---|---|---|"]
    for g, what, value, floor, ratio, target, met, note in rep.rows:
        lines.append("| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |" % (
            g, what, before(g, what), before(g, what, EARLIER), value, floor, ratio, target,
            "yes" if met else "**no**", note))
    lines += ["", "![ratios](ratios.png)", ""]
    lines += rep.notes
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--quick", action="store_true", help="fewer runs, for a smoke check")
    ap.add_argument("--only", default="", help="comma list: startup,memory,latency,idle,messages,rate,mqttidle")
    args = ap.parse_args()
    args.build = os.path.abspath(args.build)
    only = set(filter(None, args.only.split(",")))
    want = lambda name: not only or name in only  # noqa: E731

    os.makedirs(args.out, exist_ok=True)
    rep = Report()
    context = {}
    try:
        qt = subprocess.run(["qmake", "-query", "QT_VERSION"], capture_output=True, text=True)
        context["qt"] = qt.stdout.strip() or "5.15"
    except OSError:
        pass
    workdir = tempfile.mkdtemp(prefix="quellan-bench-")
    broker = Broker(workdir)
    # The application keeps its event store beside the executable: keep the user's.
    store = os.path.join(args.build, "events.ini")
    saved = store + ".bench-saved"
    if os.path.exists(store):
        shutil.move(store, saved)
    try:
        # The broker keeps the validator's status, as the service does on the device.
        pub = Publisher(broker.port, "bench-validator")
        pub.publish("zorv/blm/status", ONLINE, retain=True)
        pub.close()
        if want("startup"):
            bench_startup(args.build, rep, workdir, broker, 3 if args.quick else 7)
        if want("memory"):
            context["memlat"] = bench_memory(args.build, rep, workdir, broker,
                                             100 if args.quick else 1000)
        if want("latency"):
            context["latency"] = bench_latency(args.build, rep, workdir, broker,
                                               40 if args.quick else 200, [0, None, 16])
        if want("idle"):
            context["idle"] = bench_idle(args.build, rep, workdir, broker, 3 if args.quick else 10)
        if want("messages"):
            context["messages"] = bench_messages(args.build, rep, 20 if args.quick else 200)
        if want("rate"):
            context["rate"] = bench_rate(args.build, rep, broker, 2000 if args.quick else 20000)
        if want("mqttidle"):
            context["mqttidle"] = bench_mqtt_idle(args.build, rep, broker, 3 if args.quick else 10)
    finally:
        broker.stop()
        if os.path.exists(store):
            os.remove(store)
        if os.path.exists(saved):
            shutil.move(saved, store)
        shutil.rmtree(workdir, ignore_errors=True)

    notes_file = os.path.join(os.path.dirname(os.path.abspath(__file__)), "NOTES.md")
    if os.path.exists(notes_file):
        with open(notes_file) as f:
            rep.notes.append(f.read())
    tsv = os.path.join(args.out, "ratios.tsv")
    with open(tsv, "w") as f:
        for label, ratio, target in rep.chart:
            f.write("%s\t%.4f\t%.4f\n" % (label, ratio, target))
    subprocess.run([os.path.join(args.build, "bench", "bench_chart"), tsv,
                    os.path.join(args.out, "ratios.png")],
                   env=dict(os.environ, QT_QPA_PLATFORM="offscreen"), check=False)
    write_report(rep, os.path.join(args.out, "REPORT.md"), context)
    print("report: %s" % os.path.join(args.out, "REPORT.md"))
    missed = [r for r in rep.rows if not r[6]]
    print("%d figures, %d targets not met" % (len(rep.rows), len(missed)))


if __name__ == "__main__":
    sys.exit(main())
