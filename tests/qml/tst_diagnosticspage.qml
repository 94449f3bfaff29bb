import QtQuick 2.15
import QtQuick.Controls 2.15
import QtTest 1.15
import "qrc:/qml/controls"

// The diagnostics page: the technician's tests, what each one asks of the devices
// and the result it writes.
DisplayTestCase {
    id: testCase

    // Every call the page makes on the stand-ins, in order.
    property var log: []

    name: "DiagnosticsPage"

    // The diagnostics, validator, board and inspector managers in one stand-in.
    QtObject {
        id: fake

        property string buzzer: ""
        property string leds: ""
        property string cardScan: ""
        property string speaker: ""
        property string lightSensor: ""
        property int displayBrightness: 40
        property int ambientLightSensor: 55
        signal cardDetected(string uid, string type)
        signal cardRemoved()
        function start() { testCase.log.push("start"); }
        function stop() { testCase.log.push("stop"); }
        function enableRfid() { testCase.log.push("enableRfid"); }
        function disableRfid() { testCase.log.push("disableRfid"); }
        function playBuzzer(on, off, repeat) { testCase.log.push("playBuzzer:" + [on, off, repeat]); }
        function setLedTestPattern() { testCase.log.push("setLedTestPattern"); }
        function setLedOff() { testCase.log.push("setLedOff"); }
        function monitor(msec) { testCase.log.push("monitor:" + msec); }
        function audioPlay(file) { testCase.log.push("audioPlay:" + file); }
    }

    Component {
        id: stackComponent

        StackView {
            width: 480
            height: 730
            initialItem: Item {}
        }
    }

    function openPage() {
        wait(0);  // the last test's page goes at the next deferred deletion
        var stack = createTemporaryObject(stackComponent, testCase);
        var page = stack.push("qrc:/qml/screens/settings/Diagnostics.qml",
                              { "diagnostics": fake, "validator": fake, "boardManager": fake,
                                "inspectorManager": fake },
                              StackView.Immediate);
        waitForRendering(page);
        verify(testCase.log.indexOf("start") >= 0, "the periodic check runs while the page shows");
        testCase.log = [];
        return page;
    }

    function test_resultColours_data() {
        return [
            { tag: "not run", value: "", colour: Style.neutral },
            { tag: "OK", value: "OK", colour: Style.valid },
            { tag: "ERROR", value: "ERROR", colour: Style.invalid },
            { tag: "lower-case ok", value: "ok", colour: Style.warning }
        ];
    }

    // The same green, amber and red as every other settings page.
    function test_resultColours(data) {
        var page = openPage();
        fake.buzzer = data.value;
        verify(Qt.colorEqual(findChild(page, "testButton_Buzzer").color, data.colour));
    }

    // The Yes/No tests: the question, the calls on opening and closing, the result.
    function test_dialogTests_data() {
        return [
            { tag: "buzzer", button: "Buzzer", text: "Can you hear the buzzer?",
              calls: ["playBuzzer:100,200,3"], answer: "yesButton", key: "buzzer", result: "OK" },
            { tag: "LEDs", button: "LEDs", text: "Can you see the LEDs flashing?",
              calls: ["setLedTestPattern", "setLedOff"], answer: "noButton", key: "leds", result: "ERROR" },
            { tag: "speaker", button: "Speaker", text: "Can you hear the internal speaker?",
              calls: ["audioPlay:/opt/zorv/quellan/Valid.wav"], answer: "noButton", key: "speaker",
              result: "ERROR" },
            { tag: "sensor", button: "Sensor",
              text: "Is LCD brightness adjusting?\nBrightness : 40%\nLight Sensor : 55%",
              calls: ["monitor:2000", "monitor:0"], answer: "yesButton", key: "lightSensor", result: "OK" }
        ];
    }

    function test_dialogTests(data) {
        var page = openPage();
        var popup = findChild(page, "testPopup");
        mouseClick(findChild(page, "testButton_" + data.button));
        tryCompare(popup, "opened", true);
        compare(popup.text, data.text);
        compare(log, data.calls.slice(0, 1));
        mouseClick(findChild(popup.contentItem, data.answer));
        tryCompare(popup, "visible", false);
        compare(log, data.calls);
        compare(fake[data.key], data.result);
    }

    function test_cardTest() {
        manager.screen = "Settings";  // a reader is switched off only while settings show
        var page = openPage();
        var popup = findChild(page, "testPopup");
        mouseClick(findChild(page, "testButton_RFID"));
        tryCompare(popup, "opened", true);
        compare(popup.text, "Tap a card");
        fake.cardDetected("04A1B2C3", "DESFire");
        compare(popup.text, "CARD DETECTED\n04A1B2C3\nDESFire");
        compare(fake.cardScan, "OK");
        mouseClick(popup.contentItem);
        tryCompare(popup, "visible", false);
        compare(log, ["enableRfid", "disableRfid"]);
        // Leaving the page stops the periodic check.
        page.StackView.view.pop(null, StackView.Immediate);
        tryVerify(function () { return log.indexOf("stop") >= 0; });
    }
}
