import QtQuick 2.15

// Shown while the vehicle's ignition is off.
Rectangle {
    id: root

    // The configured picture is a URL; a plain absolute path names a local file
    // (resolved against this page it would point into the resource bundle).
    readonly property string picture: manager.screenSaverImg.charAt(0) === "/"
                                      ? "file://" + manager.screenSaverImg
                                      : manager.screenSaverImg

    property bool shown: false

    color: manager.screenSaverBg

    onVisibleChanged: {
        if (visible)
            shown = true;
    }
    Component.onCompleted: {
        if (visible)
            shown = true;
    }

    Image {
        objectName: "screenSaverImage"
        anchors.centerIn: parent
        width: 300
        height: 300
        // Read the first time the page is shown, not at start, and decoded at the
        // size it is shown, whatever the size of the file.
        source: root.shown ? root.picture : ""
        sourceSize: Qt.size(width, height)
        fillMode: Image.PreserveAspectFit
    }
}
