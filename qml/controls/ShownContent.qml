import QtQuick 2.15

// The controls of a screen a passenger never sees: the technician's PIN entry and
// settings area, and the first start's serial-number page, which a commissioned
// validator never shows again. Every screen of the window exists from start, but the
// controls of these are made the first time the screen is shown and kept from then
// on, so the validator reaches its idle screen sooner and keeps less memory for them.
// Qt emits a child's visibility change before its parent's, so the controls exist
// by the time the screen's own handler runs.
Loader {
    anchors.fill: parent
    active: false

    onVisibleChanged: {
        if (visible)
            active = true;
    }
    Component.onCompleted: {
        if (visible)
            active = true;
    }
}
