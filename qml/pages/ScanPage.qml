import QtQuick 2.15
import "../controls"

// An idle page inviting the passenger to present a card or a ticket: the
// animation of the one, a hint, and a button that switches to the page of the
// other (ScanCard and ScanBarcode).
Item {
    id: root

    // Where the animation's frames lie ("0.png" to `lastFrame` + ".png").
    property string frameFolder
    property int lastFrame
    property string hint
    property url buttonIcon
    property string buttonText
    // The screen the button switches to.
    property string otherScreen

    property int frame: 0

    property bool shown: false

    signal switchScreen(string name)

    onVisibleChanged: {
        if (visible)
            shown = true;
    }
    Component.onCompleted: {
        if (visible)
            shown = true;
    }

    Image {
        objectName: "animation"
        x: 0
        y: 10
        // Read the first time the page is shown, not at start.
        source: root.shown ? root.frameFolder + root.frame + ".png" : ""
    }

    NumberAnimation on frame {
        from: 0
        to: root.lastFrame
        duration: Style.scanAnimation
        loops: Animation.Infinite
        running: true
        paused: !root.visible
    }

    TextBox {
        objectName: "hint"
        anchors.right: parent.right
        anchors.rightMargin: 20
        y: 150
        width: 150
        height: 120
        text: root.hint
        textSize: 14
        textBold: true
        textHAlign: Text.AlignRight
        textVAlign: Text.AlignVCenter
    }

    CustomButton {
        readonly property real borderSize: 10

        objectName: "switchButton"
        x: -borderSize
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 20
        width: 270
        height: 120
        icon: root.buttonIcon
        iconSize: Qt.size(50, 50)
        iconColor: "white"
        text: root.buttonText
        textColor: "white"
        textFontPointSize: 12
        textHAlignment: Text.AlignLeft
        color: Style.scanButton
        colorPressed: Style.scanButtonPressed
        borderColor: Style.accent
        borderWidth: borderSize
        onClicked: root.switchScreen(root.otherScreen)
    }
}
