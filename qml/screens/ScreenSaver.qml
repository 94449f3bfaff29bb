import QtQuick 2.15

// Shown while the vehicle's ignition is off.
Rectangle {
    color: manager.screenSaverBg

    Image {
        objectName: "screenSaverImage"
        anchors.centerIn: parent
        width: 300
        height: 300
        source: manager.screenSaverImg
        fillMode: Image.PreserveAspectFit
    }
}
