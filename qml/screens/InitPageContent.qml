import QtQuick 2.15
import QtQuick.Controls 2.15
import "../controls"
import "../js/SerialNumber.js" as SerialNumber

// The first start's page as the technician sees it (InitPage.qml makes it when shown):
// the serial number typed on the on-screen keyboard, checked as it is typed, and
// confirmed before the GUI manager stores it.
Item {
    id: page

    readonly property bool inputValid: SerialNumber.isValid(field.text)

    function requestSave() {
        if (!page.inputValid)
            return;
        Qt.inputMethod.hide();
        confirm.text = manager.dynTr + qsTr("Please confirm the serial number") + "\n\n" + field.text;
        confirm.open();
    }

    Flickable {
        id: flick

        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: keyboard.top
        contentWidth: width
        contentHeight: Math.max(height, column.height)
        clip: true

        Column {
            id: column

            anchors.horizontalCenter: parent.horizontalCenter
            y: (flick.contentHeight - height) / 2
            spacing: 20

            Text {
                width: 350
                height: 60
                text: manager.dynTr + qsTr("Enter Serial Number")
                color: Style.foreground
                font.family: Style.fontFamily
                font.pointSize: 16
                font.bold: true
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }

            TextField {
                id: field

                objectName: "serialField"
                width: 350
                height: 60
                text: manager.deviceId
                placeholderText: "K00000000"
                horizontalAlignment: TextInput.AlignHCenter
                font.family: Style.fontFamily
                font.pointSize: 16
                inputMethodHints: Qt.ImhNoPredictiveText | Qt.ImhPreferUppercase | Qt.ImhLatinOnly
                onAccepted: page.requestSave()
                onActiveFocusChanged: {
                    if (!activeFocus)
                        Qt.inputMethod.hide();
                }
            }

            Text {
                objectName: "serialHint"
                width: 350
                height: 60
                text: manager.dynTr + qsTr("Must start with 'C' or 'K' followed by 8 digits")
                color: Style.error
                font.family: Style.fontFamily
                font.pointSize: 12
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
                wrapMode: Text.WordWrap
                visible: !page.inputValid
            }

            CustomButton {
                objectName: "saveButton"
                anchors.horizontalCenter: parent.horizontalCenter
                width: 300
                height: 60
                radius: 4
                color: Style.accent
                textColor: "white"
                textFontPointSize: 16
                textBold: true
                text: manager.dynTr + qsTr("SAVE")
                enabled: page.inputValid
                onClicked: page.requestSave()
            }
        }
    }

    SlidingKeyboard {
        id: keyboard

        onEnterPressed: page.requestSave()
    }

    CustomPopup {
        id: confirm

        objectName: "confirmPopup"
        isDialog: true
        onButtonYesPressed: manager.saveDeviceIdRequest(field.text)
    }
}
