import QtQuick 2.15
import QtQuick.Controls 2.15
import QtTest 1.15
import "qrc:/qml/screens/settings"
import "qrc:/qml/controls"

// The diagnostics page: the periodic check while open, the technician's tests
// and what each one asks of the devices, and the report with its QR code.
TestCase {
    id: testCase

    name: "DiagnosticsPage"
    when: windowShown
    // Items under test are created in the test case itself, so it is shown.
    visible: true
    width: 480
    height: 800

    // Every call the page makes on the fakes, in order.
    property var log: []
    // A QR drawing as the report's code comes: SVG text after the data prefix,
    // with '#' in its colours.
    readonly property string qrSvg: '<?xml version="1.0" encoding="UTF-8"?><!DOCTYPE svg PUBLIC '
        + '"-//W3C//DTD SVG 1.1//EN" "http://www.w3.org/Graphics/SVG/1.1/DTD/svg11.dtd">'
        + '<svg xmlns="http://www.w3.org/2000/svg" version="1.1" viewBox="0 0 5 5" stroke="none">'
        + '<rect width="100%" height="100%" fill="#FFFFFF"/><path d="M1,1h1v1h-1z M3,3h1v1h-1z" '
        + 'fill="#000000"/></svg>'

    QtObject {
        id: fakeDiagnostics

        property bool saves: true
        property string rtc: "OK"
        property string usbHub: "MISSING"
        property string buzzer: ""
        property string leds: ""
        property string cardScan: ""
        property string barcodeScan: ""
        property string speaker: ""
        property string lightSensor: ""
        property string rgbTest: ""

        signal saveReportFinished(bool result, string message)

        function start() { testCase.log.push("start"); }
        function stop() { testCase.log.push("stop"); }
        function saveReport() {
            if (saves)
                saveReportFinished(true, "Test report saved successfully:\n./TestReport_20260102_0304.txt");
            else
                saveReportFinished(false, "Could not save Test Report\nERROR: Permission denied");
        }
        function generateQr() { return "data:image/svg," + testCase.qrSvg; }
    }

    QtObject {
        id: fakeValidator

        signal cardDetected(string uid, string type)
        signal cardRemoved()
        signal ticketValidated()

        function enableRfid() { testCase.log.push("enableRfid"); }
        function disableRfid() { testCase.log.push("disableRfid"); }
        function enableBarcode() { testCase.log.push("enableBarcode"); }
        function disableBarcode() { testCase.log.push("disableBarcode"); }
    }

    QtObject {
        id: fakeBoard

        property int displayBrightness: 40
        property int ambientLightSensor: 55

        function playBuzzer(on, off, repeat) { testCase.log.push("playBuzzer:" + [on, off, repeat]); }
        function setLedTestPattern() { testCase.log.push("setLedTestPattern"); }
        function setLedOff() { testCase.log.push("setLedOff"); }
        function monitor(msec) { testCase.log.push("monitor:" + msec); }
    }

    QtObject {
        id: fakeInspector

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

    function init() {
        manager.screen = "Settings";
        for (var key of ["buzzer", "leds", "cardScan", "barcodeScan", "speaker", "lightSensor", "rgbTest"])
            fakeDiagnostics[key] = "";
        fakeDiagnostics.saves = true;
        fakeBoard.displayBrightness = 40;
        // The last test's page goes at the next deferred deletion, with its "stop".
        wait(0);
        testCase.log = [];
    }

    function openPage() {
        var stack = createTemporaryObject(stackComponent, testCase);
        var page = stack.push("qrc:/qml/screens/settings/Diagnostics.qml",
                              { "diagnostics": fakeDiagnostics, "validator": fakeValidator,
                                "boardManager": fakeBoard, "inspectorManager": fakeInspector },
                              StackView.Immediate);
        verify(page);
        // Lay the page out before clicking on it.
        waitForRendering(page);
        compare(testCase.log, ["start"]);
        testCase.log = [];
        return page;
    }

    function findImage(item) {
        for (var i = 0; i < item.children.length; ++i) {
            var child = item.children[i];
            if (child.status !== undefined && child.sourceSize !== undefined)
                return child;
            var found = findImage(child);
            if (found)
                return found;
        }
        return null;
    }

    function answer(popup, button) {
        mouseClick(findChild(popup.contentItem, button));
        tryCompare(popup, "visible", false);
    }

    function test_resultColours_data() {
        return [
            { tag: "not run", value: "", colour: Style.neutral },
            { tag: "OK", value: "OK", colour: Style.valid },
            { tag: "ERROR", value: "ERROR", colour: Style.invalid },
            { tag: "MISSING", value: "MISSING", colour: Style.warning },
            { tag: "lower-case ok", value: "ok", colour: Style.warning }
        ];
    }

    // The same green, amber and red as every other settings page.
    function test_resultColours(data) {
        var page = openPage();
        fakeDiagnostics.buzzer = data.value;
        verify(Qt.colorEqual(findChild(page, "testButton_Buzzer").color, data.colour));
        fakeDiagnostics.rtc = data.value;
        verify(Qt.colorEqual(findChild(page, "selfTest_rtc").valueColor, data.colour));
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
        verify(popup.isDialog);
        compare(popup.text, data.text);
        compare(log, data.calls.slice(0, 1));
        answer(popup, data.answer);
        compare(log, data.calls);
        compare(fakeDiagnostics[data.key], data.result);
    }

    function test_sensorValuesLive() {
        var page = openPage();
        var popup = findChild(page, "testPopup");
        mouseClick(findChild(page, "testButton_Sensor"));
        tryCompare(popup, "opened", true);
        fakeBoard.displayBrightness = 75;
        compare(popup.text, "Is LCD brightness adjusting?\nBrightness : 75%\nLight Sensor : 55%");
    }

    function test_cardTest() {
        var page = openPage();
        var popup = findChild(page, "testPopup");
        mouseClick(findChild(page, "testButton_RFID"));
        tryCompare(popup, "opened", true);
        verify(!popup.isDialog);
        compare(popup.text, "Tap a card");
        compare(log, ["enableRfid"]);

        fakeValidator.cardDetected("04A1B2C3", "DESFire");
        compare(popup.text, "CARD DETECTED\n04A1B2C3\nDESFire");
        compare(fakeDiagnostics.cardScan, "OK");
        fakeValidator.cardRemoved();
        compare(popup.text, "Tap a card");

        mouseClick(popup.contentItem);
        tryCompare(popup, "visible", false);
        compare(log, ["enableRfid", "disableRfid"]);
        // A card after the test is over changes nothing.
        fakeDiagnostics.cardScan = "";
        fakeValidator.cardDetected("04A1B2C3", "DESFire");
        compare(fakeDiagnostics.cardScan, "");
    }

    function test_barcodeTest() {
        var page = openPage();
        var popup = findChild(page, "testPopup");
        mouseClick(findChild(page, "testButton_Barcode"));
        tryCompare(popup, "opened", true);
        compare(popup.text, "Scan a barcode");
        compare(log, ["enableBarcode"]);
        fakeValidator.ticketValidated();
        compare(fakeDiagnostics.barcodeScan, "OK");
        tryCompare(popup, "visible", false);
        compare(log, ["enableBarcode", "disableBarcode"]);
    }

    function test_colourTest() {
        var page = openPage();
        var rgb = findChild(page, "rgbPopup");
        mouseClick(findChild(page, "testButton_RGB"));
        tryCompare(rgb, "opened", true);
        verify(page.fullScreen);
        for (var colour of ["red", "green", "blue"]) {
            verify(Qt.colorEqual(rgb.background.color, colour), colour);
            mouseClick(rgb.contentItem);
        }
        tryCompare(rgb, "visible", false);
        verify(!page.fullScreen);
        var popup = findChild(page, "testPopup");
        tryCompare(popup, "opened", true);
        compare(popup.text, "Was the RGB test successful?");
        answer(popup, "yesButton");
        compare(fakeDiagnostics.rgbTest, "OK");
    }

    // Leaving the page stops the check, and a test left open switches its device back.
    function test_leavingStopsEverything() {
        var page = openPage();
        var stack = page.StackView.view;
        mouseClick(findChild(page, "testButton_LEDs"));
        tryCompare(findChild(page, "testPopup"), "opened", true);
        stack.pop(null, StackView.Immediate);
        tryVerify(function () { return log.indexOf("stop") >= 0; });
        compare(log, ["setLedTestPattern", "setLedOff", "stop"]);
    }

    // A saved report shows its QR code, which really loads; closing it leaves the page.
    function test_reportSaved() {
        var page = openPage();
        var stack = page.StackView.view;
        var popup = findChild(page, "reportPopup");
        mouseClick(findChild(page, "testButton_FINISH"));
        tryCompare(popup, "opened", true);
        compare(popup.text, "Test report saved successfully:\n./TestReport_20260102_0304.txt");
        compare(popup.imageSource, "data:image/svg," + qrSvg);
        var image = findImage(popup.contentItem);
        verify(image);
        tryCompare(image, "status", Image.Ready);
        compare(image.sourceSize, Qt.size(5, 5));
        mouseClick(popup.contentItem);
        tryCompare(stack, "depth", 1);
    }

    function test_reportFailed() {
        fakeDiagnostics.saves = false;
        var page = openPage();
        var stack = page.StackView.view;
        var popup = findChild(page, "reportPopup");
        mouseClick(findChild(page, "testButton_FINISH"));
        tryCompare(popup, "opened", true);
        compare(popup.text, "Could not save Test Report\nERROR: Permission denied");
        compare(popup.imageSource, "");
        mouseClick(popup.contentItem);
        tryCompare(popup, "visible", false);
        compare(stack.depth, 2);
    }
}
