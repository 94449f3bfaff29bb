import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import "../../controls"
import "../../controls/settings"

// Backlight, light sensor, pointer, theme and the display switch-off delay. The
// board is asked for its display state every second while the page is open.
Page {
    id: root

    title: manager.dynTr + qsTr("Display")

    Component.onCompleted: board.monitor(1000)
    Component.onDestruction: board.monitor(0)

    GridLayout {
        anchors.top: parent.top
        anchors.topMargin: 20
        anchors.horizontalCenter: parent.horizontalCenter
        width: parent.width * 0.8
        columns: 2
        columnSpacing: 10

        Label {
            Layout.fillWidth: true
            text: manager.dynTr + qsTr("Brightness Mode")
        }
        DropDown {
            id: modeBox

            objectName: "modeBox"
            model: ["auto", "manual"]
            currentIndex: board.displayBrightnessMode === "auto" ? 0 : 1
            onActivated: board.setDisplayBrightnessMode(currentText)
        }

        Label {
            Layout.fillWidth: true
            text: manager.dynTr + qsTr("Display Brightness")
            enabled: brightnessSlider.enabled
        }
        Label {
            text: Math.round(brightnessSlider.position * 100) + "%"
            enabled: brightnessSlider.enabled
        }

        Slider {
            id: brightnessSlider

            objectName: "brightnessSlider"
            Layout.columnSpan: 2
            Layout.fillWidth: true
            from: 0
            to: 100
            stepSize: 1
            value: board.displayBrightness
            enabled: modeBox.currentText === "manual"
            onPressedChanged: {
                if (!pressed)
                    board.setDisplayBrightness(Math.round(value));
            }
        }

        Label {
            Layout.fillWidth: true
            text: manager.dynTr + qsTr("Ambient Light Sensor")
        }
        Label {
            objectName: "sensorLabel"
            text: board.ambientLightSensor
            font.bold: true
        }

        Label {
            Layout.fillWidth: true
            text: manager.dynTr + qsTr("Show Cursor")
        }
        PageSwitch {
            objectName: "cursorSwitch"
            checked: manager.showCursor
            onToggled: manager.showCursor = checked
        }

        Label {
            Layout.fillWidth: true
            text: manager.dynTr + qsTr("Dark Theme")
        }
        PageSwitch {
            objectName: "themeSwitch"
            checked: Style.dark
            // The window's Material theme follows Style.dark; the choice lasts
            // until the program restarts.
            onToggled: {
                console.info(checked ? "[QML] Switching to dark theme"
                                     : "[QML] Switching to light theme");
                Style.dark = checked;
            }
        }

        Label {
            Layout.fillWidth: true
            text: manager.dynTr + qsTr("Display OFF (min)")

            MouseArea {
                id: offCaptionArea

                anchors.fill: parent
            }
        }
        SpinBox {
            id: offSpin

            objectName: "displayOffSpin"
            Layout.preferredWidth: 200
            from: 0
            to: 86400
            stepSize: 1
            editable: true
            value: manager.displayOffMin
            onValueModified: manager.displayOffMin = value
            ToolTip.visible: offCaptionArea.pressed || hovered
            ToolTip.text: ["The interval, in minutes, after which ",
                           "the display will turn off , if in Out-",
                           "of-Order or Out-of-Service state."].join("\n")
        }
    }
}
