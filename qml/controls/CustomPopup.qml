import QtQuick 2.15
import QtQuick.Controls 2.15 as Controls

// A modal message box centred in its parent. As a dialog it shows "Yes" and
// "No" and stays open until one of them is pressed; otherwise any click in it,
// or a release outside it, closes it.
Controls.Popup {
    id: root

    property bool isDialog: false
    property string text
    property string imageSource: ""
    property size imageSize: Qt.size(200, 200)

    signal buttonYesPressed()
    signal buttonNoPressed()

    width: 400
    height: imageSource !== "" ? 300 : 200
    anchors.centerIn: parent
    modal: true
    focus: true
    closePolicy: isDialog ? Controls.Popup.NoAutoClose : Controls.Popup.CloseOnReleaseOutside

    background: PopupBackground {
        color: Style.background
        radius: 4
    }

    contentItem: Item {
        MouseArea {
            objectName: "popupArea"
            anchors.fill: parent
            enabled: !root.isDialog
            onClicked: root.close()
        }

        Column {
            anchors.top: parent.top
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: buttons.visible ? buttons.top : parent.bottom
            spacing: 10

            Text {
                objectName: "popupText"
                width: parent.width
                height: root.imageSource !== "" ? implicitHeight : parent.height
                text: root.text
                color: Style.foreground
                font.family: Style.fontFamily
                font.pointSize: 10
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
                wrapMode: Text.WordWrap
            }

            Image {
                anchors.horizontalCenter: parent.horizontalCenter
                width: root.imageSize.width
                height: root.imageSize.height
                source: root.imageSource
                fillMode: Image.PreserveAspectFit
                visible: root.imageSource !== ""
            }
        }

        Row {
            id: buttons

            anchors.bottom: parent.bottom
            anchors.bottomMargin: 15
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 60
            visible: root.isDialog

            CustomButton {
                objectName: "yesButton"
                width: 100
                height: 40
                radius: 4
                flat: true
                color: Style.accent
                textColor: "white"
                textFontPointSize: 16
                textBold: true
                text: manager.dynTr + qsTr("Yes")
                onClicked: {
                    root.close();
                    root.buttonYesPressed();
                }
            }

            CustomButton {
                objectName: "noButton"
                width: 100
                height: 40
                radius: 4
                flat: true
                color: Style.accent
                textColor: "white"
                textFontPointSize: 16
                textBold: true
                text: manager.dynTr + qsTr("No")
                onClicked: {
                    root.close();
                    root.buttonNoPressed();
                }
            }
        }
    }
}
