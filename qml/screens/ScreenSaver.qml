import QtQuick 2.15

// Shown while the vehicle's ignition is off.
Rectangle {
    id: root

    // The configured picture is a URL; a plain absolute path names a local file
    // (resolved against this page it would point into the resource bundle).
    readonly property string picture: manager.screenSaverImg.charAt(0) === "/"
                                      ? "file://" + manager.screenSaverImg
                                      : manager.screenSaverImg

    color: manager.screenSaverBg

    Image {
        objectName: "screenSaverImage"
        anchors.centerIn: parent
        width: 300
        height: 300
        source: root.picture
        fillMode: Image.PreserveAspectFit
    }
}
