import QtQuick 2.15
import QtGraphicalEffects 1.15

// An icon drawn in one colour: the picture's alpha with `color` laid over it.
// With `tinted` false the picture is shown as it is (PNG pictures, logos). The
// software renderer has no shader effects: there the picture shows untinted
// rather than not at all.
Item {
    id: root

    property url source
    property color color: "white"
    property bool tinted: true
    readonly property bool canTint: root.GraphicsInfo.api !== GraphicsInfo.Software
    readonly property bool tintShown: tinted && canTint

    implicitWidth: 30
    implicitHeight: 30

    Image {
        id: image

        anchors.fill: parent
        source: root.source
        sourceSize: Qt.size(root.width, root.height)
        fillMode: Image.PreserveAspectFit
        smooth: true
        visible: !root.tintShown
    }

    ColorOverlay {
        anchors.fill: image
        source: image
        color: root.color
        visible: root.tintShown
    }
}
