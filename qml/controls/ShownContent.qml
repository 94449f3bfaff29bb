import QtQuick 2.15

// The controls of a screen a passenger never sees: the technician's PIN entry and
// settings area, and the first start's serial-number page, which a commissioned
// validator never shows again. Every screen of the window exists from start, but the
// controls of these lie in a file of their own, made the first time the screen is
// shown and kept from then on: until then the QML engine neither reads that file nor
// the controls and keyboard it uses, so the validator reaches its idle screen sooner
// and keeps less memory for them.
// Qt emits a child's visibility change before its parent's, so the controls exist
// by the time the screen's own handler runs.
Loader {
    id: root

    // The controls' file, and what they are handed as they are made (before any of
    // their bindings runs).
    property url file
    property var initialProperties: ({})

    function make() {
        if (root.status === Loader.Null)
            root.setSource(root.file, root.initialProperties);
    }

    anchors.fill: parent

    onVisibleChanged: {
        if (visible)
            root.make();
    }
    Component.onCompleted: {
        if (visible)
            root.make();
    }
}
