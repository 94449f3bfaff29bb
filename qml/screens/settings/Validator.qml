import QtQuick 2.15
import QtQuick.Controls 2.15
import "../../controls"
import "../../controls/settings"

// What the validator service reports about itself, its readers and its secure
// access module, and the way to its configuration.
Page {
    id: root

    // The validator manager; tests hand in their own.
    property var validator: validatorManager
    readonly property var rfid: root.validator.rfid
    readonly property var barcode: root.validator.barcode
    readonly property var sam: root.rfid ? root.rfid.sam : null
    readonly property color statusColor: Style.validatorStatusColor(root.validator.status)

    Flickable {
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: configure.top
        anchors.bottomMargin: 10
        contentWidth: width
        contentHeight: content.height + 20
        clip: true

        ScrollIndicator.vertical: ScrollIndicator {}

        Column {
            id: content

            y: 10
            width: parent.width * 0.8
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 10

            GroupBox {
                width: parent.width
                title: manager.dynTr + qsTr("Validator")

                Column {
                    width: parent.width

                    InfoRow {
                        width: parent.width
                        caption: manager.dynTr + qsTr("Serial Number")
                        value: manager.deviceId
                    }
                    InfoRow {
                        width: parent.width
                        caption: manager.dynTr + qsTr("Vehicle")
                        value: root.validator.vehicle
                    }
                    InfoRow {
                        width: parent.width
                        caption: manager.dynTr + qsTr("Version")
                        value: root.validator.version
                    }
                    InfoRow {
                        objectName: "statusRow"
                        width: parent.width
                        caption: manager.dynTr + qsTr("Status")
                        value: root.validator.status
                        valueColor: root.statusColor
                    }
                    InfoRow {
                        objectName: "reasonRow"
                        width: parent.width
                        caption: manager.dynTr + qsTr("Reason")
                        value: root.validator.reason
                        valueColor: root.statusColor
                    }
                }
            }

            GroupBox {
                width: parent.width
                title: manager.dynTr + qsTr("RFID")

                Column {
                    width: parent.width

                    InfoRow {
                        width: parent.width
                        caption: manager.dynTr + qsTr("Firmware")
                        value: root.rfid ? root.rfid.firmware : ""
                    }
                    InfoRow {
                        width: parent.width
                        caption: manager.dynTr + qsTr("Model")
                        value: root.rfid ? root.rfid.model + " " + root.rfid.manufacturer : ""
                    }
                    InfoRow {
                        width: parent.width
                        caption: manager.dynTr + qsTr("UID")
                        value: root.rfid ? root.rfid.deviceUid : ""
                    }
                    InfoRow {
                        width: parent.width
                        caption: manager.dynTr + qsTr("State")
                        value: root.rfid ? root.rfid.state : ""
                    }
                    InfoRow {
                        width: parent.width
                        caption: manager.dynTr + qsTr("Error")
                        value: root.rfid ? root.rfid.error : ""
                    }
                }
            }

            GroupBox {
                width: parent.width
                title: manager.dynTr + qsTr("Barcode")

                Column {
                    width: parent.width

                    InfoRow {
                        width: parent.width
                        caption: manager.dynTr + qsTr("Firmware")
                        value: root.barcode ? root.barcode.firmware : ""
                    }
                    InfoRow {
                        width: parent.width
                        caption: manager.dynTr + qsTr("Model")
                        value: root.barcode ? root.barcode.model + " " + root.barcode.manufacturer : ""
                    }
                    InfoRow {
                        width: parent.width
                        caption: manager.dynTr + qsTr("Active")
                        value: root.barcode ? root.barcode.active : ""
                    }
                    InfoRow {
                        width: parent.width
                        caption: manager.dynTr + qsTr("Enabled")
                        value: root.barcode ? root.barcode.enabled : ""
                    }
                }
            }

            // Empty while the reader reports no module.
            GroupBox {
                width: parent.width
                title: manager.dynTr + qsTr("SAM")

                Column {
                    width: parent.width

                    InfoRow {
                        width: parent.width
                        caption: manager.dynTr + qsTr("Slot")
                        value: root.sam ? root.sam.slot : ""
                    }
                    InfoRow {
                        width: parent.width
                        caption: manager.dynTr + qsTr("Name")
                        value: root.sam ? root.sam.name : ""
                    }
                    InfoRow {
                        width: parent.width
                        caption: manager.dynTr + qsTr("Version")
                        value: root.sam ? root.sam.version : ""
                    }
                    InfoRow {
                        width: parent.width
                        caption: manager.dynTr + qsTr("UID")
                        value: root.sam ? root.sam.uid : ""
                    }
                    InfoRow {
                        width: parent.width
                        caption: manager.dynTr + qsTr("Mode")
                        value: root.sam ? root.sam.mode : ""
                    }
                    InfoRow {
                        width: parent.width
                        caption: manager.dynTr + qsTr("Unlocked")
                        value: root.sam ? root.sam.unlocked : ""
                    }
                    InfoRow {
                        width: parent.width
                        caption: manager.dynTr + qsTr("Production")
                        value: root.sam ? Qt.formatDate(root.sam.production, "yyyy-MM-dd") : ""
                    }
                }
            }
        }
    }

    PageButton {
        id: configure

        objectName: "configureButton"
        anchors.bottom: parent.bottom
        anchors.horizontalCenter: parent.horizontalCenter
        width: parent.width * 0.8
        height: parent.height / 10
        highlighted: true
        text: manager.dynTr + qsTr("Configure")
        onClicked: root.StackView.view.push("qrc:/qml/screens/settings/ValidatorConfig.qml",
                                            { "validator": root.validator })
    }
}
