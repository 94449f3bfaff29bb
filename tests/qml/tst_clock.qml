import QtQuick 2.15
import QtTest 1.15
import "qrc:/qml/controls"

// The header clock's hidden gesture (three taps within a second, or a long press)
// and its language.
DisplayTestCase {
    id: testCase

    name: "Clock"

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

    function test_gesture_data() {
        return [{ tag: "two taps", taps: 2, hold: false, fired: 0 },
                { tag: "three taps", taps: 3, hold: false, fired: 1 },
                { tag: "two taps, then a long press", taps: 2, hold: true, fired: 1 }];
    }

    // Taps are counted, but nothing fires before the one-second window ends; a long
    // press fires at once and ends the window, so the taps before it fire nothing more.
    function test_gesture(data) {
        var clock = createClock();
        for (var i = 0; i < data.taps; ++i)
            mouseClick(clock);
        compare(gesture.count, 0);
        if (data.hold) {
            mousePress(clock);
            gesture.wait(15000);
            mouseRelease(clock);
        }
        wait(800);
        compare(gesture.count, data.hold ? 1 : 0);
        tryVerify(function () { return !clock.tapWindowRunning; }, 15000);
        wait(data.hold ? 500 : 0);
        compare(gesture.count, data.fired);
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
    }
}
