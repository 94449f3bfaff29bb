import QtQuick 2.15

// An icon drawn in one colour: the picture's shape painted in `color` (by the
// "tinted" image provider, so it looks the same with every scene-graph backend).
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
        source: root.tinted && root.source.toString() !== ""
                ? "image://tinted/" + root.color.toString().substring(1) + "/" + root.source
                : root.source
        sourceSize: Qt.size(root.width, root.height)
        fillMode: Image.PreserveAspectFit
        smooth: true
    }
}
