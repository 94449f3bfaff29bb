import QtQuick 2.15
import QtQuick.Layouts 1.15

// A transparent box as wide as its layout and as tall as its picture, with the
// picture centred and tinted.
Item {
    id: root

    property url icon
    property size iconSize: Qt.size(250, 250)
    property color iconColor: Style.valid

    Layout.fillWidth: true
    implicitWidth: iconSize.width
    implicitHeight: iconSize.height

    TintedIcon {
        anchors.centerIn: parent
        width: root.iconSize.width
        height: root.iconSize.height
        source: root.icon
        color: root.iconColor
        // The result pages show their symbol the moment a card is read.
        preload: true
    }
}
