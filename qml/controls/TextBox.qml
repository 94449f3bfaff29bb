import QtQuick 2.15
import QtQuick.Layouts 1.15

// A transparent box with one wrapping label.
Item {
    id: root

    property alias text: label.text
    property real textSize: 16
    property int textHAlign: Text.AlignHCenter
    property int textVAlign: Text.AlignVCenter
    property bool textBold: false
    property real textLetterSpacing: 1.0
    property real leftMargin: 0
    property real rightMargin: 0
    property alias textColor: label.color
    property alias label: label

    Layout.fillWidth: true
    implicitWidth: label.implicitWidth + leftMargin + rightMargin
    implicitHeight: label.implicitHeight

    Text {
        id: label

        anchors.fill: parent
        anchors.leftMargin: root.leftMargin
        anchors.rightMargin: root.rightMargin
        color: Style.foreground
        font.family: Style.fontFamily
        font.pointSize: root.textSize
        font.bold: root.textBold
        font.letterSpacing: root.textLetterSpacing
        horizontalAlignment: root.textHAlign
        verticalAlignment: root.textVAlign
        wrapMode: Text.WordWrap
    }
}
