import QtQuick 2.15
import "../../controls"

// The PIN entry's box, number pad and LOGIN button (Login.qml makes them when shown);
// what was typed and how long the login waits are the screen's.
Item {
    // The Login screen these controls are made for.
    property Item login

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
                color: login.locked ? Style.invalid : Style.dark ? Style.accent : Style.foreground
            }

            Text {
                objectName: "pinText"
                anchors.left: lock.right
                anchors.leftMargin: 20
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                text: login.locked ? login.lockText
                                   : login.initialState ? login.initialText : login.inputText
                color: login.initialState || login.locked ? Style.loginIdle : Style.foreground
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
            enabled: !login.locked
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
            enabled: !login.initialState && !login.locked
            // Grey while disabled: the button's own dimming would hide the colour.
            opacity: 1.0
            color: enabled ? Style.accent : Style.loginIdle
            textColor: "white"
            textFontFamily: Style.padFontFamily
            textFontPointSize: 24
            textBold: true
            textLetterSpacing: 2.2
            text: manager.dynTr + qsTr("LOGIN")
            onClicked: manager.settingsLoginRequest(login.inputText)
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
