"""The service's figures on the board (scripts/qemu-suite figures): start to first frame,
memory and idle CPU beside the benchmark's floors (bench/floor_*), run as units in the same
image with the same user and display settings."""
import base64
import json
import os
import re
import shutil
import statistics
import tempfile
import time

from qemu_suite.machine import Machine

# A floor runs as the service does: its user, its groups, the panel's console, the service's
# own environment file (the display platform and renderer the board ships), the unit's
# protections (read off the installed unit: setting up its read-only system and private
# folders takes the board about 0.3 s before the program runs, which is not the program's)
# and its scheduling priority.
FLOOR = ("systemd-run --unit={unit} -p Type=simple -p User=quellan "
         "-p SupplementaryGroups=video -p SupplementaryGroups=input "
         "-p TTYPath=/dev/tty1 -p StandardInput=tty-force -p StandardOutput=journal "
         "-p EnvironmentFile=/etc/default/quellan -E QUELLAN_BENCH_PROBE=1 {protections} "
         "/usr/lib/quellan-devsim/{program}")
PROTECTIONS = ("NoNewPrivileges", "ProtectSystem", "ReadWritePaths", "ProtectHome", "PrivateTmp",
               "ProtectKernelTunables", "ProtectKernelModules", "ProtectControlGroups",
               "RestrictSUIDSGID", "LockPersonality", "UMask", "Nice")


def start_floor(m, unit, program):
    """Starts a floor (a program of the device simulator's package) as a unit like the service."""
    lines = m.cat("/lib/systemd/system/quellan.service").splitlines()
    protections = " ".join(f"-p '{l}'" for l in lines if l.split("=")[0] in PROTECTIONS)
    m.run(FLOOR.format(unit=unit, program=program, protections=protections))


LIB = "/usr/lib/quellan-devsim"
PROBE = f"{LIB}/verdict_probe"


def first_frame(m, unit, settle=0):
    """Seconds from the unit's start to the first frame its program reports (BenchProbe); with
    settle, the journal is read only after that many seconds (reading it takes the board's
    processor from the program that is starting)."""
    start = int(m.prop("ExecMainStartTimestampMonotonic", unit))
    time.sleep(settle)
    for _ in range(240):
        # This start's line: a unit of the same name may have run before on this boot.
        frames = [int(us) for us in re.findall(r"QUELLAN_BENCH first-frame mono_us=(\d+)",
                                                m.journal(f"-u {unit}")) if int(us) > start]
        if frames:
            return (frames[0] - start) / 1e6
        time.sleep(1)
    raise TimeoutError(f"no first frame from {unit}")


def starts(m, rounds=5):
    """Start to first frame of the service (to READY=1, which it sends on its first frame) and
    of the bare window, the median of rounds taken in turn, each from a stopped unit."""
    service, window = [], []
    for _ in range(rounds):
        m.run("systemctl stop floor_window; systemctl reset-failed floor_window; true")
        c = m.cursor()
        m.run("systemctl restart quellan", timeout=300)  # returns once READY=1 is in
        service.append(m.start_seconds())
        m.wait_log("Screen changed : ScanScreens", c, timeout=120)
        m.run("systemctl stop quellan")
        start_floor(m, "floor_window", "floor_window")
        window.append(first_frame(m, "floor_window", settle=8))
    m.run("systemctl stop floor_window; systemctl reset-failed floor_window; systemctl start quellan")
    print("starts of quellan.service:", " ".join(f"{s:.2f}" for s in service),
          "s; of floor_window:", " ".join(f"{s:.2f}" for s in window), "s")
    return statistics.median(service), statistics.median(window)


def figures(m, idle_seconds=60):
    """Memory after the idle screen (cgroup memory.current) and CPU of 60 s idle (cgroup
    cpu.stat) of the service, beside the benchmark's floors run as units alike: the bare
    window, and the idle screen's background swapped every 300 ms (the least an animated idle
    screen costs; the bare window draws nothing when idle). Taken first on a fresh boot: the
    page cache a program reads is charged to the first unit that reads it, so the floors
    run after the service, as the service reads nothing new after them."""
    c = m.cursor()
    m.run("systemctl restart quellan", timeout=300)
    m.wait_log("Screen changed : ScanScreens", c, timeout=120)
    rows = {}
    for unit, program in (("quellan", None), ("floor_window", "floor_window"),
                          ("floor_image", f"floor_image {LIB}/background.png --tick 300")):
        if program:
            m.run("systemctl stop quellan floor_window")
            start_floor(m, unit, program)
        m.wait_active(unit)
        time.sleep(20)  # the idle screen settles
        cg = f"/sys/fs/cgroup/system.slice/{unit}.service"
        memory = int(m.cat(f"{cg}/memory.current")) / 2**20
        cpu = lambda: int(m.out(f"grep usage_usec {cg}/cpu.stat").split()[1])
        c0 = cpu()
        time.sleep(idle_seconds)
        rows[unit] = (memory, (cpu() - c0) / 1e6 / idle_seconds * 100)
    m.run("systemctl stop floor_image; systemctl reset-failed floor_window floor_image; true")
    m.run("systemctl start quellan")
    print("| Figure | quellan.service | floor | floor's figure | ratio |\n|---|---|---|---|---|")
    for name, i, unit, floor in (
            ("Memory after the idle screen", 0, "MiB", "floor_window"),
            (f"CPU of {idle_seconds} s idle", 1, "% of a core", "floor_image"),
            (f"CPU of {idle_seconds} s idle", 1, "% of a core", "floor_window")):
        q, f = rows["quellan"][i], rows[floor][i]
        ratio = f"{q / f:.1f}" if f else "- (draws no frame when idle)"
        print(f"| {name} | {q:.2f} {unit} | {floor} | {f:.2f} {unit} | {ratio} |", flush=True)


