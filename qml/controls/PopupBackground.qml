import QtQuick 2.15
import QtQuick.Controls.Material 2.15
import QtQuick.Controls.Material.impl 2.15

// The face of every popup, menu and drop-down list: opaque, with an edge that
// can be seen on any renderer. Where the scene graph has shaders a raised face
// (`elevation` above 0) keeps the style's shadow as its edge. The software
// renderer draws no effect, and an item whose layer has one is not drawn at all
// (the style's own menu and list backgrounds vanish that way), so there the face
// is drawn plainly with an accent border instead of the shadow.
Rectangle {
    id: root

    property int elevation: 0
    readonly property bool shadowed: elevation > 0 && Style.effects

    implicitWidth: 200
    implicitHeight: Material.menuItemHeight
    color: Material.dialogColor
    radius: 2
    border.color: Style.accent
    border.width: shadowed ? 0 : Style.popupEdge

    layer.enabled: shadowed
    layer.effect: ElevationEffect {
        elevation: root.elevation
    }
}
