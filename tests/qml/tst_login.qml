import QtQuick 2.15
import QtTest 1.15
import "qrc:/qml/screens/settings"

// The settings PIN entry: typing on the pad, the refused PIN.
DisplayTestCase {
    id: testCase

    name: "Login"

    Component {
        id: loginComponent

        Login {
            width: 480
            height: 800
        }
    }

    function init() {
        manager.screen = "Login";
    }

    function cleanup() {
        manager.settingsLogoutRequest();
    }

    function press(page, labels) {
        var pad = findChild(page, "numberPad");
        for (var i = 0; i < labels.length; ++i)
            mouseClick(pad.keyAt(pad.keys.indexOf(labels[i])));
    }

    // Keys typed (while the login waits `lock` s), then what the box shows, in grey or
    // not, and whether LOGIN works.
    function test_typing_data() {
        return [
            { tag: "nothing", keys: [], text: "Pin", grey: true },
            { tag: "1, 2, back", keys: ["1", "2", "\u2190"], text: "1", grey: false },
            { tag: "back to nothing", keys: ["1", "\u2190", "\u2190", "7"], text: "7", grey: false },
            { tag: "clear", keys: ["4", "0", "CLR"], text: "Pin", grey: true },
            { tag: "clear, then type", keys: ["4", "CLR", "0", "9"], text: "09", grey: false },
            { tag: "waiting", lock: 65, keys: ["4", "0"], text: "Wait 1:05", grey: true },
            { tag: "waiting long", lock: 900, keys: ["1"], text: "Wait 15:00", grey: true }
        ];
    }

    function test_typing(data) {
        var page = createTemporaryObject(loginComponent, testCase, { lockRemaining: data.lock || 0 });
        press(page, data.keys);
        var text = findChild(page, "pinText");
        compare(text.text, data.text);
        compare(Qt.colorEqual(text.color, "#8f8f8f"), data.grey);
        compare(findChild(page, "loginButton").enabled, !data.grey);
        // The keys did nothing while the login waited.
        page.lockRemaining = 0;
        compare(text.text, data.lock ? "Pin" : data.text);
    }

    // A refused PIN (the accepted one is the technician's walk, tst_technician).
    function test_refused() {
        var page = createTemporaryObject(loginComponent, testCase);
        var offset = findChild(page, "loginForm").transform[0];
        press(page, ["8", "6", "0", "3"]);
        mouseClick(findChild(page, "loginButton"));
        compare(findChild(page, "pinText").text, "Pin");
        tryVerify(function () { return offset.x !== 0; }, 5000, "the form shakes");
        tryCompare(offset, "x", 0, 15000);
        compare(manager.screen, "Login");
        // Hiding and showing the screen forgets what was typed.
        press(page, ["5"]);
        page.visible = false;
        page.visible = true;
        compare(findChild(page, "pinText").text, "Pin");
    }
}
