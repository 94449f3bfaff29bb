import QtQuick 2.15
import ".."

// One row of the settings menu: icon, title with a hint under it, and an arrow.
Item {
    id: root

    property string title
    property string hint
    property url icon
    readonly property alias down: touch.pressed

    signal clicked()

    Rectangle {
        anchors.fill: parent
        gradient: Gradient {
            GradientStop { position: 0.0; color: touch.pressed ? Style.menuRowPressed : Style.menuRowTop }
            GradientStop { position: 1.0; color: Style.menuRowBottom }
        }
    }

    Rectangle {
        anchors.top: parent.top
        width: parent.width
        height: 1
        color: Style.menuRowTopLine
        visible: !touch.pressed
    }

    Rectangle {
        anchors.bottom: parent.bottom
        width: parent.width
        height: 1
        color: Style.menuRowBottomLine
    }

    TintedIcon {
        id: iconItem

        anchors.left: parent.left
        anchors.leftMargin: 20
        anchors.verticalCenter: parent.verticalCenter
        width: root.height * 0.45
        height: width
        source: root.icon
        color: Style.menuRowContent
    }

    Column {
        anchors.left: iconItem.right
        anchors.leftMargin: 20
        anchors.right: arrow.left
        anchors.rightMargin: 10
        anchors.verticalCenter: parent.verticalCenter

        Text {
            width: parent.width
            text: root.title
            color: Style.menuRowContent
            font.family: Style.fontFamily
            font.pixelSize: Math.max(1, root.height / 4)
            elide: Text.ElideRight
        }

        Text {
            width: parent.width
            text: root.hint
            color: Style.menuRowContent
            opacity: 0.6
            font.family: Style.fontFamily
            font.pixelSize: Math.max(1, root.height / 8)
            elide: Text.ElideRight
        }
    }

    TintedIcon {
        id: arrow

        anchors.right: parent.right
        anchors.rightMargin: 20
        anchors.verticalCenter: parent.verticalCenter
        width: root.height * 0.3
        height: width
        source: "qrc:/qml/images/Icons/arrow-right.svg"
        color: Style.menuRowContent
    }

    MouseArea {
        id: touch

        anchors.fill: parent
        onClicked: root.clicked()
    }
}
