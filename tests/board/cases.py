"""The system suite on the board (scripts/board test): the package as shipped, under systemd,
on the kernel's display, by touch, through hangs, broker restarts, power cuts and upgrades."""
import argparse, collections, json, os, random, re, signal, sys, time
from boardvm import Board, differs, ini

a = argparse.ArgumentParser()
a.add_argument("--arch"), a.add_argument("--image"), a.add_argument("--gallery")
a.add_argument("--cuts", type=int, default=20), a.add_argument("only", nargs="*")
A = a.parse_args()
# Where things are on the 480 x 800 screen: header clock, serial field, the keyboard's keys
# (letters, then "&123" for the digits, enter), the confirmation's yes, the PIN pad, the menu.
CLOCK, FIELD, ENTER, YES, MENU, LOGOUT = (390, 70), (240, 356), (427, 639), (160, 452), (445, 35), (313, 284)
KEYS = {"K": (334, 639), "&123": (54, 755), **{str(d): (41 + 39.7 * ((d + 9) % 10), 581) for d in range(10)}}
PAD = {str(d): (116 + 124 * ((d - 1) % 3), 284 + 77 * ((d - 1) // 3)) for d in range(1, 10)}
PAD.update({"0": (240, 515), "enter": (240, 590)})
# The idle screen's time-dependent parts: the date and clock, the card animation, the version.
MASKS = [(300, 0, 479, 100), (130, 330, 350, 560), (330, 770, 479, 799)]
OUT = os.environ.get("BOARD_OUT", "/tmp/board-screens")
os.makedirs(OUT, exist_ok=True)


def check(ok, what):
    if not ok:
        raise AssertionError(what)


def matches(b, name, gallery, tries=3):
    """The screen as the offscreen gallery shows it (a frame caught mid-update is taken again)."""
    for _ in range(tries):
        time.sleep(2)
        d = differs(b.screen(os.path.join(OUT, name + ".png")), os.path.join(A.gallery, gallery), MASKS)
        if d < 0.015:
            return f"{d:.1%} differs"
    raise AssertionError(f"{name}: {d:.1%} of the screen differs from the gallery's {gallery}")


def ready(b):
    """READY=1 only after the first frame: active no earlier than the program's first-frame line."""
    show = lambda p: int(b.out(f"systemctl show -p {p} --value quellan"))
    active = (show("ActiveEnterTimestampMonotonic") - show("ExecMainStartTimestampMonotonic")) / 1e6
    frame = float(re.search(r"\[\s*([\d.]+)\] \[Watchdog\] First frame", b.journal("-u quellan")).group(1))
    check(active >= frame, f"active {active:.1f} s after start, first frame at {frame:.1f} s")
    j = b.out("journalctl -b -o short-monotonic --no-pager -u quellan")
    return re.search(r"\[\s*([\d.]+)\].*Started quellan.service", j).group(1) + " s from kernel start"


def display(b):
    """The shipped setting (linuxfb, software renderer), then eglfs on the virtio-gpu KMS device
    through Mesa's software rasteriser (its background is not compared: it is not drawn there)."""
    note = "linuxfb " + matches(b, "init-linuxfb", "el_GR/14_InitPage.png")
    b.run("cp /etc/default/quellan /root/default && sed -i 's/^QT_/#QT_/; $aQT_QPA_PLATFORM=eglfs' "
          "/etc/default/quellan && systemctl restart quellan", timeout=300)
    try:
        secs = b.wait_active(timeout=300)
        page = differs(b.screen(f"{OUT}/init-eglfs.png"), f"{A.gallery}/el_GR/14_InitPage.png",
                       box=(60, 250, 420, 470))
        check(page < 0.05, f"eglfs: {page:.0%} of the first-start page differs")
    finally:
        b.run("cp /root/default /etc/default/quellan && systemctl restart quellan", timeout=300)
    return note + f"; eglfs ready {secs:.0f} s after restart, page {page:.1%} differs"


def first_start(b):
    """An empty serial-number file: the keyboard comes up when the field is tapped, and a serial
    number typed by taps is saved."""
    b.tap(*FIELD), time.sleep(5)
    kb = differs(b.screen(f"{OUT}/keyboard.png"), f"{A.gallery}/el_GR/14_InitPage.png", box=(0, 560, 480, 800))
    check(kb > 0.3, "no keyboard after a tap on the serial-number field")
    for k in ["K", "&123", *"12345678"]:
        b.tap(*KEYS[k]), time.sleep(0.4)
    b.tap(*ENTER), time.sleep(3), b.tap(*YES), time.sleep(3)
    check(b.out("cat /etc/serialnumber") == "K12345678", "serial number not saved")


def idle(b):
    """The idle screen as the gallery's, and no pointer where the panel was last touched."""
    b.tap(240, 700)
    note = matches(b, "idle", "el_GR/01_ScanScreens.png")
    pointer = differs(f"{OUT}/idle.png", f"{A.gallery}/el_GR/01_ScanScreens.png", box=(225, 685, 265, 725))
    check(pointer < 0.03, f"a pointer on the panel ({pointer:.0%} of its place differs)")
    return note


def touch(b):
    c = b.cursor()
    for _ in range(3):
        b.tap(*CLOCK)
    time.sleep(2)
    for k in "8602", "enter":
        b.tap(*PAD[k]) if k == "enter" else [b.tap(*PAD[d]) for d in k]
    b.wait_log("User logged-in", c, timeout=30)
    time.sleep(2), b.tap(*MENU), time.sleep(2), b.tap(*LOGOUT)
    b.wait_log("User logged-out", c, timeout=30)


def watchdog(b):
    pid = b.out("systemctl show -p MainPID --value quellan").strip()
    c = b.cursor()
    b.run(f"kill -STOP {pid}")
    secs = b.wait_log("Watchdog timeout", c, unit="", timeout=90)
    b.wait_log("First frame shown", c, timeout=120), time.sleep(5)
    check(b.out("systemctl show -p MainPID --value quellan").strip() not in ("0", pid), "no restart")
    matches(b, "idle-after-watchdog", "el_GR/01_ScanScreens.png")
    return f"killed {secs:.0f} s after SIGSTOP"


def broker(b):
    # The retained status thrown away with the broker's store: only a reconnected UI brings it back.
    b.run("systemctl stop mosquitto; rm -f /var/lib/mosquitto/mosquitto.db; systemctl start mosquitto")
    status = b.out("mosquitto_sub -t zorv/ui/status -C 1 -W 60", timeout=90)
    check(json.loads(status or "{}").get("service") is True, f"status after the restart: {status!r}")


def journal(b):
    # A line written twice (standard error and syslog) differs at most by a level tag.
    lines = [re.sub(r"\[(warning|error|info|debug|critical|fatal)\] ", "", l)
             for l in b.journal("_PID=$(systemctl show -p MainPID --value quellan)").splitlines()]
    twice = [l for l, n in collections.Counter(lines).items() if n > 1]
    bad = [l for l in b.journal("-u quellan").splitlines()  # every start of this boot
           if re.search(r"8602|password\s*:\s*\S|Permission denied|Read-only file", l)]
    check(not twice and not bad, f"{len(twice)} lines twice, e.g. {twice[:2]}; wrong lines: {bad[:4]}")


def program_locked(b):
    """The service's user can write its event store but not replace or delete its program."""
    as_user = lambda cmd: b.run(f"runuser -u quellan -- sh -c '{cmd}'")[0]
    app = "/opt/zorv/quellan"
    for cmd in (f"rm -f {app}/quellan", f"mv {app}/quellan {app}/x", f"cp /bin/true {app}/quellan",
                f"echo > {app}/Valid.wav", f"rm -f {app}/Valid.wav"):
        check(as_user(cmd) != 0, f"the service user may: {cmd}")
    before = b.out(f"cat {app}/events.ini")
    ignition(b, "off"), ignition(b, "on"), time.sleep(3)
    check(b.out(f"cat {app}/events.ini") != before, "event store not written")
    check(as_user(f"touch {app}/own && mv {app}/own {app}/own2 && rm {app}/own2") == 0, "no own files")


def ignition(b, state):
    b.run(f"echo 'ignition {state}' >/run/quellan-devsim/in")


def power_cuts(b):
    """Cuts at random moments while settings are changed and events written: every file parses,
    holds every key, keeps every acknowledged setting and every event it held before the cut."""
    app, keys, acked, sent, stored = "/opt/zorv/quellan", None, 0, 0, set()
    bad = lost = 0
    for cut in range(A.cuts + 1):
        b.wait_active()
        try:
            conf = ini(b.out("cat /etc/quellan/gui.conf"))
            events = ini(b.out(f"cat {app}/events.ini"))
        except ValueError as e:
            bad += 1
            print(f"  cut {cut}: broken file: {e}", flush=True)
            continue
        keys = keys or set(conf)
        value = int(conf.get("gui/animSwitchSec", -1))
        now = {v for k, v in events.items() if k.endswith("timestamp")}
        missing = (keys - set(conf)) | (stored - now)
        lost += len(stored - now) + (not acked <= value <= sent)
        if missing or not acked <= value <= sent:
            print(f"  cut {cut}: missing {sorted(missing)}; setting {value}, acknowledged {acked}", flush=True)
        if cut == A.cuts:
            break
        end = time.monotonic() + random.uniform(2, 12)
        while time.monotonic() < end:
            sent += 1
            reply = b.out(f"mosquitto_rr -t zorv/ui/config/set -e zorv/ui/config -W 10 "
                          f"-m '{{\"gui\":{{\"animSwitchSec\":{sent}}}}}'")
            if f'"animSwitchSec": {sent}' in reply or f'"animSwitchSec":{sent}' in reply:
                acked = sent
            ignition(b, "off" if sent % 2 else "on")
            stored = {v for k, v in ini(b.out(f"cat {app}/events.ini")).items() if k.endswith("timestamp")}
        b.cut()
    check(bad == lost == 0, f"{A.cuts} cuts: {bad} corrupted files, {lost} lost acknowledged writes")
    return f"{A.cuts} cuts, {bad} corrupted files, {lost} lost acknowledged writes"


def upgrade(b):
    files = "/etc/quellan/gui.conf /etc/serialnumber /opt/zorv/quellan/events.ini"
    before = b.out(f"md5sum {files}")
    pid = b.out("systemctl show -p MainPID --value quellan")
    rc, out = b.run("apt-get install -y --reinstall /root/quellan.deb", timeout=300)
    check(rc == 0, out[-500:])
    b.wait_active()
    check(b.out(f"md5sum {files}") == before, "settings, serial number or event store changed")
    check(b.out("systemctl show -p MainPID --value quellan") != pid, "the service was not restarted")
    rc, out = b.run("apt-get purge -y quellan", timeout=300)
    check(rc == 0, out[-500:])
    check(b.run("getent passwd quellan || getent group quellan || systemctl cat quellan "
                "|| ls /etc/systemd/system/*/quellan.service")[0] != 0, "the user or the unit survived a purge")


CASES = [ready, display, first_start, idle, touch, watchdog, broker, journal, program_locked,
         power_cuts, upgrade]
signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))  # the board is closed on the way out
passed = failed = 0
board = Board(A.arch, A.image)
try:
    print(f"board: agent up {board.wait_agent():.0f} s after power on", flush=True)
    board.wait_active()
    for case in CASES:
        if A.only and case.__name__ not in A.only:
            continue
        t0 = time.monotonic()
        try:
            note = case(board) or ""
            passed += 1
            print(f"PASS {case.__name__} ({time.monotonic() - t0:.0f} s) {note}", flush=True)
        except Exception as e:
            failed += 1
            print(f"FAIL {case.__name__} ({time.monotonic() - t0:.0f} s) {type(e).__name__}: {e}", flush=True)
finally:
    board.close()
print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
