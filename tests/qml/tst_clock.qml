import QtQuick 2.15
import QtTest 1.15
import "qrc:/qml/controls"

// The header clock's hidden gesture and its language.
TestCase {
    id: testCase

    name: "Clock"
    when: windowShown
    // Items under test are created in the test case itself, so it is shown.
    visible: true
    width: 480
    height: 800

    Component {
        id: clockComponent

        Clock {}
    }

    SignalSpy {
        id: gesture

        signalName: "pressAndHold"
    }

    function createClock() {
        var clock = createTemporaryObject(clockComponent, testCase);
        gesture.target = clock;
        gesture.clear();
        return clock;
    }

    function cleanup() {
        manager.language = "en_IE";
    }

    function test_twoTapsAreNotTheGesture() {
        var clock = createClock();
        mouseClick(clock);
        mouseClick(clock);
        compare(clock.tapCount, 2);
        verify(clock.tapWindowRunning);
        tryVerify(function () { return !clock.tapWindowRunning; }, 3000);
        compare(gesture.count, 0);
        compare(clock.tapCount, 0);
    }

    function test_threeTapsFireWhenTheWindowEnds() {
        var clock = createClock();
        mouseClick(clock);
        mouseClick(clock);
        mouseClick(clock);
        // Counted, but nothing fires before the one-second window ends.
        compare(clock.tapCount, 3);
        compare(gesture.count, 0);
        gesture.wait(3000);
        compare(gesture.count, 1);
        compare(clock.tapCount, 0);

        // The count starts afresh: one more tap is not the gesture.
        mouseClick(clock);
        tryVerify(function () { return !clock.tapWindowRunning; }, 3000);
        compare(gesture.count, 1);
    }

    function test_longPressFiresAtOnceAndEndsTheWindow() {
        var clock = createClock();
        mouseClick(clock);
        mouseClick(clock);
        mousePress(clock);
        gesture.wait(3000);
        compare(gesture.count, 1);
        // The long press stopped the tap window: its three presses must not fire
        // the gesture a second time.
        verify(!clock.tapWindowRunning);
        mouseRelease(clock);
        wait(1300);
        compare(gesture.count, 1);
        compare(clock.tapCount, 0);
    }

    function test_followsTheInterfaceLanguage() {
        var clock = createClock();
        clock.dateFormat = "MMMM";
        var month = new Date().getMonth();
        manager.language = "el_GR";
        compare(clock.dateText, Qt.locale("el_GR").monthName(month, Locale.LongFormat));
        manager.language = "en_IE";
        compare(clock.dateText, Qt.locale("en_IE").monthName(month, Locale.LongFormat));
        verify(clock.timeText.length > 0);
    }
}
