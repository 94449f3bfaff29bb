import QtQuick 2.15
import "../controls"

// Idle page inviting the passenger to tap a card; its button switches to ScanBarcode.
Item {
    id: root

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
        source: root.shown ? "qrc:/qml/images/NFC/" + root.frame + ".png" : ""
    }

    NumberAnimation on frame {
        from: 0
        to: 6
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
        text: manager.dynTr + qsTr("SCAN\nYOUR CARD")
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
        icon: "qrc:/qml/images/Icons/qr-code.svg"
        iconSize: Qt.size(50, 50)
        iconColor: "white"
        text: manager.dynTr + qsTr("SCAN\nTICKET")
        textColor: "white"
        textFontPointSize: 12
        textHAlignment: Text.AlignLeft
        color: Style.scanButton
        colorPressed: Style.scanButtonPressed
        borderColor: Style.accent
        borderWidth: borderSize
        onClicked: root.switchScreen("ScanBarcode")
    }
}
