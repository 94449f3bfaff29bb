import QtQuick 2.15
import QtGraphicalEffects 1.15

// One row of a message list: a coloured bar, a title, an optional time and,
// expanded, the message with a delete button. Never taller than 150.
Item {
    id: root

    property string title
    property string message
    property string time
    property color decorationColor: Style.accent
    property bool expanded: false
    property bool isExpandable: true
    property bool enableColorAnimation: true
    readonly property int maximumHeight: 150

    signal clicked()
    signal deleteRequest()

    implicitWidth: 400
    height: Math.min(maximumHeight, titleLabel.height + 30
                     + (expanded ? messageLabel.height + 30 : 0))
    clip: true

    Rectangle {
        id: flash

        anchors.fill: parent
        color: "transparent"

        ColorAnimation {
            id: flashAnimation

            target: flash
            property: "color"
            from: Style.accent
            to: Style.background
            duration: Style.colorFlash
        }
    }

    Rectangle {
        id: bar

        width: 16
        height: parent.height
        color: root.decorationColor
    }

    Text {
        id: titleLabel

        anchors.top: parent.top
        anchors.topMargin: 15
        anchors.left: bar.right
        anchors.leftMargin: 12
        anchors.right: timeRow.visible ? timeRow.left : parent.right
        anchors.rightMargin: 10
        text: root.title
        color: Style.foreground
        font.family: Style.fontFamily
        font.pixelSize: 18
        font.weight: Font.Medium
        elide: root.expanded ? Text.ElideNone : Text.ElideRight
        wrapMode: root.expanded ? Text.WordWrap : Text.NoWrap
        maximumLineCount: root.expanded ? 3 : 1
    }

    Row {
        id: timeRow

        anchors.top: parent.top
        anchors.topMargin: 15
        anchors.right: parent.right
        anchors.rightMargin: 10
        spacing: 4
        visible: root.time !== ""

        TintedIcon {
            width: 16
            height: 16
            anchors.verticalCenter: parent.verticalCenter
            source: "qrc:/qml/images/Icons/clock.svg"
            color: Style.foreground
        }

        Text {
            text: root.time
            color: Style.foreground
            font.family: Style.fontFamily
            font.pixelSize: 14
        }
    }

    Text {
        id: messageLabel

        anchors.top: titleLabel.bottom
        anchors.topMargin: 15
        anchors.left: titleLabel.left
        anchors.right: trash.left
        anchors.rightMargin: 10
        text: root.message
        color: Style.foreground
        font.family: Style.fontFamily
        font.pixelSize: 14
        wrapMode: Text.WordWrap
        visible: root.expanded
    }

    MouseArea {
        anchors.fill: parent
        onClicked: {
            if (root.isExpandable)
                root.expanded = !root.expanded;
            if (root.enableColorAnimation)
                flashAnimation.restart();
            root.clicked();
        }
    }

    TintedIcon {
        id: trash

        objectName: "trashIcon"
        anchors.right: parent.right
        anchors.rightMargin: 10
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 10
        width: 26
        height: 26
        source: "qrc:/qml/images/Icons/trash.svg"
        color: Style.foreground
        visible: root.expanded

        MouseArea {
            anchors.fill: parent
            anchors.margins: -8
            onClicked: root.deleteRequest()
        }
    }
}
