import QtQuick 2.15
import QtTest 1.15
import "qrc:/qml/screens"
import "qrc:/qml/js/ScanFrames.js" as ScanFrames

// The combined idle animation: frame stepping and the switch between the card
// and the ticket animations.
TestCase {
    id: testCase

    name: "ScanScreens"
    when: windowShown
    // Items under test are created in the test case itself, so it is shown.
    visible: true
    width: 480
    height: 800

    Component {
        id: pageComponent

        ScanScreens {
            width: 480
            height: 800
        }
    }

    function cleanup() {
        manager.animSwitchSec = 0;
        manager.language = "en_IE";
    }

    function run(state, ticks, switchSec) {
        var seen = [];
        for (var i = 0; i < ticks; ++i) {
            state = ScanFrames.tick(state.mode, state.frame, switchSec);
            seen.push(state.mode + ":" + state.frame);
        }
        return seen;
    }

    // Without a switch interval: card frames 0..5, then ticket frames 0..7, and so on.
    function test_alternatesByItself() {
        var seen = run({ "mode": 0, "frame": 0 }, 15, 0);
        compare(seen, ["0:1", "0:2", "0:3", "0:4", "0:5", "1:0",
                       "1:1", "1:2", "1:3", "1:4", "1:5", "1:6", "1:7", "0:0", "0:1"]);
    }

    // With a switch interval each animation loops through all its frames.
    function test_loopsUntilSwitched() {
        var seen = run({ "mode": 0, "frame": 0 }, 8, 5);
        compare(seen, ["0:1", "0:2", "0:3", "0:4", "0:5", "0:6", "0:0", "0:1"]);
        seen = run({ "mode": 1, "frame": 7 }, 3, 5);
        compare(seen, ["1:8", "1:0", "1:1"]);
        compare(ScanFrames.toggle(1), { "mode": 0, "frame": 0 });
    }

    // A frame past the mode's last one (after a switch from the ticket
    // animation) draws frame 0 and restarts at the next tick.
    function test_frameBeyondTheLast() {
        compare(ScanFrames.source(0, 7), "qrc:/qml/images/NFC/0.png");
        compare(ScanFrames.source(0, 6), "qrc:/qml/images/NFC/6.png");
        compare(ScanFrames.source(1, 8), "qrc:/qml/images/Barcode/8.png");
        compare(ScanFrames.tick(0, 8, 5), { "mode": 0, "frame": 0 });
        compare(ScanFrames.tick(0, 8, 0), { "mode": 1, "frame": 0 });
    }

    function test_pageAlternates() {
        var page = createTemporaryObject(pageComponent, testCase);
        var hint = findChild(page, "hint");
        compare(page.mode, 0);
        compare(hint.text, "SCAN\nYOUR CARD");
        verify(!findChild(page, "switchTimer").running);
        tryCompare(page, "mode", 1, 5000);
        compare(hint.text, "SCAN\nYOUR TICKET");
        manager.language = "el_GR";
        compare(hint.text, "ΣΑΡΩΣΤΕ ΤΟ\nΕΙΣΙΤΗΡΙΟ ΣΑΣ");
    }

    // The switch interval is taken as milliseconds.
    function test_switchTimer() {
        manager.animSwitchSec = 250;
        var page = createTemporaryObject(pageComponent, testCase);
        var timer = findChild(page, "switchTimer");
        verify(timer.running);
        compare(timer.interval, 250);
        tryCompare(page, "mode", 1, 3000);
        compare(page.frame < 2, true);
        tryCompare(page, "mode", 0, 3000);
        manager.animSwitchSec = 0;
        verify(!timer.running);
    }
}
