import QtQuick 2.15
import "../../controls"

// The settings PIN entry.
Item {
    Text {
        anchors.top: parent.top
        anchors.topMargin: Style.headerHeight + 40
        anchors.horizontalCenter: parent.horizontalCenter
        text: manager.dynTr + qsTr("LOGIN")
        color: Style.foreground
        font.family: Style.fontFamily
        font.pointSize: 24
        font.bold: true
    }
}
