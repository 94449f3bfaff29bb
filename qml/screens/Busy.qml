import QtQuick 2.15
import QtQuick.Controls 2.15
import "../controls"

// Wait page: a spinner and the reason the GUI manager gives in `message`.
Item {
    id: root

    BusyIndicator {
        id: indicator

        objectName: "busyIndicator"
        anchors.horizontalCenter: parent.horizontalCenter
        y: 200
        width: Math.min(root.width, root.height) / 5
        height: width
        running: root.visible
    }

    Text {
        objectName: "busyMessage"
        anchors.top: indicator.bottom
        anchors.topMargin: 30
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.leftMargin: Style.pageMargin
        anchors.rightMargin: Style.pageMargin
        text: manager.message
        color: Style.foreground
        font.family: Style.fontFamily
        font.pointSize: 22
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.WordWrap
    }
}
