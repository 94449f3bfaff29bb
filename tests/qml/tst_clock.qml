import QtQuick 2.15
import QtTest 1.15
import "qrc:/qml/controls"

// The header clock's hidden gesture (three taps within a second, or a long press)
// and its language.
TestCase {
    id: testCase

    name: "Clock"
    when: windowShown
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

    function test_taps_data() {
        return [{ tag: "two", taps: 2, fired: 0 }, { tag: "three", taps: 3, fired: 1 }];
    }

    function test_taps(data) {
        var clock = createClock();
        for (var i = 0; i < data.taps; ++i)
            mouseClick(clock);
        // Counted, but nothing fires before the one-second window ends.
        compare(gesture.count, 0);
        wait(800);
        compare(gesture.count, 0);
        tryVerify(function () { return !clock.tapWindowRunning; }, 3000);
        compare(gesture.count, data.fired);
        compare(clock.tapCount, 0);
    }

    function test_longPressEndsTheWindow() {
        var clock = createClock();
        mouseClick(clock);
        mouseClick(clock);
        mousePress(clock);
        gesture.wait(3000);
        verify(!clock.tapWindowRunning);
        mouseRelease(clock);
        wait(1300);
        compare(gesture.count, 1);
    }

    function test_followsTheInterfaceLanguage() {
        var clock = createClock();
        clock.dateFormat = "MMMM";
        var month = new Date().getMonth();
        manager.language = "el_GR";
        compare(clock.dateText, Qt.locale("el_GR").monthName(month, Locale.LongFormat));
        manager.language = "en_IE";
        compare(clock.dateText, Qt.locale("en_IE").monthName(month, Locale.LongFormat));
    }
}
