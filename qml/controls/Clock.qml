import QtQuick 2.15

// Date and time, right-aligned, refreshed every second in the interface
// language. It doubles as the technician's hidden button: more than two taps
// within one second, or one long press, emit pressAndHold().
Item {
    id: root

    property string dateFormat: "ddd, d MMM yyyy"
    property string timeFormat: "hh:mm:ss"
    // Follows the interface language: re-evaluated on every languageChanged.
    property var locale: Qt.locale(manager.language)
    property int tapCount: 0
    readonly property alias dateText: dateLabel.text
    readonly property alias timeText: timeLabel.text
    readonly property alias tapWindowRunning: tapTimer.running

    signal clicked()
    signal pressAndHold()

    function refresh() {
        var now = new Date();
        dateLabel.text = now.toLocaleDateString(root.locale, root.dateFormat);
        timeLabel.text = now.toLocaleTimeString(root.locale, root.timeFormat);
    }

    width: 200
    height: 65

    onDateFormatChanged: refresh()
    onTimeFormatChanged: refresh()
    onLocaleChanged: refresh()

    Column {
        anchors.right: parent.right
        anchors.rightMargin: 25
        anchors.verticalCenter: parent.verticalCenter

        Text {
            id: dateLabel

            anchors.right: parent.right
            horizontalAlignment: Text.AlignRight
            color: Style.foreground
            font.family: Style.fontFamily
            font.pixelSize: 20
            font.weight: Font.Medium
            font.letterSpacing: 0.2
        }

        Text {
            id: timeLabel

            anchors.right: parent.right
            horizontalAlignment: Text.AlignRight
            color: Style.foreground
            font.family: Style.fontFamily
            font.pixelSize: 42
            font.bold: true
            font.letterSpacing: 0.8
        }
    }

    Timer {
        interval: Style.clockTick
        repeat: true
        running: true
        triggeredOnStart: true
        onTriggered: root.refresh()
    }

    Timer {
        id: tapTimer

        interval: Style.tapWindow
        onTriggered: {
            if (root.tapCount > 2)
                root.pressAndHold();
            root.tapCount = 0;
        }
    }

    MouseArea {
        anchors.fill: parent
        onPressed: {
            root.tapCount += 1;
            if (!tapTimer.running)
                tapTimer.start();
        }
        onClicked: root.clicked()
        onPressAndHold: {
            // A long press is the gesture by itself: the taps counted so far
            // must not fire it a second time when the window ends.
            tapTimer.stop();
            root.tapCount = 0;
            root.pressAndHold();
        }
    }
}
