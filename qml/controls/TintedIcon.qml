import QtQuick 2.15
import QtGraphicalEffects 1.15

// An icon drawn in one colour: the picture's alpha with `color` laid over it.
// With `tinted` false the picture is shown as it is (PNG pictures, logos).
Item {
    id: root

    property url source
    property color color: "white"
    property bool tinted: true

    implicitWidth: 30
    implicitHeight: 30

    Image {
        id: image

        anchors.fill: parent
        source: root.source
        sourceSize: Qt.size(root.width, root.height)
        fillMode: Image.PreserveAspectFit
        smooth: true
        visible: !root.tinted
    }

    ColorOverlay {
        anchors.fill: image
        source: image
        color: root.color
        visible: root.tinted
    }
}
