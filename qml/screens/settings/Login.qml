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

        sourceComponent: Component {
            Item {
                function shake() {
                    shakeAnimation.restart();
                }

                Column {
                    id: form

                    objectName: "loginForm"
                    anchors.centerIn: parent

                    transform: Translate {
                        id: offset

                        objectName: "formOffset"
                    }

                    Rectangle {
                        width: pad.width
                        height: 70
                        radius: 4
                        color: Style.padNumberKey

                        TintedIcon {
                            id: lock

                            anchors.left: parent.left
                            anchors.leftMargin: 20
                            anchors.verticalCenter: parent.verticalCenter
                            width: 35
                            height: 35
                            source: "qrc:/qml/images/Icons/lock.svg"
                            color: root.locked ? Style.invalid : Style.dark ? Style.accent : Style.foreground
                        }

                        Text {
                            objectName: "pinText"
                            anchors.left: lock.right
                            anchors.leftMargin: 20
                            anchors.right: parent.right
                            anchors.verticalCenter: parent.verticalCenter
                            text: root.locked ? root.lockText
                                              : root.initialState ? root.initialText : root.inputText
                            color: root.initialState || root.locked ? Style.loginIdle : Style.foreground
                            font.family: Style.padFontFamily
                            font.pointSize: 16
                            font.letterSpacing: 1.2
                            elide: Text.ElideLeft
                        }
                    }

                    Item {
                        width: 1
                        height: 4
                    }

                    NumberPad {
                        id: pad

                        objectName: "numberPad"
                        enabled: !root.locked
                    }

                    Item {
                        width: 1
                        height: 5
                    }

                    CustomButton {
                        objectName: "loginButton"
                        width: pad.width
                        height: 70
                        radius: 4
                        flat: true
                        enabled: !root.initialState && !root.locked
                        // Grey while disabled: the button's own dimming would hide the colour.
                        opacity: 1.0
                        color: enabled ? Style.accent : Style.loginIdle
                        textColor: "white"
                        textFontFamily: Style.padFontFamily
                        textFontPointSize: 24
                        textBold: true
                        textLetterSpacing: 2.2
                        text: manager.dynTr + qsTr("LOGIN")
                        onClicked: manager.settingsLoginRequest(root.inputText)
                    }
                }

                // Twice: +10 in 50 ms, -10 in 100 ms, back to 0 in 50 ms.
                SequentialAnimation {
                    id: shakeAnimation

                    loops: 2

                    NumberAnimation { target: offset; property: "x"; to: 10; duration: 50 }
                    NumberAnimation { target: offset; property: "x"; to: -10; duration: 100 }
                    NumberAnimation { target: offset; property: "x"; to: 0; duration: 50 }
                }
            }
        }
    }
}
