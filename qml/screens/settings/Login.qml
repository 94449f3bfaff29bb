import QtQuick 2.15
import "../../controls"

// The technician's PIN entry. The digits are checked by the GUI manager, which
// answers with settingsAccessGranted or settingsAccessDenied. After too many wrong
// PINs the session manager makes the login wait: the box counts the wait down and
// the pad and LOGIN do nothing until it is over.
Item {
    id: root

    // True while nothing has been typed: the box shows `initialText` in grey
    // and LOGIN is disabled.
    property bool initialState: true
    property string inputText: ""
    readonly property string initialText: manager.dynTr + qsTr("Pin")
    // Seconds the login still waits; 0 when a PIN is checked.
    property int lockRemaining: session.lockRemaining
    readonly property bool locked: lockRemaining > 0
    readonly property string lockText: manager.dynTr + qsTr("Wait %1").arg(
        Math.floor(lockRemaining / 60) + ":" + ("0" + lockRemaining % 60).slice(-2))

    function reset() {
        root.initialState = true;
        root.inputText = "";
    }

    // Number pad handlers (the pad calls them on the page it sits in).
    function calcNumberPressed(key) {
        root.initialState = false;
        root.inputText += key;
    }

    function customLeftPressed(key) {
        if (root.initialState)
            return;
        root.inputText = root.inputText.slice(0, -1);
        if (root.inputText === "")
            root.initialState = true;
    }

    function customRightPressed(key) {
        root.reset();
    }

    onVisibleChanged: root.reset()

    Connections {
        target: manager

        function onSettingsAccessGranted() {
            console.info("[QML] Settings access granted");
            manager.screen = "Settings";
        }

        function onSettingsAccessDenied() {
            console.warn("[QML] Settings access denied");
            root.reset();
            if (content.item)
                content.item.shake();
        }
    }

    ShownContent {
        id: content

        file: "LoginContent.qml"
        initialProperties: ({ "login": root })
    }
}
