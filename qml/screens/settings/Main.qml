import QtQuick 2.15
import "../../controls"

// The settings area.
Item {
    Text {
        anchors.top: parent.top
        anchors.topMargin: 40
        anchors.horizontalCenter: parent.horizontalCenter
        text: manager.dynTr + qsTr("Settings")
        color: Style.foreground
        font.family: Style.fontFamily
        font.pointSize: 24
        font.bold: true
    }
}
