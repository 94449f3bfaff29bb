import QtQuick 2.15
import QtQuick.Controls 2.15
import ".."

// A caption on the left and its value on the right, as the settings pages list
// device information. A value that is not there (yet) shows as nothing.
Item {
    id: root

    property string caption
    property var value
    property color valueColor: Style.foreground
    readonly property string valueText: root.value === undefined || root.value === null
                                        ? "" : String(root.value)

    implicitWidth: 300
    implicitHeight: 26

    Label {
        anchors.left: parent.left
        anchors.verticalCenter: parent.verticalCenter
        width: parent.width / 2
        text: root.caption
        font.pixelSize: 15
        elide: Text.ElideRight
    }

    Label {
        objectName: "value"
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        width: parent.width / 2
        horizontalAlignment: Text.AlignRight
        text: root.valueText
        color: root.valueColor
        font.pixelSize: 15
        font.bold: true
        elide: Text.ElideLeft
    }
}