# The verdicts timed, in turn: the page the program shows, the deny reason of the scan result
# (none: accepted; 103 the ticket already validated; 101 a refusal) and the colour of the
# page's symbol (qml/controls/Style.qml), which the probe looks for on rows through it.
VERDICTS = (("Valid", None, "41b987"), ("AlreadyValid", 103, "fcdb03"), ("Invalid", 101, "db4a37"))
EXAMPLE = os.path.join(os.path.dirname(__file__), "..", "..", "examples", "messages", "validator",
                       "scan-barcode.json")
WORK = "/run/verdict"  # not under /tmp: the floors have private ones


def percentiles(values):
    """p50, p95, p99 (interpolated between the nearest ranks) and the maximum."""
    q = statistics.quantiles(values, n=100, method="inclusive")
    return q[49], q[94], q[98], max(values)


def probe(m, rounds):
    """The probe's rounds against what runs now: [(page, publish_us, shown_us)]; it fails when
    a verdict did not show within 10 s."""
    kinds = " ".join(f"{page}={WORK}/{page}.json:{rgb}" for page, _, rgb in VERDICTS)
    rc, out = m.run(f"{PROBE} -n {rounds} {kinds}", timeout=rounds * 35 + 60)
    lines = re.findall(r"verdict kind=(\w+) publish_us=(\d+) shown_us=(\d+)", out)
    if rc != 0 or len(lines) != rounds:
        screen = m.screen(tempfile.mkdtemp(prefix="verdict-") + "/screen.png")
        raise RuntimeError(f"verdict_probe ended with {rc} (the screen: {screen}):\n{out[-2000:]}")
    return [(page, int(t0), int(t1)) for page, t0, t1 in lines]


def verdicts(m, rounds):
    """The time from a scan result published on the board's broker to the first frame in the
    framebuffer that shows its verdict: the service (with its benchmark probe, whose lines say
    where the time goes) against bench/floor_verdict showing the board's own pictures of the
    same pages. The first round of each verdict (a page's first showing) is left out."""
    example = json.load(open(EXAMPLE))
    m.run(f"mkdir -p {WORK} && chmod 755 {WORK}")
    for page, deny, _ in VERDICTS:
        t = dict(example["transaction"], result=deny is None)
        if deny:
            t["denyReason"] = {"id": deny}
        m.run(f"cat >{WORK}/{page}.json", stdin=json.dumps({"transaction": t}))
    # The service on its idle screen (a serial number given), its benchmark probe on.
    c = m.cursor()
    m.environment(QUELLAN_BENCH_PROBE=1)
    m.wait_active()
    m.wait_log("Screen changed : ScanScreens", c, timeout=120)
    time.sleep(10)
    probe(m, len(VERDICTS))
    service = probe(m, rounds)
    # The service's pages as the board shows them, for the floor (a page shows for 3 s).
    shots = tempfile.mkdtemp(prefix="verdict-")
    time.sleep(4)  # the last verdict's page gone
    m.screen(f"{shots}/idle.png")
    for page, _, _ in VERDICTS:
        m.run(f"mosquitto_pub -t zorv/blm/barcode/scanned -f {WORK}/{page}.json")
        time.sleep(1.5)
        m.screen(f"{shots}/{page}.png")
        time.sleep(3)
    for name in ("idle",) + tuple(page for page, _, _ in VERDICTS):
        with open(f"{shots}/{name}.png", "rb") as f:
            m.run(f"base64 -d >{WORK}/{name}.png && chmod 644 {WORK}/{name}.png",
                  stdin=base64.b64encode(f.read()).decode())
    shutil.rmtree(shots, ignore_errors=True)
    journal = m.journal("-u quellan")
    m.environment()
    m.run("systemctl stop quellan")
    pictures = " ".join(f"{WORK}/{n}.png" for n in ("idle", "Valid", "AlreadyValid", "Invalid"))
    start_floor(m, "floor_verdict", f"floor_verdict {pictures}")
    m.wait_active("floor_verdict")
    first_frame(m, "floor_verdict")
    time.sleep(5)
    probe(m, len(VERDICTS))
    floor = probe(m, rounds)
    m.run("systemctl stop floor_verdict; systemctl start quellan")
    report_verdicts(service, floor, journal)


