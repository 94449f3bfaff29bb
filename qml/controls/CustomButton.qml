import QtQuick 2.15

// A rectangular touch button with an optional icon on its left and wrapped,
// centred text. A press grows a darker circle from the touch point.
Item {
    id: root

    property string text
    property url icon
    property color iconColor: "white"
    property size iconSize: Qt.size(40, 40)
    property color color: Style.buttonFace
    property color colorPressed: color
    property color textColor: "black"
    property color borderColor: "transparent"
    property real borderWidth: 0
    property real radius: 0
    property bool flat: false
    property bool fillAnimationEnabled: true
    property int fillAnimationDuration: Style.fillAnimation
    property bool scaleAnimationEnabled: false
    readonly property alias down: touch.pressed

    property alias font: label.font
    property alias textFontFamily: label.font.family
    property alias textFontPointSize: label.font.pointSize
    property alias textFontWeight: label.font.weight
    property alias textBold: label.font.bold
    property alias textLetterSpacing: label.font.letterSpacing
    property alias textHAlignment: label.horizontalAlignment
    property alias textVAlignment: label.verticalAlignment
    property alias textWrapMode: label.wrapMode
    property alias textElide: label.elide

    signal clicked()
    signal pressed()
    signal released()

    implicitWidth: 100
    implicitHeight: 60
    opacity: enabled ? 1.0 : 0.3
    scale: scaleAnimationEnabled && touch.pressed ? 0.9 : 1.0

    Behavior on scale {
        NumberAnimation { duration: Style.pressAnimation }
    }

    // A flat button has no shadow at all, not a hidden one: most buttons are flat.
    // A disabled one lies flat too, as the style's own buttons do: the shadow draws
    // its source again, and the faded button would show twice as strong.
    Loader {
        anchors.fill: body
        active: !root.flat && root.enabled && Style.effects
        source: "ButtonShadow.qml"
        onLoaded: item.source = body
    }

    Rectangle {
        id: body

        anchors.fill: parent
        radius: root.radius
        color: touch.pressed ? root.colorPressed : root.color
        border.color: root.borderColor
        border.width: root.borderWidth
        clip: true

        Rectangle {
            id: fill

            property real targetSize: 3 * Math.max(root.width, root.height)
            property real centreX: 0
            property real centreY: 0

            x: centreX - width / 2
            y: centreY - height / 2
            width: 0
            height: width
            radius: width / 2
            color: Qt.darker(body.color, 1.5)
            visible: width > 0

            NumberAnimation {
                id: fillGrow

                target: fill
                property: "width"
                from: 0
                to: fill.targetSize
                duration: root.fillAnimationDuration
                easing.type: Easing.OutQuad
            }
        }

        TintedIcon {
            id: iconItem

            x: (root.width * 0.35 - width) / 2
            anchors.verticalCenter: parent.verticalCenter
            width: root.iconSize.width
            height: root.iconSize.height
            source: root.icon
            color: root.iconColor
            visible: root.icon.toString() !== ""
        }

        Text {
            id: label

            anchors.fill: parent
            anchors.leftMargin: iconItem.visible ? root.width * 0.35 : 4
            anchors.rightMargin: 4
            text: root.text
            color: root.textColor
            font.family: Style.fontFamily
            font.pointSize: 12
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
            wrapMode: Text.WordWrap
        }
    }

    MouseArea {
        id: touch

        anchors.fill: parent
        onPressed: {
            if (root.fillAnimationEnabled) {
                fill.centreX = touch.mouseX;
                fill.centreY = touch.mouseY;
                fillGrow.restart();
            }
            root.pressed();
        }
        onReleased: {
            fillGrow.stop();
            fill.width = 0;
            root.released();
        }
        onCanceled: {
            fillGrow.stop();
            fill.width = 0;
        }
        onClicked: root.clicked()
    }
}
