import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import ".."

// One caption and value line of a settings page: the caption on the left, the
// value right-aligned in its colour (the foreground colour unless a page's colour
// rule in Style says otherwise).
RowLayout {
    id: root

    property string caption
    property string value
    property color valueColor: Style.foreground

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
