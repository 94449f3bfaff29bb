import QtQuick 2.15
import QtQuick.Controls 2.15
import QtTest 1.15
import "qrc:/qml/screens/settings"
import "qrc:/qml/controls"

// The validator page's status colours and the configuration page's Save rule.
TestCase {
    id: testCase

    name: "ValidatorPages"
    when: windowShown
    // Items under test are created in the test case itself, so it is shown.
    visible: true
    width: 480
    height: 800

    QtObject {
        id: fakeValidator

        property var calls: []
        property string status: "online"
        property string reason: ""
        property QtObject config: QtObject {
            property url obuUrl: "http://10.0.0.1:8080/obc"
            property int passbackSecs: 30
            property bool passbackQrEnabled: false
        }

        function saveConfig() { calls.push("saveConfig"); }
        function refreshConfig() { calls.push("refreshConfig"); }
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
        fakeValidator.calls = [];
        fakeValidator.status = "online";
        fakeValidator.config.obuUrl = "http://10.0.0.1:8080/obc";
        fakeValidator.config.passbackSecs = 30;
        fakeValidator.config.passbackQrEnabled = false;
        manager.shutdownDelaySec = 60;
        manager.showErrorDesc = false;
    }

    function openPage(file) {
        var stack = createTemporaryObject(stackComponent, testCase);
        var page = stack.push(Qt.resolvedUrl("qrc:/qml/screens/settings/" + file),
                              { "validator": fakeValidator }, StackView.Immediate);
        verify(page);
        return page;
    }

    function test_statusColours_data() {
        return [
            { tag: "init", status: "init", colour: Style.warning },
            { tag: "online", status: "online", colour: Style.valid },
            { tag: "degraded", status: "degraded", colour: Style.warning },
            { tag: "out-of-service", status: "out-of-service", colour: Style.warning },
            { tag: "offline", status: "offline", colour: Style.invalid },
            { tag: "empty", status: "", colour: Style.valid }
        ];
    }

    // The same green, amber and red as every other settings page.
    function test_statusColours(data) {
        var page = openPage("Validator.qml");
        fakeValidator.status = data.status;
        for (var name of ["statusRow", "reasonRow"])
            verify(Qt.colorEqual(findChild(page, name).valueColor, data.colour), name);
    }

    // Each control, changed and changed back: Save follows.
    function test_saveOnlyWhileSomethingDiffers_data() {
        return [
            { tag: "OBC URL", control: "urlField",
              change: function (c) { c.text = "http://10.0.0.2:8080/obc"; },
              restore: function (c) { c.text = "http://10.0.0.1:8080/obc"; } },
            { tag: "passback", control: "passbackBox",
              change: function (c) { c.increase(); }, restore: function (c) { c.decrease(); } },
            { tag: "shutdown delay", control: "shutdownDelayBox",
              change: function (c) { c.decrease(); }, restore: function (c) { c.increase(); } },
            { tag: "QR passback", control: "qrSwitch",
              change: function (c) { c.toggle(); }, restore: function (c) { c.toggle(); } },
            { tag: "error description", control: "errorSwitch",
              change: function (c) { c.toggle(); }, restore: function (c) { c.toggle(); } }
        ];
    }

    function test_saveOnlyWhileSomethingDiffers(data) {
        var page = openPage("ValidatorConfig.qml");
        var save = findChild(page, "saveButton");
        var control = findChild(page, data.control);
        verify(!save.enabled);
        data.change(control);
        verify(save.enabled);
        data.restore(control);
        verify(!save.enabled);
    }

    function test_saveWritesAndCloses() {
        var page = openPage("ValidatorConfig.qml");
        var stack = page.StackView.view;
        findChild(page, "urlField").text = "http://192.168.1.20/obc";
        findChild(page, "passbackBox").increase();
        findChild(page, "shutdownDelayBox").increase();
        findChild(page, "errorSwitch").toggle();
        mouseClick(findChild(page, "saveButton"));
        compare(String(fakeValidator.config.obuUrl), "http://192.168.1.20/obc");
        compare(fakeValidator.config.passbackSecs, 31);
        compare(fakeValidator.config.passbackQrEnabled, false);
        compare(fakeValidator.calls, ["saveConfig"]);
        compare(manager.shutdownDelaySec, 65);
        compare(manager.showErrorDesc, true);
        tryCompare(stack, "depth", 1);
    }

    function test_backAsksAgainAndCloses() {
        var page = openPage("ValidatorConfig.qml");
        var stack = page.StackView.view;
        findChild(page, "passbackBox").increase();
        mouseClick(findChild(page, "backButton"));
        compare(fakeValidator.calls, ["refreshConfig"]);
        compare(fakeValidator.config.passbackSecs, 30);
        tryCompare(stack, "depth", 1);
    }
}
