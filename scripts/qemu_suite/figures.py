"""The service's figures on the board (scripts/qemu-suite figures): start to first frame,
memory and idle CPU beside the benchmark's floors (bench/floor_*), run as units in the same
image with the same user and display settings."""
import re
import time

from qemu_suite.machine import Machine

LINUXFB = {"QT_QPA_PLATFORM": "linuxfb:fb=/dev/fb0", "QT_QUICK_BACKEND": "software",
           "QT_QPA_FB_HIDECURSOR": "1"}


def figures(m, idle_seconds=60):
    """Start to first frame, memory after the idle screen (cgroup memory.current) and CPU of
    60 s idle (cgroup cpu.stat) of the service, beside the benchmark's floors run as units
    alike: the bare window, and the idle screen's background swapped every 300 ms (the least
    an animated idle screen costs; the bare window draws nothing when idle)."""
    env = "".join(f"{k}={v}\\n" for k, v in LINUXFB.items())
    m.run(f"printf '{env}' >>/etc/default/quellan; systemctl restart quellan", timeout=300)
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
            m.run("systemctl stop quellan floor_window")
            m.run(floor.format(unit=unit, program=program))
        m.wait_active(unit)
        show = lambda p: int(m.out(f"systemctl show -p {p} --value {unit}"))
        if unit == "quellan":
            ready = m.start_seconds()
        else:
            for _ in range(240):
                line = [l for l in m.journal(f"-u {unit}").splitlines()
                        if "QUELLAN_BENCH" in l and "frame" in l]
                if line:
                    break
                time.sleep(1)
            us = int(re.search(r"mono_us=(\d+)", line[0]).group(1))
            ready = (us - show("ExecMainStartTimestampMonotonic")) / 1e6
        time.sleep(20)  # the idle screen settles
        cg = f"/sys/fs/cgroup/system.slice/{unit}.service"
        memory = int(m.out(f"cat {cg}/memory.current")) / 2**20
        cpu = lambda: int(m.out(f"grep usage_usec {cg}/cpu.stat").split()[1])
        c0 = cpu()
        time.sleep(idle_seconds)
        rows[unit] = (ready, memory, (cpu() - c0) / 1e6 / idle_seconds * 100)
    print("| Figure | quellan.service | floor | floor's figure | ratio |\n|---|---|---|---|---|")
    for name, i, unit, floor in (
            ("Start to first frame", 0, "s", "floor_window"),
            ("Memory after the idle screen", 1, "MiB", "floor_window"),
            (f"CPU of {idle_seconds} s idle", 2, "% of a core", "floor_image"),
            (f"CPU of {idle_seconds} s idle", 2, "% of a core", "floor_window")):
        q, f = rows["quellan"][i], rows[floor][i]
        ratio = f"{q / f:.1f}" if f else "- (draws no frame when idle)"
        print(f"| {name} | {q:.2f} {unit} | {floor} | {f:.2f} {unit} | {ratio} |")


def main(options):
    m = Machine(options.arch, options.image)
    try:
        m.wait_active()
        print("boot to ready (kernel start to Started quellan.service, shipped settings): "
              f"{m.started_at():.1f} s")
        figures(m)
    finally:
        m.close()