def report_verdicts(service, floor, journal):
    ms = lambda rows: [(t1 - t0) / 1000 for _, t0, t1 in rows]
    s, f = percentiles(ms(service)), percentiles(ms(floor))
    kinds = ", ".join(f"{sum(1 for p, _, _ in service if p == page)} {page}"
                      for page, _, _ in VERDICTS)
    print(f"\nVerdict shown: scan result published on the broker to the first frame in the "
          f"framebuffer that shows its page, {len(service)} rounds each ({kinds})\n")
    print("| Program | p50 | p95 | p99 | max |\n|---|---|---|---|---|")
    for name, v in (("quellan.service", s), ("floor_verdict", f)):
        print(f"| {name} | " + " | ".join(f"{x:.1f} ms" for x in v) + " |")
    print("| ratio | " + " | ".join(f"{a / b:.2f}x" for a, b in zip(s, f)) + " |")
    # Where the service's time goes. The probe's lines (screen changed, after the window's own
    # handlers; first frame swapped after it) are on the publication's monotonic clock. The
    # handler's log lines carry the service's own time, in seconds since its start to the
    # millisecond: they are put on that clock by the least gap between the window's "Screen
    # changed" line and the probe's screen line after it (the rounds whose switch took no
    # measurable time), so each of their parts is good to a millisecond.
    bench = [(what, page, int(t)) for what, page, t in re.findall(
        r"QUELLAN_BENCH (screen|frame) screen=(\w+) mono_us=(\d+)", journal)]
    logged = [(float(t) * 1e6, text) for t, text in re.findall(
        r"^\[\s*(\d+\.\d+)\] (.*)$", journal, re.M)]
    switched = [t for t, text in logged if text.startswith("[QML] Screen changed : ")]
    shown = [t for what, _, t in bench if what == "screen"]
    offset = min((b - a for a, b in zip(switched[-len(shown):], shown)), default=0)
    steps = (("Validator ticket validated : ", "broker and parsing (published to the handler)"),
             ("Contents : ", "the handler's three log lines"),
             ("Playing audio file", "the `transaction` context property"),
             ("Setting screen : ", "the sound request"))
    parts = {name: [] for _, name in steps}
    parts.update({"the screen switch and its QML bindings (to the probe's screen line)": [],
                  "the repaint (to the frame swapped)": [],
                  "the framebuffer (to the pixels in /dev/fb0)": []})
    for page, t0, t1 in service:
        marks = [next((t + offset for t, text in logged
                       if text_of in text and t0 - 2000 <= t + offset <= t1), None)
                 for text_of, _ in steps]
        change = next((t for what, p, t in bench if what == "screen" and p == page
                       and t0 <= t <= t1), None)
        frame = next((t for what, p, t in bench if what == "frame" and p == page and change
                      and change <= t <= t1), None)
        times = [t0] + marks + [change, frame, t1]
        if None in times:
            continue
        for values, a, b in zip(parts.values(), times, times[1:]):
            values.append(max(b - a, 0) / 1000)
    print(f"\nWhere the service's time goes ({len(next(iter(parts.values())))} rounds with every "
          "line):\n\n| Part | p50 | p95 | p99 | max |\n|---|---|---|---|---|")
    for name, values in parts.items():
        if len(values) >= 2:
            print(f"| {name} | " + " | ".join(f"{x:.1f} ms" for x in percentiles(values)) + " |")


def main(options):
    m = Machine(options.arch, options.image)
    try:
        m.wait_active()
        print("boot to ready (kernel start to Started quellan.service, shipped settings): "
              f"{m.started_at():.1f} s")
        # A serial number given, as on a commissioned bus: the service then starts into
        # the passenger's idle screen, not the first-start page with its keyboard.
        m.run("echo K12345678 >/etc/serialnumber")
        print("load on the host:", open("/proc/loadavg").read().strip(), flush=True)
        if not options.verdicts_only:
            figures(m)
        verdicts(m, options.validations)
        if not options.verdicts_only:
            service, window = starts(m)
            print(f"\n| Start to first frame (median of 5) | {service:.2f} s | floor_window | "
                  f"{window:.2f} s | {service / window:.2f} |", flush=True)
        print("load on the host:", open("/proc/loadavg").read().strip())
    finally:
        m.close()
