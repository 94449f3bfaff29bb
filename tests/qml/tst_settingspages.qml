import QtQuick 2.15
import QtQuick.Controls 2.15
import QtTest 1.15
import com.zorv.network.ipv4 1.0
import "qrc:/qml/controls"

// The settings pages as the settings shell shows them: pushed onto a StackView.
// The services they reach by their context names (manager, board, network,
// eventLogManager) are the stand-ins below, which take precedence over the
// runner's for everything created in this file; the IPv4 records, and so the
// address rule, are the program's own.
TestCase {
    id: testCase

    property var calls: []

    function record(call) {
        calls.push(call);
    }

    function open(name) {
        var stack = createTemporaryObject(stackComponent, testCase);
        stack.push("qrc:/qml/screens/settings/" + name + ".qml", {}, StackView.Immediate);
        verify(stack.currentItem, name);
        return stack;
    }

    function colourName(color) {
        var names = ["valid", "warning", "invalid", "foreground"];
        for (var i = 0; i < names.length; ++i) {
            if (Qt.colorEqual(color, Style[names[i]]))
                return names[i];
        }
        return String(color);
    }

    function sectionTexts(item) {
        var texts = [];
        for (var i = 0; i < item.children.length; ++i) {
            var child = item.children[i];
            if (child.objectName === "sectionLabel" && child.visible)
                texts.push(child.text);
            texts = texts.concat(sectionTexts(child));
        }
        return texts;
    }

    function init() {
        calls = [];
        var ethernet = network.ethernet;
        ethernet.method = "manual";
        ethernet.saves = 0;
        ethernet.config.address = "";
        ethernet.config.mask = "";
        ethernet.config.gateway = "";
        ethernet.config.dns0 = "";
        ethernet.config.dns1 = "";
    }

    // Save in "manual" mode stops at the first broken rule, in this order: empty
    // address, empty netmask, then the address rule on each field in turn.
    function test_ethernetSave_data() {
        var mask = "255.255.255.0";
        var failing = "IPv4 address is not a valid IP address";
        return [
            { tag: "empty address", fields: ["", mask, "", "", ""],
              message: "IPv4 address cannot be empty in 'manual' mode" },
            { tag: "empty address and netmask", fields: ["", "", "", "", ""],
              message: "IPv4 address cannot be empty in 'manual' mode" },
            { tag: "empty netmask before a bad address", fields: ["10.0.0.256", "", "", "", ""],
              message: "IPv4 netmask cannot be empty in 'manual' mode" },
            { tag: "address above 255", fields: ["10.0.0.256", mask, "", "", ""],
              message: failing },
            { tag: "address with a leading zero", fields: ["10.0.0.02", mask, "", "", ""],
              message: failing },
            { tag: "netmask of three numbers", fields: ["10.0.0.2", "255.255.255", "", "", ""],
              message: "IPv4 netmask is not a valid IP address" },
            { tag: "gateway with a trailing dot", fields: ["10.0.0.2", mask, "10.0.0.1.", "", ""],
              message: "IPv4 gateway is not a valid IP address" },
            { tag: "gateway before DNS", fields: ["10.0.0.2", mask, "a", "", "b"],
              message: "IPv4 gateway is not a valid IP address" },
            { tag: "DNS #0 of five numbers", fields: ["10.0.0.2", mask, "", "8.8.8.8.8", ""],
              message: "IPv4 DNS #0 is not a valid IP address" },
            { tag: "DNS #1 with a leading zero", fields: ["10.0.0.2", mask, "", "", "01.1.1.1"],
              message: "IPv4 DNS #1 is not a valid IP address" },
            { tag: "empty gateway and DNS pass", fields: ["10.0.0.2", mask, "", "", ""],
              message: "" },
            { tag: "all filled", fields: ["192.168.1.20", mask, "192.168.1.1", "1.1.1.1", "8.8.4.4"],
              message: "" },
            { tag: "auto checks nothing", method: "auto", fields: ["", "", "x", "", ""],
              message: "" }
        ];
    }

    function test_ethernetSave(data) {
        var ethernet = network.ethernet;
        ethernet.method = data.method || "manual";
        var stack = open("EthernetConfig");
        var page = stack.currentItem;
        var names = ["addressField", "maskField", "gatewayField", "dns0Field", "dns1Field"];
        for (var i = 0; i < names.length; ++i) {
            var field = findChild(page, names[i]);
            compare(field.enabled, ethernet.method === "manual", names[i]);
            field.text = data.fields[i];
        }
        mouseClick(findChild(page, "saveButton"));
        var popup = findChild(page, "messagePopup");
        if (data.message !== "") {
            tryCompare(popup, "opened", true);
            compare(popup.text, data.message);
            compare(ethernet.saves, 0);
            compare(ethernet.config.address, "");
            compare(stack.currentItem, page);
            return;
        }
        compare(popup.opened, false);
        compare(ethernet.saves, 1);
        compare([ethernet.config.address, ethernet.config.mask, ethernet.config.gateway,
                 ethernet.config.dns0, ethernet.config.dns1], data.fields);
        compare(stack.depth, 1);
    }

    function test_ethernetFieldTurnsRedOnARefusedAddress() {
        var page = open("EthernetConfig").currentItem;
        var field = findChild(page, "gatewayField");
        field.text = "192.168.001.1";
        field.editingFinished();
        compare(colourName(field.color), "invalid");
        field.text = "";
        field.editingFinished();
        compare(colourName(field.color), "foreground");
    }

    function test_ethernetBackSavesNothing() {
        var stack = open("EthernetConfig");
        findChild(stack.currentItem, "addressField").text = "10.0.0.9";
        mouseClick(findChild(stack.currentItem, "backButton"));
        compare(stack.depth, 1);
        compare(network.ethernet.saves, 0);
        compare(network.ethernet.config.address, "");
    }

    function test_networkColours_data() {
        return [
            { tag: "connected, full", state: "Connected", connectivity: "Full",
              stateColour: "valid", connectivityColour: "valid" },
            { tag: "disconnected, none", state: "Disconnected", connectivity: "None",
              stateColour: "invalid", connectivityColour: "invalid" },
            { tag: "connecting, portal", state: "Connecting", connectivity: "Portal",
              stateColour: "warning", connectivityColour: "warning" },
            { tag: "nothing reported, limited", state: "", connectivity: "Limited",
              stateColour: "warning", connectivityColour: "warning" },
            { tag: "other case, nothing reported", state: "connected", connectivity: "",
              stateColour: "warning", connectivityColour: "invalid" }
        ];
    }

    function test_networkColours(data) {
        network.connectionState = data.state;
        network.connectivity = data.connectivity;
        network.ethernet.state = data.state;
        var page = open("Network").currentItem;
        var rows = { "connectionStateRow": data.stateColour,
                     "ethernetStateRow": data.stateColour,
                     "connectivityRow": data.connectivityColour };
        for (var name in rows)
            compare(colourName(findChild(page, name).valueColor), rows[name], name);
    }

    function test_networkConfigureOpensTheEthernetPage() {
        var stack = open("Network");
        var tab = findChild(stack.currentItem, "ethernetTab");
        mouseClick(tab);
        var button = findChild(stack.currentItem, "configureButton");
        tryVerify(function() { return button.visible && button.mapToItem(testCase, 0, 0).x < 480; });
        mouseClick(button);
        tryCompare(stack, "depth", 3);
        compare(stack.currentItem.title, "Ethernet Configuration");
    }

    function test_update_data() {
        return [
            { tag: "Disconnected", install: false, colour: "invalid" },
            { tag: "Checking for updates", install: false, colour: "foreground" },
            { tag: "No pending updates", install: false, colour: "foreground" },
            { tag: "Ready to install", install: true, colour: "valid" },
            { tag: "Downloading", install: false, colour: "warning" },
            { tag: "Installing", install: false, colour: "warning" },
            { tag: "ready to install", install: false, colour: "foreground" }
        ];
    }

    function test_update(data) {
        manager.update.status = data.tag;
        var page = open("Update").currentItem;
        var install = findChild(page, "installButton");
        compare(install.enabled, data.install);
        compare(colourName(findChild(page, "statusRow").valueColor), data.colour);
        mouseClick(install);
        mouseClick(findChild(page, "checkButton"));
        compare(calls, data.install ? ["update.install", "update.check"] : ["update.check"]);
    }

    function test_updateVersions() {
        manager.update.current = "";
        manager.update.pending = "2.4.1";
        var page = open("Update").currentItem;
        compare(findChild(page, "currentRow").value, "None");
        compare(findChild(page, "pendingRow").value, "2.4.1");
        manager.update.current = "2.4.0";
        manager.update.pending = "";
        compare(findChild(page, "currentRow").value, "2.4.0");
        compare(findChild(page, "pendingRow").value, "None");
    }

    // Rows get the day of their time and sit under one header per day; a time
    // that could not be read goes under its own header.
    function test_eventLogSections() {
        eventLogManager.data = [
            { name: "Ignition on", description: "", timestamp: new Date(2026, 11, 6, 9, 30) },
            { name: "Login", description: "Technician 1", timestamp: new Date(2026, 11, 6, 8, 5) },
            { name: "Application started", description: "",
              timestamp: new Date(2026, 11, 5, 23, 59) },
            { name: "Ignition off", description: "", timestamp: new Date(NaN) }
        ];
        var page = open("EventLog").currentItem;
        compare(calls, ["eventLog.applyFilter:", "eventLog.applyFilterPeriod:All history"]);
        var list = findChild(page, "eventList");
        tryCompare(list, "count", 4);
        var expected = [["Sunday, 6 December 2026", "06-Dec-26 09:30"],
                        ["Sunday, 6 December 2026", "06-Dec-26 08:05"],
                        ["Saturday, 5 December 2026", "05-Dec-26 23:59"],
                        ["Unknown date", ""]];
        for (var i = 0; i < expected.length; ++i) {
            compare(list.model.get(i).date, expected[i][0], "row " + i);
            compare(list.model.get(i).time, expected[i][1], "row " + i);
        }
        tryVerify(function() { return sectionTexts(list.contentItem).length === 3; });
        compare(sectionTexts(list.contentItem).sort(),
                ["Saturday, 5 December 2026", "Sunday, 6 December 2026", "Unknown date"]);

        // A new view from the log replaces the rows.
        eventLogManager.data = [
            { name: "Logout", description: "", timestamp: new Date(2026, 11, 7, 7, 0) }
        ];
        tryCompare(list, "count", 1);
        compare(list.model.get(0).date, "Monday, 7 December 2026");
    }

    function test_eventLogRowShrinksWhilePressedAndStillExpands() {
        eventLogManager.data = [
            { name: "Ignition on", description: "Board", timestamp: new Date(2026, 11, 6, 9, 30) }
        ];
        var list = findChild(open("EventLog").currentItem, "eventList");
        var row;
        tryVerify(function() { row = list.itemAtIndex(0); return row !== null; });
        mousePress(row, 100, 10);
        compare(row.scale, 0.95);
        mouseRelease(row, 100, 10);
        tryCompare(row, "scale", 1.0);
        verify(row.expanded);
    }

    function test_eventLogSearch() {
        eventLogManager.data = [];
        var page = open("EventLog").currentItem;
        calls = [];
        var field = findChild(page, "searchField");
        // The filter follows a short pause in typing.
        field.text = "i";
        field.text = "ign";
        compare(calls, []);
        tryCompare(testCase, "calls", ["eventLog.applyFilter:ign"]);
        mouseClick(findChild(page, "clearButton"));
        compare(field.text, "");
        compare(calls, ["eventLog.applyFilter:ign", "eventLog.applyFilter:"]);
        verify(!findChild(page, "severityBox").enabled);
        compare(findChild(page, "severityBox").currentText, "All messages");
    }

    function test_displayMonitorsTheBoardWhileOpen() {
        var stack = open("Display");
        compare(calls, ["board.monitor:1000"]);
        stack.pop(StackView.Immediate);
        tryCompare(testCase, "calls", ["board.monitor:1000", "board.monitor:0"]);
    }

    // Releasing the volume slider plays the sample sound, then sets the level.
    function test_audioVolumeRelease() {
        var page = open("Audio").currentItem;
        var slider = findChild(page, "volumeSlider");
        compare(slider.value, 30);
        mousePress(slider, slider.width * 0.75, slider.height / 2);
        mouseRelease(slider, slider.width * 0.75, slider.height / 2);
        var level = Math.round(slider.value);
        verify(level > 60 && level < 90, level);
        compare(calls, ["inspector.audioPlay:/opt/zorv/quellan/Valid.wav",
                        "inspector.setAudioVolume:" + level]);
    }

    name: "SettingsPages"
    when: windowShown
    // Pages are created in the test case itself, so it is shown.
    visible: true
    width: 480
    height: 800

    Component {
        id: stackComponent

        StackView {
            width: 480
            height: 680
            initialItem: Item {}
        }
    }

    QtObject {
        id: manager

        property string dynTr: ""
        property string language: "en_IE"
        property bool showCursor: false
        property int displayOffMin: 5
        property QtObject update: QtObject {
            property string status: "Disconnected"
            property string current: "2.4.0"
            property string pending: ""
            property string progressMessage: "Idle"
            property int progressPercent: 0

            function check() { testCase.record("update.check"); }
            function install() { testCase.record("update.install"); }
        }
        property QtObject clock: QtObject {
            property var timezones: ["Europe/Athens", "Europe/Dublin"]
            property string timezone: "Europe/Athens"
            property string ntpServer: "pool.ntp.org"
            property bool ntpEnabled: true
            property bool ntpSynced: true

            function refresh() { testCase.record("clock.refresh"); }
            function ntpSync() { testCase.record("clock.ntpSync"); }
        }
    }

    QtObject {
        id: board

        property bool audioEnabled: true
        property int displayBrightness: 40
        property string displayBrightnessMode: "auto"
        property int ambientLightSensor: 12

        function monitor(msec) { testCase.record("board.monitor:" + msec); }
        function setAudioEnabled(value) { testCase.record("board.setAudioEnabled:" + value); }
        function setDisplayBrightness(value) { testCase.record("board.setDisplayBrightness:" + value); }
        function setDisplayBrightnessMode(mode) { testCase.record("board.setDisplayBrightnessMode:" + mode); }
    }

    QtObject {
        id: inspector

        property int audioVolume: 30

        function audioPlay(file) { testCase.record("inspector.audioPlay:" + file); }
        function setAudioVolume(value) { testCase.record("inspector.setAudioVolume:" + value); }
    }

    // "interface" cannot be declared as a QML property: the connection records
    // are plain objects, read when a page opens.
    QtObject {
        id: network

        property string connectionState: "Connected"
        property string connectivity: "Full"
        property string hostname: "validator-17"
        property var primaryConnection: ({
            "type": "802-3-ethernet",
            "interface": "eth0",
            "ipv4": primaryIpv4
        })
        property var ethernet: ({
            "interface": "eth0",
            "type": "ethernet",
            "state": "Connected",
            "reason": "",
            "mac": "00:11:22:33:44:55",
            "method": "manual",
            "ipv4": ethernetIpv4,
            "config": ethernetConfig,
            "saves": 0,
            "save": function() { this.saves += 1; }
        })
        property IPv4 primaryIpv4: IPv4 {
            address: "10.0.0.2"
        }
        property IPv4 ethernetIpv4: IPv4 {}
        property IPv4 ethernetConfig: IPv4 {}
    }

    QtObject {
        id: eventLogManager

        property var data: []

        function applyFilter(text) { testCase.record("eventLog.applyFilter:" + text); }
        function applyFilterPeriod(period) { testCase.record("eventLog.applyFilterPeriod:" + period); }
    }
}
