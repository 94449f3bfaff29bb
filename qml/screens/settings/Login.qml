import QtQuick 2.15
import "../../controls"

// The technician's PIN entry. The digits are checked by the GUI manager, which
// answers with settingsAccessGranted or settingsAccessDenied.
Item {
    id: root

    // True while nothing has been typed: the box shows `initialText` in grey
    // and LOGIN is disabled.
    property bool initialState: true
    property string inputText: ""
    readonly property string initialText: manager.dynTr + qsTr("Pin")

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
            shake.restart();
        }
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
                color: Style.dark ? Style.accent : Style.foreground
            }

            Text {
                objectName: "pinText"
                anchors.left: lock.right
                anchors.leftMargin: 20
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                text: root.initialState ? root.initialText : root.inputText
                color: root.initialState ? Style.loginIdle : Style.foreground
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
            enabled: !root.initialState
            // Grey while disabled: the button's own dimming would hide the colour.
            opacity: 1.0
            color: root.initialState ? Style.loginIdle : Style.accent
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
        id: shake

        loops: 2

        NumberAnimation { target: offset; property: "x"; to: 10; duration: 50 }
        NumberAnimation { target: offset; property: "x"; to: -10; duration: 100 }
        NumberAnimation { target: offset; property: "x"; to: 0; duration: 50 }
    }
}
