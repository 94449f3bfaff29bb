import QtQuick 2.15
import QtTest 1.15
import "qrc:/qml/screens/settings"

// The settings PIN entry: typing on the pad, the refused and the accepted PIN.
TestCase {
    id: testCase

    name: "Login"
    when: windowShown
    // Items under test are created in the test case itself, so it is shown.
    visible: true
    width: 480
    height: 800

    Component {
        id: loginComponent

        Login {
            width: 480
            height: 800
        }
    }

    function init() {
        manager.clearCalls();
        manager.language = "en_IE";
        manager.screen = "Login";
    }

    function press(page, labels) {
        var pad = findChild(page, "numberPad");
        for (var i = 0; i < labels.length; ++i)
            mouseClick(pad.keyAt(pad.keys.indexOf(labels[i])));
    }

    // Keys typed, then what the box shows, in grey or not, and whether LOGIN works.
    function test_typing_data() {
        return [
            { tag: "nothing", keys: [], text: "Pin", grey: true },
            { tag: "1, 2", keys: ["1", "2"], text: "12", grey: false },
            { tag: "1, 2, back", keys: ["1", "2", "\u2190"], text: "1", grey: false },
            { tag: "1, 2, back, back", keys: ["1", "2", "\u2190", "\u2190"], text: "Pin", grey: true },
            { tag: "back on nothing", keys: ["\u2190", "\u2190", "7"], text: "7", grey: false },
            { tag: "clear", keys: ["4", "0", "CLR"], text: "Pin", grey: true },
            { tag: "clear, then type", keys: ["4", "CLR", "0", "9"], text: "09", grey: false }
        ];
    }

    function test_typing(data) {
        var page = createTemporaryObject(loginComponent, testCase);
        press(page, data.keys);
        var text = findChild(page, "pinText");
        var login = findChild(page, "loginButton");
        compare(text.text, data.text);
        compare(Qt.colorEqual(text.color, "#8f8f8f"), data.grey);
        compare(login.enabled, !data.grey);
        compare(Qt.colorEqual(login.color, "#8f8f8f"), data.grey);

        mouseClick(login);
        compare(manager.calls(), data.grey ? [] : ["settingsLoginRequest:" + data.text]);
    }

    function test_refusedPinClearsAndShakes() {
        var page = createTemporaryObject(loginComponent, testCase);
        var offset = findChild(page, "loginForm").transform[0];
        press(page, ["9", "9"]);
        manager.settingsAccessDenied();
        compare(findChild(page, "pinText").text, "Pin");
        verify(!findChild(page, "loginButton").enabled);
        tryVerify(function () { return offset.x !== 0; }, 1000, "the form shakes");
        tryCompare(offset, "x", 0, 3000);
        compare(manager.screen, "Login");
    }

    function test_grantedOpensSettings() {
        createTemporaryObject(loginComponent, testCase);
        manager.settingsAccessGranted();
        compare(manager.screen, "Settings");
    }

    // Hiding and showing the screen forgets what was typed.
    function test_hidingClears() {
        var page = createTemporaryObject(loginComponent, testCase);
        press(page, ["5"]);
        page.visible = false;
        page.visible = true;
        compare(findChild(page, "pinText").text, "Pin");
        verify(!findChild(page, "loginButton").enabled);
    }
}
