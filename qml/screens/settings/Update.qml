import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import "../../controls"
import "../../controls/settings"

// The installed and pending software versions, the update service's progress,
// and the requests to look for an update and to install it.
Page {
    id: root

    readonly property var update: manager.update

    title: manager.dynTr + qsTr("Update")

    ColumnLayout {
        id: content

        anchors.top: parent.top
        anchors.topMargin: 20
        anchors.horizontalCenter: parent.horizontalCenter
        width: parent.width * 0.8
        spacing: 16

        PaneRow {
            objectName: "statusRow"
            caption: manager.dynTr + qsTr("Status")
            value: root.update.status
            valueColor: Style.updateStatusColor(value)
        }
        PaneRow {
            objectName: "currentRow"
            caption: manager.dynTr + qsTr("Current Version")
            value: root.update.current !== "" ? root.update.current
                                              : manager.dynTr + qsTr("None")
        }
        PaneRow {
            objectName: "pendingRow"
            caption: manager.dynTr + qsTr("Pending Version")
            value: root.update.pending !== "" ? root.update.pending
                                              : manager.dynTr + qsTr("None")
        }
        Label {
            text: manager.dynTr + qsTr("Progress")
        }
        ProgressBar {
            Layout.fillWidth: true
            from: 0
            to: 100
            value: root.update.progressPercent
        }
        Label {
            Layout.fillWidth: true
            text: root.update.progressMessage
            wrapMode: Text.WordWrap
        }
    }

    RowLayout {
        anchors.bottom: parent.bottom
        anchors.horizontalCenter: parent.horizontalCenter
        width: content.width
        height: root.height / 10
        spacing: 20

        PageButton {
            objectName: "checkButton"
            Layout.fillWidth: true
            Layout.fillHeight: true
            text: manager.dynTr + qsTr("Check")
            onClicked: root.update.check()
        }
        PageButton {
            objectName: "installButton"
            Layout.fillWidth: true
            Layout.fillHeight: true
            highlighted: true
            enabled: root.update.status === "Ready to install"
            text: manager.dynTr + qsTr("Install")
            onClicked: root.update.install()
        }
    }
}
