import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import "../../controls"
import "../../controls/settings"

// The sound switch of the board and the volume of the internal sound card.
Page {
    id: root

    title: manager.dynTr + qsTr("Audio")

    GridLayout {
        anchors.top: parent.top
        anchors.topMargin: 20
        anchors.horizontalCenter: parent.horizontalCenter
        width: parent.width * 0.8
        columns: 2
        columnSpacing: 10

        Label {
            Layout.fillWidth: true
            text: manager.dynTr + qsTr("Audio Enabled")
        }
        PageSwitch {
            id: audioSwitch

            objectName: "audioSwitch"
            checked: board.audioEnabled
            onToggled: board.setAudioEnabled(checked)
        }

        Label {
            Layout.fillWidth: true
            text: manager.dynTr + qsTr("Audio Volume")
            enabled: audioSwitch.checked
        }
        Label {
            text: Math.round(volumeSlider.position * 100) + "%"
            enabled: audioSwitch.checked
        }

        Slider {
            id: volumeSlider

            objectName: "volumeSlider"
            Layout.columnSpan: 2
            Layout.fillWidth: true
            from: 0
            to: 100
            stepSize: 1
            value: inspector.audioVolume
            enabled: audioSwitch.checked
            // The sample sound lets the technician hear the new level.
            onPressedChanged: {
                if (!pressed) {
                    inspector.audioPlay(manager.validSound);
                    inspector.setAudioVolume(Math.round(value));
                }
            }
        }
    }
}
