import QtQuick 2.15
import "../controls"
import "../js/ScanFrames.js" as ScanFrames

// The idle page in service: the card and the ticket animations take turns.
// With `manager.animSwitchSec` 0 each animation hands over to the other when it
// reaches its last frame; otherwise a switch timer toggles them.
Item {
    id: root

    property int mode: ScanFrames.CardMode
    property int frame: 0

    function apply(next) {
        root.mode = next.mode;
        root.frame = next.frame;
    }

    // The frame, painted as its layers: each is read and decoded once and kept, so a
    // tick only places pictures already decoded.
    Item {
        id: animation

        readonly property var layers: ScanFrames.layers(root.mode, root.frame)

        objectName: "animation"
        anchors.centerIn: parent
        anchors.verticalCenterOffset: 10
        width: 300
        height: 300

        Repeater {
            model: 3

            Image {
                readonly property var part: index < animation.layers.length ? animation.layers[index]
                                                                            : null

                x: part ? part.x : 0
                y: part ? part.y : 0
                source: part ? "image://kept/qrc:/qml/images/" + part.source : ""
            }
        }
    }

    Timer {
        objectName: "frameTimer"
        interval: Style.frameTick
        repeat: true
        // Under a verdict or the technician's pages the animation waits where it is.
        running: root.visible
        onTriggered: root.apply(ScanFrames.tick(root.mode, root.frame, manager.animSwitchSec))
    }

    Timer {
        objectName: "switchTimer"
        // The configured value is taken as milliseconds.
        interval: Math.max(1, manager.animSwitchSec)
        repeat: true
        running: root.visible && manager.animSwitchSec > 0
        onTriggered: root.apply(ScanFrames.toggle(root.mode))
    }

    TextBox {
        objectName: "hint"
        anchors.right: parent.right
        anchors.rightMargin: 20
        y: 150
        width: 150
        height: 170
        text: root.mode === ScanFrames.CardMode ? manager.dynTr + qsTr("SCAN\nYOUR CARD")
                                                : manager.dynTr + qsTr("SCAN\nYOUR TICKET")
        textSize: 14
        textBold: true
        textHAlign: Text.AlignRight
        textVAlign: Text.AlignVCenter
    }
}
