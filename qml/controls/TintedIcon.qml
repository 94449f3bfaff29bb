import QtQuick 2.15

// An icon drawn in one colour: the picture's shape painted in `color` (by the
// "tinted" image provider, so it looks the same with every scene-graph backend).
// With `tinted` false the picture is shown as it is (PNG pictures, logos).
Item {
    id: root

    property url source
    property color color: "white"
    property bool tinted: true
    // Drawn while still hidden, off the GUI thread once the window has drawn its
    // first frame, so that its first showing has it ready: for the pages that must
    // appear at once, such as a validation's result. Other icons are drawn the first
    // time they are shown, so pages that may never be opened cost nothing.
    property bool preload: false
    property bool shown: false

    onVisibleChanged: {
        if (visible)
            shown = true;
    }
    Component.onCompleted: {
        if (visible)
            shown = true;
    }

    implicitWidth: 30
    implicitHeight: 30

    // Drawn once, at the size it is shown: nothing is asked for before the size is
    // known (the source size is set before the source), and an icon preloaded on a
    // hidden page is drawn off the GUI thread, without holding up the screen shown.
    Image {
        id: image

        anchors.fill: parent
        sourceSize: Qt.size(root.width, root.height)
        source: root.width > 0 && root.height > 0
                && (root.shown || (root.preload && Style.started))
                ? (root.tinted && root.source.toString() !== ""
                   ? "image://tinted/" + root.color.toString().substring(1) + "/" + root.source
                   : root.source)
                : ""
        asynchronous: !root.visible
        fillMode: Image.PreserveAspectFit
        smooth: true
    }
}
