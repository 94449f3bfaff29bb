import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import QtQuick.Extras 1.4
import "../../controls"
import "../../controls/settings"

// Locale, language, number and time formats, time zone and network time.
Page {
    id: root

    readonly property var locales: ["en_US", "en_IE", "el_GR"]
    readonly property real rowHeight: height * 0.08
    readonly property real captionWidth: content.width / 3

    // The page and its controls speak the chosen language.
    locale: Qt.locale(manager.language)
    title: manager.dynTr + qsTr("Region")

    // The NTP state is asked for again on every visit.
    Component.onCompleted: manager.clock.refresh()

    GridLayout {
        id: content

        anchors.top: parent.top
        anchors.topMargin: 20
        anchors.horizontalCenter: parent.horizontalCenter
        width: parent.width * 0.8
        columns: 2
        rowSpacing: 0
        columnSpacing: 10

        Label {
            Layout.preferredWidth: root.captionWidth
            Layout.preferredHeight: root.rowHeight
            verticalAlignment: Text.AlignVCenter
            text: manager.dynTr + qsTr("Locale")
        }
        DropDown {
            objectName: "localeBox"
            Layout.fillWidth: true
            model: root.locales
            currentIndex: root.locales.indexOf(manager.language)
            onActivated: manager.language = currentText
        }

        Label {
            Layout.preferredWidth: root.captionWidth
            Layout.preferredHeight: root.rowHeight
            verticalAlignment: Text.AlignVCenter
            text: manager.dynTr + qsTr("Language")
        }
        RowLayout {
            Layout.fillWidth: true
            spacing: 15

            Label {
                Layout.fillWidth: true
                text: root.locale.nativeLanguageName
                font.bold: true
            }
            RoundButton {
                objectName: "flagButton"
                // The bundle has the Greek flag and, for every English locale,
                // the American one.
                icon: manager.language === "el_GR" ? "qrc:/qml/images/Flags/gr.png"
                                                   : "qrc:/qml/images/Flags/us.png"
                pngImage: true
                radius: 22
                iconSize: 40
            }
        }

        Label {
            Layout.preferredWidth: root.captionWidth
            Layout.preferredHeight: root.rowHeight
            verticalAlignment: Text.AlignVCenter
            text: manager.dynTr + qsTr("Currency Format")
        }
        Label {
            Layout.fillWidth: true
            text: Number(0.99).toLocaleCurrencyString(root.locale)
            font.bold: true
        }

        Label {
            Layout.preferredWidth: root.captionWidth
            Layout.preferredHeight: root.rowHeight
            verticalAlignment: Text.AlignVCenter
            text: manager.dynTr + qsTr("Time Format")
        }
        Label {
            id: timeLabel

            objectName: "timeText"
            Layout.fillWidth: true
            font.bold: true

            Timer {
                interval: 1000
                repeat: true
                running: true
                triggeredOnStart: true
                onTriggered: timeLabel.text = new Date().toLocaleString(root.locale,
                                                                         "d MMM yy, hh:mm:ss t")
            }
        }

        Label {
            Layout.preferredWidth: root.captionWidth
            Layout.preferredHeight: root.rowHeight
            verticalAlignment: Text.AlignVCenter
            text: manager.dynTr + qsTr("Timezone")
        }
        DropDown {
            objectName: "timezoneBox"
            Layout.fillWidth: true
            model: manager.clock.timezones
            // Each read of the zone asks the system once.
            currentIndex: model.indexOf(manager.clock.timezone)
            onActivated: manager.clock.timezone = currentText
        }

        Label {
            Layout.preferredWidth: root.captionWidth
            Layout.preferredHeight: root.rowHeight
            verticalAlignment: Text.AlignVCenter
            text: manager.dynTr + qsTr("NTP server")
        }
        TextField {
            objectName: "ntpServerField"
            Layout.fillWidth: true
            text: manager.clock.ntpServer
            inputMethodHints: Qt.ImhNoAutoUppercase | Qt.ImhNoPredictiveText
            onEditingFinished: manager.clock.ntpServer = text
        }

        Label {
            Layout.preferredWidth: root.captionWidth
            Layout.preferredHeight: root.rowHeight
            verticalAlignment: Text.AlignVCenter
            text: manager.dynTr + qsTr("NTP Active")
        }
        PageSwitch {
            objectName: "ntpActiveSwitch"
            checked: manager.clock.ntpEnabled
            onToggled: manager.clock.ntpEnabled = checked
        }

        Label {
            Layout.preferredWidth: root.captionWidth
            Layout.preferredHeight: root.rowHeight
            verticalAlignment: Text.AlignVCenter
            text: manager.dynTr + qsTr("NTP Synced")
        }
        StatusIndicator {
            objectName: "ntpSyncedLamp"
            color: "green"
            active: manager.clock.ntpSynced
        }
    }

    PageButton {
        objectName: "ntpSyncButton"
        anchors.bottom: parent.bottom
        anchors.horizontalCenter: parent.horizontalCenter
        width: content.width
        height: root.height / 10
        highlighted: true
        text: manager.dynTr + qsTr("NTP SYNC")
        onClicked: manager.clock.ntpSync()
    }
}
