"""The system suite on the board (scripts/qemu-suite test): the package as shipped, under systemd,
on the kernel's display, by touch, through hangs, broker restarts, power cuts and upgrades."""
import collections, json, random, re, time

from qemu_suite.pictures import SHOTS, differs, matches
from qemu_suite.runner import check, ini, options as A

# Where things are on the 480 x 800 screen: header clock, serial field, the keyboard's keys
# (letters, then "&123" for the digits, enter), the confirmation's yes, the PIN pad, the menu.
CLOCK, FIELD, ENTER, YES = (390, 70), (240, 356), (427, 639), (160, 452)
MENU, LOGOUT = (445, 35), (313, 284)
KEYS = {"K": (334, 639), "&123": (54, 755),
        **{str(d): (41 + 39.7 * ((d + 9) % 10), 581) for d in range(10)}}
PAD = {"0": (240, 515), "enter": (240, 590),
       **{str(d): (116 + 124 * ((d - 1) % 3), 284 + 77 * ((d - 1) // 3)) for d in range(1, 10)}}
# The time-dependent parts of a screen: the date and clock, the card animation, the version.
MASKS = [(300, 0, 479, 100), (130, 330, 350, 560), (330, 770, 479, 799)]
# On the idle screen the card flies in from the right and the prompt alternates between card
# and ticket: the whole of that stays out of the comparison (the journal names the screen).
IDLE_MASKS = MASKS + [(90, 190, 479, 560)]
APP, INIT, IDLE = "/opt/zorv/quellan", "/el_GR/14_InitPage.png", "/el_GR/01_ScanScreens.png"


def ready(b):
    """READY=1 only after the first frame: active no earlier than the program's first-frame line."""
    active, j = b.start_seconds(), b.journal("-u quellan")
    frame = float(re.search(r"\[\s*([\d.]+)\] \[Watchdog\] First frame", j).group(1))
    check(active >= frame, f"active {active:.1f} s after start, first frame at {frame:.1f} s")
    # Started only once the panel's framebuffer is there (the package's udev rule makes its unit).
    fb = int(b.prop("ActiveEnterTimestampMonotonic", "dev-fb0.device"))
    check(0 < fb <= int(b.prop("ExecMainStartTimestampMonotonic")), f"dev-fb0.device at {fb} us")
    return f"{b.started_at():.1f} s from kernel start"


def display(b):
    """The shipped setting (linuxfb, software renderer), then eglfs on the virtio-gpu KMS device
    through Mesa's software rasteriser (only the page: eglfs draws no background there)."""
    note = matches(b, "init-linuxfb", A.gallery + INIT, MASKS)
    b.run("cp /etc/default/quellan /root/default && sed -i 's/^QT_/#QT_/; $aQT_QPA_PLATFORM=eglfs'"
          " /etc/default/quellan && systemctl restart quellan", timeout=300)
    try:
        eglfs = matches(b, "init-eglfs", A.gallery + INIT, MASKS, (60, 250, 420, 470), 0.1)
        return f"{note}; {eglfs}"
    finally:  # eglfs leaves the display's scan-out on its last frame: linuxfb needs a fresh boot
        b.run("cp /root/default /etc/default/quellan && sync", timeout=60)
        b.cut("quellan")


def first_start(b):
    """An empty serial-number file: the keyboard comes up when the field is tapped, and a serial
    number typed by taps is saved."""
    b.cpu_mark("quellan-fleet-relay")  # the relay's minute runs through the next cases (see relay)
    b.taps(FIELD, 5)
    kb = differs(b.screen(f"{SHOTS}/keyboard.png"), A.gallery + INIT, box=(0, 560, 480, 800))
    check(kb > 0.3, "no keyboard after a tap on the serial-number field")
    b.taps(*[KEYS[k] for k in ["K", "&123", *"12345678"]], pause=0.4)
    b.taps(ENTER, 3, YES, 3)
    check(b.cat("/etc/serialnumber") == "K12345678", "serial number not saved")


def idle(b):
    """The idle screen as the gallery's, and no pointer where the panel was last touched."""
    b.tap(240, 700)
    shown = re.findall(r"Screen changed : (\w+)", b.journal(f"_PID={b.prop('MainPID')}"))
    check(shown[-1:] == ["ScanScreens"],
          f"the program shows {shown[-1:]}, restarted {b.prop('NRestarts')} times")
    note = matches(b, "idle", A.gallery + IDLE, IDLE_MASKS)
    pointer = differs(f"{SHOTS}/idle.png", A.gallery + IDLE, box=(225, 685, 265, 725))
    check(pointer < 0.03, f"a pointer on the panel ({pointer:.0%} of its place differs)")
    return note


def touch(b):
    c = b.cursor()
    b.taps(CLOCK, CLOCK, CLOCK, 3, *[PAD[k] for k in [*"8602", "enter"]])  # 3 s: the PIN pad
    b.wait_log("User logged-in", c, timeout=30)
    b.taps(2, MENU, 2, LOGOUT)
    b.wait_log("User logged-out", c, timeout=30)


def watchdog(b):
    pid, c = b.prop("MainPID"), b.cursor()
    b.run(f"kill -STOP {pid}")
    secs = b.wait_log("Watchdog timeout", c, unit=None, timeout=90)
    b.wait_log("First frame shown", c, timeout=120)
    check(b.prop("MainPID") not in ("0", pid), "no restart")
    shown = matches(b, "idle-after-watchdog", A.gallery + IDLE, IDLE_MASKS)
    return f"killed {secs:.0f} s after SIGSTOP; {shown}"


def broker(b):
    # The broker's store thrown away: only a reconnected UI brings the retained status back.
    b.run("systemctl stop mosquitto; rm -f /var/lib/mosquitto/*.db; systemctl start mosquitto")
    status = b.out("mosquitto_sub -t zorv/ui/status -C 1 -W 60", timeout=90)
    check(json.loads(status or "{}").get("service") is True, f"status after it: {status!r}")


def journal(b):
    # A line written twice (standard error and syslog) differs at most by a level tag.
    lines = [re.sub(r"\[(warning|error|info|debug|critical|fatal)\] ", "", l)
             for l in b.journal(f"_PID={b.prop('MainPID')}").splitlines()]
    twice = [l for l, n in collections.Counter(lines).items() if n > 1]
    bad = [l for l in b.journal("-u quellan").splitlines()  # every start of this boot
           if re.search(r"8602|password\s*:\s*[^*\s]|Permission denied|Read-only file|"
                        r"status=\d+/(SEGV|BUS|FPE|ILL)", l)]
    check(not twice and not bad,
          f"{len(twice)} lines twice, e.g. {twice[:2]}; wrong lines: {bad[:4]}")


def program_locked(b):
    """The service's user can write its event store (its own files: see planted) but not replace
    or delete its program."""
    for cmd in (f"rm -f {APP}/quellan", f"mv {APP}/quellan {APP}/x", f"cp /bin/true {APP}/quellan",
                f"echo > {APP}/Valid.wav", f"rm -f {APP}/Valid.wav"):
        check(b.as_user(cmd) != 0, f"the service user may: {cmd}")
    before = b.cat(f"{APP}/events.ini")
    for state in ("off", "on") * 10:  # the simulator may still be reconnecting to the broker
        b.devsim(f"ignition {state}", wait=2)
        if state == "on" and b.cat(f"{APP}/events.ini") != before:
            break
    check(b.cat(f"{APP}/events.ini") != before, "event store not written")


def planted(b):
    """As the service's user: a qt.conf naming a plug-in folder of its own, and plug-in folders
    (copies of Qt's), beside the program. Catches either read at start: the program's folder among
    the folders Qt scans for plug-ins, or a library from it in the program's memory."""
    plant = (f"cd {APP} && P=$(echo /usr/lib/*/qt5/plugins) && mkdir -p own && cp -r "
             "$P/platforms own && cp -r $P/platforms $P/platforminputcontexts . && printf "
             f"\"[Paths]\\nPlugins={APP}/own\\n\" >qt.conf")
    check(b.as_user(plant) == 0, "could not plant")
    b.environment(QT_DEBUG_PLUGINS=1)
    try:
        b.wait_active()
        pid = b.prop("MainPID")
        read = re.findall(r'checking directory path "([^"]+)"', b.journal(f"_PID={pid}"))
        maps = b.cat(f"/proc/{pid}/maps")
        mapped = {l.split()[-1] for l in maps.splitlines() if APP in l}
        check(read and not [d for d in read if d.startswith(APP)], f"plug-in folders read: {read}")
        check(mapped == {f"{APP}/quellan"}, f"mapped from the program's folder: {sorted(mapped)}")
        # Qt's controls style as the package compiled it; none of the keyboard's extensions.
        check("/var/cache/quellan/qml/" in maps and "plugins/virtualkeyboard/" not in maps,
              "Qt's style not read from the package's cache, or keyboard extensions loaded")
        return f"{len(read)} plug-in folders read, none beside the program"
    finally:
        b.run(f"cd {APP} && rm -rf own platforms platforminputcontexts qt.conf")
        b.environment()


def relay(b):
    """The depot link, its depot refusing every connection. Catches a relay that spins instead of
    waiting out its back-off (over 1 % of a core over a minute at least) or that keeps dying."""
    b.wait_active("quellan-fleet-relay")
    share, secs = b.cpu_share("quellan-fleet-relay")
    restarts = b.prop("NRestarts", "quellan-fleet-relay")
    check(share < 0.01 and restarts == "0", f"{share:.1%} of a core, restarted {restarts} times")
    return f"{share:.2%} of a core over {secs:.0f} s"


def events(text):
    return {v for k, v in ini(text).items() if k.endswith("timestamp")}


def power_cuts(b):
    """Cuts at random moments while settings are changed and events written: every file parses,
    holds every key, keeps every acknowledged setting and every event it held before the cut."""
    keys, acked, sent, stored, bad, lost, boots = None, 0, 0, set(), 0, 0, [0]
    for cut in range(A.cuts + 1):
        b.wait_active()
        try:
            conf, now = ini(b.cat("/etc/quellan/gui.conf")), events(b.cat(f"{APP}/events.ini"))
            keys, value = keys or set(conf), int(conf.get("gui/animSwitchSec", -1))
            missing = (keys - set(conf)) | (stored - now)
            lost += len(stored - now) + (not acked <= value <= sent)
            if missing or not acked <= value <= sent:
                print(f"  cut {cut}: missing {sorted(missing)}; setting {value}, "
                      f"acknowledged {acked}", flush=True)
        except ValueError as e:
            bad += 1
            print(f"  cut {cut}: broken file: {e}", flush=True)
        end = time.monotonic() + random.uniform(1, 8)
        while cut < A.cuts and time.monotonic() < end:  # a setting and an event a round
            sent += 1
            reply, store = b.out(
                f"mosquitto_rr -t zorv/ui/config/set -e zorv/ui/config -W 10 -m "
                f"'{{\"gui\":{{\"animSwitchSec\":{sent}}}}}'; echo 'ignition "
                f"{('off', 'on')[sent % 2]}' >/run/quellan-devsim/in; echo @@; "
                f"cat {APP}/events.ini").split("@@\n")
            acked = sent if re.search(rf'"animSwitchSec": ?{sent}\b', reply) else acked
            stored = events(store)
        boots += [b.cut()] if cut < A.cuts else []
    note = f"{A.cuts} cuts, {bad} corrupted files, {lost} lost acknowledged writes"
    check(bad == lost == 0, note)
    return f"{note}, agent back in {max(boots):.0f} s at worst"


def upgrade(b):
    """Reinstalled over itself: settings, serial number and stored events kept, the service runs
    again; purged: the user and the unit gone."""
    kept = lambda: (ini(b.cat("/etc/quellan/gui.conf")), b.cat("/etc/serialnumber"),
                    events(b.cat(f"{APP}/events.ini")))
    (conf, serial, stored), pid = kept(), b.prop("MainPID")
    rc, out = b.run("apt-get install -y --reinstall /root/quellan.deb", timeout=300)
    check(rc == 0 and b.wait_active() >= 0, out[-500:])
    conf2, serial2, stored2 = kept()
    check(conf2 == conf and serial2 == serial and stored <= stored2,
          "settings, serial or events changed")
    check(b.prop("MainPID") != pid, "the service was not restarted")
    check(b.run("apt-get purge -y quellan", timeout=300)[0] == 0, "purge failed")
    check(b.run("getent passwd quellan || getent group quellan || systemctl cat quellan "
                "|| ls /etc/systemd/system/*/quellan.service")[0] != 0,
          "the user or the unit survived a purge")


CASES = [ready, display, first_start, idle, touch, watchdog, broker, journal, program_locked,
         planted, relay, power_cuts, upgrade]
