import QtQuick 2.15

// A circular button with an icon. SVG icons are tinted with `iconColor`; PNG
// icons (`pngImage`) are shown as they are. Pressing shrinks the button and
// drops its shadow.
Item {
    id: root

    property real radius: 25
    property url icon
    property real iconSize: 30
    property color iconColor: Style.roundButtonIcon
    property bool pngImage: false
    property color color: Style.accent
    readonly property alias down: touch.pressed

    signal clicked()
    signal pressAndHold()

    width: 2 * radius
    height: 2 * radius
    scale: touch.pressed ? 0.8 : 1.0

    Behavior on scale {
        NumberAnimation { duration: Style.pressAnimation }
    }

    Loader {
        anchors.fill: body
        active: Style.effects
        source: "ButtonShadow.qml"
        visible: !touch.pressed
        onLoaded: item.source = body
    }

    Rectangle {
        id: body

        anchors.fill: parent
        radius: root.radius
        color: root.color

        TintedIcon {
            anchors.centerIn: parent
            width: root.iconSize
            height: root.iconSize
            source: root.icon
            color: root.iconColor
            tinted: !root.pngImage
        }
    }

    MouseArea {
        id: touch

        anchors.fill: parent
        onClicked: root.clicked()
        onPressAndHold: root.pressAndHold()
    }
}
