import QtQuick 2.15
import QtQuick.Controls 2.15
import "../../controls"
import "../../controls/settings"

// The hardware self-test: the results the device checks by itself, the tests a
// technician judges (buzzer, LEDs, readers, speaker, light sensor, colours) and
// the report with its QR code. The periodic check runs while the page is open.
Page {
    id: root

    // The objects the tests drive; tests hand in their own.
    property var diagnostics: manager.diagnostics
    property var validator: validatorManager
    property var boardManager: board
    property var inspectorManager: inspector
    // The colour test covers the whole screen; the settings header hides meanwhile.
    readonly property bool fullScreen: rgbPopup.visible

    readonly property var selfTests: [
        { "caption": "RTC", "key": "rtc" },
        { "caption": "Ethernet", "key": "ethernet" },
        { "caption": "USB Hub", "key": "usbHub" },
        { "caption": "USB Host", "key": "usbHost" },
        { "caption": "FTDI", "key": "ftdi" },
        { "caption": "mPCIe #1", "key": "mPCIe1" },
        { "caption": "Touch", "key": "touch" },
        { "caption": "SD Card", "key": "sdCard" },
        { "caption": "Ignition", "key": "ignition" },
        { "caption": "Temperature", "key": "temperature" },
        { "caption": "System Voltage", "key": "voltage" },
        { "caption": "RFID (USB)", "key": "rfidUsb" },
        { "caption": "RFID (Service)", "key": "rfidService" },
        { "caption": "Barcode (USB)", "key": "barcodeUsb" },
        { "caption": "Barcode (Service)", "key": "barcodeService" },
        { "caption": "SAM", "key": "sam" },
        { "caption": "Board", "key": "boardService" }
    ]
    // The technician's tests: the button, the result it writes, its question
    // (a dialog asks Yes or No; a plain popup waits for the device or a tap).
    readonly property var manualTests: [
        { "name": "Buzzer", "key": "buzzer", "prompt": "Can you hear the buzzer?", "dialog": true },
        { "name": "LEDs", "key": "leds", "prompt": "Can you see the LEDs flashing?", "dialog": true },
        { "name": "RFID", "key": "cardScan", "prompt": "Tap a card", "dialog": false },
        { "name": "Barcode", "key": "barcodeScan", "prompt": "Scan a barcode", "dialog": false },
        { "name": "Speaker", "key": "speaker", "prompt": "Can you hear the internal speaker?", "dialog": true },
        { "name": "Sensor", "key": "lightSensor", "prompt": "Is LCD brightness adjusting?", "dialog": true },
        { "name": "RGB", "key": "rgbTest", "prompt": "Was the RGB test successful?", "dialog": true }
    ]
    // The card read during the RFID test, or empty.
    property string cardText: ""

    function testNamed(name) {
        for (var i = 0; i < root.manualTests.length; ++i) {
            if (root.manualTests[i].name === name)
                return root.manualTests[i];
        }
        return null;
    }

    function runTest(name) {
        if (name === "FINISH") {
            root.diagnostics.saveReport();
        } else if (name === "RGB") {
            rgbPopup.step = 0;
            rgbPopup.open();
        } else {
            testPopup.test = root.testNamed(name);
            testPopup.open();
        }
    }

    // What the device does while a test's popup is open.
    function testOpened(test) {
        switch (test.name) {
        case "Buzzer":
            root.boardManager.playBuzzer(100, 200, 3);
            break;
        case "LEDs":
            root.boardManager.setLedTestPattern();
            break;
        case "RFID":
            root.cardText = "";
            root.validator.enableRfid();
            break;
        case "Barcode":
            root.validator.enableBarcode();
            break;
        case "Speaker":
            root.inspectorManager.audioPlay(manager.validSound);
            break;
        case "Sensor":
            root.boardManager.monitor(2000);
            break;
        }
    }

    // A reader test that ends because the settings area went away leaves the
    // readers to the passenger screen's choice, already made by then.
    function testClosed(test) {
        var settingsShown = manager.screen === "Settings";
        switch (test.name) {
        case "LEDs":
            root.boardManager.setLedOff();
            break;
        case "RFID":
            if (settingsShown)
                root.validator.disableRfid();
            break;
        case "Barcode":
            if (settingsShown)
                root.validator.disableBarcode();
            break;
        case "Sensor":
            root.boardManager.monitor(0);
            break;
        }
    }

    function popupText(test) {
        if (!test)
            return "";
        if (test.name === "RFID" && root.cardText !== "")
            return root.cardText;
        if (test.name === "Sensor")
            return test.prompt + "\nBrightness : " + root.boardManager.displayBrightness + "%"
                    + "\nLight Sensor : " + root.boardManager.ambientLightSensor + "%";
        return test.prompt;
    }

    function closePage() {
        if (root.StackView.view)
            root.StackView.view.pop();
    }

    Component.onCompleted: root.diagnostics.start()
    Component.onDestruction: {
        // A test left open when the page goes still switches its device back.
        if (testPopup.opened && testPopup.test)
            root.testClosed(testPopup.test);
        root.diagnostics.stop();
    }

    Connections {
        target: root.validator
        ignoreUnknownSignals: true

        function onCardDetected(uid, type) {
            if (!testPopup.opened || testPopup.test.name !== "RFID")
                return;
            root.cardText = "CARD DETECTED\n" + uid + "\n" + type;
            root.diagnostics.cardScan = "OK";
        }

        function onCardRemoved() {
            root.cardText = "";
        }

        function onTicketValidated() {
            if (!testPopup.opened || testPopup.test.name !== "Barcode")
                return;
            root.diagnostics.barcodeScan = "OK";
            testPopup.close();
        }
    }

    Connections {
        target: root.diagnostics
        ignoreUnknownSignals: true

        function onSaveReportFinished(result, message) {
            reportPopup.saved = result;
            reportPopup.text = message;
            reportPopup.imageSource = result ? root.diagnostics.generateQr() : "";
            reportPopup.open();
        }
    }

    Flickable {
        anchors.fill: parent
        contentWidth: width
        contentHeight: content.height + 20
        clip: true

        ScrollIndicator.vertical: ScrollIndicator {}

        Column {
            id: content

            y: 10
            width: parent.width * 0.8
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 10

            GroupBox {
                width: parent.width
                title: manager.dynTr + qsTr("Self Tests")

                Column {
                    width: parent.width

                    Repeater {
                        model: root.selfTests

                        InfoRow {
                            objectName: "selfTest_" + modelData.key
                            width: parent.width
                            implicitHeight: 22
                            caption: modelData.caption
                            value: root.diagnostics[modelData.key]
                            valueColor: Style.testResultColor(root.diagnostics[modelData.key])
                        }
                    }
                }
            }

            Grid {
                id: buttons

                width: parent.width
                columns: 3
                spacing: 8

                Repeater {
                    model: root.manualTests.concat([{ "name": "FINISH", "key": "" }])

                    CustomButton {
                        objectName: "testButton_" + modelData.name
                        width: (buttons.width - 2 * buttons.spacing) / 3
                        height: 56
                        radius: 4
                        flat: true
                        text: modelData.name
                        textBold: modelData.name === "FINISH"
                        textColor: "white"
                        color: modelData.key === "" ? Style.accent
                                                    : Style.testResultColor(root.diagnostics[modelData.key])
                        onClicked: root.runTest(modelData.name)
                    }
                }
            }
        }
    }

    CustomPopup {
        id: testPopup

        property var test: null

        objectName: "testPopup"
        isDialog: testPopup.test !== null && testPopup.test.dialog
        text: root.popupText(testPopup.test)
        onOpened: root.testOpened(testPopup.test)
        onClosed: root.testClosed(testPopup.test)
        onButtonYesPressed: root.diagnostics[testPopup.test.key] = "OK"
        onButtonNoPressed: root.diagnostics[testPopup.test.key] = "ERROR"
    }

    // Red, green, blue over the whole screen, one tap each; the tap on blue ends
    // the test and asks how it went.
    Popup {
        id: rgbPopup

        property int step: 0

        objectName: "rgbPopup"
        parent: Overlay.overlay
        x: 0
        y: 0
        width: parent ? parent.width : 0
        height: parent ? parent.height : 0
        padding: 0
        modal: true
        closePolicy: Popup.NoAutoClose
        background: Rectangle {
            color: ["red", "green", "blue"][rgbPopup.step]
        }
        contentItem: MouseArea {
            objectName: "rgbArea"
            onClicked: {
                if (rgbPopup.step < 2)
                    rgbPopup.step += 1;
                else
                    rgbPopup.close();
            }
        }
        onClosed: {
            testPopup.test = root.testNamed("RGB");
            testPopup.open();
        }
    }

    // The saved report's path and, when it was saved, its QR code; closing it
    // after a successful save leaves the page.
    CustomPopup {
        id: reportPopup

        property bool saved: false

        objectName: "reportPopup"
        onClosed: {
            if (reportPopup.saved)
                root.closePage();
        }
    }
}
