import QtQuick 2.15
import QtQuick.Controls 2.15
import QtTest 1.15
import "qrc:/qml/screens/settings"

// The settings area: menu navigation, the header's commands, the maintenance
// barcode popup, and the fresh start on every visit.
TestCase {
    id: testCase

    name: "SettingsShell"
    when: windowShown
    // Items under test are created in the test case itself, so it is shown.
    visible: true
    width: 480
    height: 800

    QtObject {
        id: fakeValidator

        property var calls: []

        function enableBarcode() { calls.push("enableBarcode"); }
        function disableBarcode() { calls.push("disableBarcode"); }
    }

    Component {
        id: titledPage

        Page {
            title: "Ethernet Configuration"
        }
    }

    Component {
        id: shellComponent

        Main {
            width: 480
            height: 800
            validator: fakeValidator
        }
    }

    function init() {
        manager.screen = "Settings";
        manager.clearCalls();
        fakeValidator.calls = [];
    }

    function openShell() {
        var shell = createTemporaryObject(shellComponent, testCase);
        verify(shell);
        return shell;
    }

    function stack(shell) {
        return findChild(shell, "settingsStack");
    }

    function title(shell) {
        return findChild(shell, "headerTitle").text;
    }

    function row(shell, index) {
        return findChild(stack(shell), "menuRow" + index);
    }

    function triggerMenuItem(shell, name) {
        var menu = findChild(shell, "headerMenu");
        mouseClick(findChild(shell, "menuButton"));
        tryCompare(menu, "opened", true);
        var item = findChild(menu, name);
        verify(item, name);
        mouseClick(item);
        tryCompare(menu, "visible", false);
    }

    function test_openAndBack() {
        var shell = openShell();
        compare(title(shell), "Settings");
        verify(!findChild(shell, "backButton").visible);

        mouseClick(row(shell, 0));
        compare(stack(shell).depth, 2);
        compare(title(shell), "Validator");
        verify(findChild(shell, "backButton").visible);

        // A page opened from the page brings its own title.
        stack(shell).push(titledPage, {}, StackView.Immediate);
        compare(title(shell), "Ethernet Configuration");
        mouseClick(findChild(shell, "backButton"));
        tryCompare(stack(shell), "busy", false);
        compare(title(shell), "Validator");

        mouseClick(findChild(shell, "backButton"));
        tryCompare(stack(shell), "busy", false);
        compare(stack(shell).depth, 1);
        compare(title(shell), "Settings");
        verify(!findChild(shell, "backButton").visible);
    }

    // A second tap, while the first page slides in or once it is open, opens nothing.
    function test_secondTapDoesNothing() {
        var shell = openShell();
        var diagnosticsRow = row(shell, 1);
        mouseClick(row(shell, 0));
        mouseClick(diagnosticsRow);
        tryCompare(stack(shell), "busy", false);
        diagnosticsRow.clicked();
        compare(stack(shell).depth, 2);
        compare(title(shell), "Validator");
    }

    // Leaving the settings screen and coming back shows the menu with nothing open.
    function test_reenteringShowsTheMenu() {
        var shell = openShell();
        mouseClick(row(shell, 0));
        tryCompare(stack(shell), "busy", false);
        triggerMenuItem(shell, "scanConfigItem");
        var popup = findChild(shell, "configPopup");
        tryCompare(popup, "opened", true);
        compare(popup.text, "Scan Configuration QR code");
        compare(fakeValidator.calls, ["enableBarcode"]);

        // The reader is left to the passenger screen that took over.
        manager.screen = "ScanScreens";
        shell.visible = false;
        tryCompare(popup, "visible", false);
        compare(fakeValidator.calls, ["enableBarcode"]);
        manager.screen = "Settings";
        shell.visible = true;
        compare(stack(shell).depth, 1);
        compare(title(shell), "Settings");
        mouseClick(row(shell, 0));
        compare(stack(shell).depth, 2);
    }

    // The keyboard slides up over the page for a field, and leaving the settings
    // screen puts it away.
    function test_keyboard() {
        var shell = openShell();
        var keyboard = findChild(shell, "keyboard");
        mouseClick(row(shell, 0));
        tryCompare(stack(shell), "busy", false);
        mouseClick(findChild(stack(shell).currentItem, "configureButton"));
        tryCompare(stack(shell), "busy", false);
        compare(keyboard.y, shell.height);
        mouseClick(findChild(stack(shell).currentItem, "urlField"));
        tryCompare(keyboard, "y", shell.height - 250, 3000);

        shell.visible = false;
        tryVerify(function () { return !Qt.inputMethod.visible; }, 3000);
        shell.visible = true;
        tryCompare(keyboard, "y", shell.height, 3000);
        compare(stack(shell).depth, 1);
    }

    function test_configurationApplied() {
        var shell = openShell();
        var popup = findChild(shell, "configPopup");
        manager.barcodeConfigurationApplied(["OBC : http://10.0.0.1:8080", "Method : auto"]);
        tryCompare(popup, "opened", true);
        compare(popup.text, "CONFIGURATION APPLIED\nOBC : http://10.0.0.1:8080\nMethod : auto");
        verify(!popup.isDialog);
        mouseClick(popup.contentItem);
        tryCompare(popup, "visible", false);
        compare(fakeValidator.calls, ["enableBarcode", "disableBarcode"]);
    }

    function test_commands_data() {
        return [
            { tag: "restart, yes", item: "restartItem", answer: "yesButton", calls: ["exitRequest"] },
            { tag: "reboot, yes", item: "rebootItem", answer: "yesButton", calls: ["rebootRequest"] },
            { tag: "shutdown, yes", item: "shutdownItem", answer: "yesButton", calls: ["shutdownRequest"] },
            { tag: "shutdown, no", item: "shutdownItem", answer: "noButton", calls: [] }
        ];
    }

    function test_commands(data) {
        var shell = openShell();
        triggerMenuItem(shell, data.item);
        var dialog = findChild(shell, "confirmDialog");
        tryCompare(dialog, "opened", true);
        compare(dialog.text, "Are you sure?");
        compare(manager.calls(), []);
        mouseClick(findChild(dialog.contentItem, data.answer));
        tryCompare(dialog, "visible", false);
        compare(manager.calls(), data.calls);
    }

    function test_logout() {
        var shell = openShell();
        triggerMenuItem(shell, "logoutItem");
        compare(manager.calls(), ["settingsLogoutRequest"]);
    }
}
