import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import "../../controls"

// One caption and value line of a settings page: the caption on the left, the
// value right-aligned in the colour of its tone ("green", "amber", "red" or the
// foreground colour).
RowLayout {
    id: root

    property string caption
    property string value
    property string tone: "foreground"
    readonly property color valueColor: Style.toneColor(root.tone)

    Layout.fillWidth: true
    spacing: 10

    Label {
        text: root.caption
        color: Style.foreground
    }

    Label {
        Layout.fillWidth: true
        horizontalAlignment: Text.AlignRight
        text: root.value
        color: root.valueColor
        font.bold: true
        elide: Text.ElideRight
    }
}
