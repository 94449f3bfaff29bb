import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import "../../controls"
import "../../controls/settings"

// What the network service reports: the primary connection on one pane, the
// wired interface on the other, from where its settings page is opened.
Page {
    id: root

    readonly property var primary: network.primaryConnection
    readonly property var ethernet: network.ethernet

    title: manager.dynTr + qsTr("Network")

    header: TabBar {
        id: tabs

        currentIndex: panes.currentIndex

        TabButton {
            text: manager.dynTr + qsTr("General")
        }
        TabButton {
            objectName: "ethernetTab"
            text: manager.dynTr + qsTr("Ethernet")
        }
    }

    SwipeView {
        id: panes

        anchors.fill: parent
        currentIndex: tabs.currentIndex
        clip: true

        Item {
            ColumnLayout {
                anchors.top: parent.top
                anchors.topMargin: 20
                anchors.horizontalCenter: parent.horizontalCenter
                width: parent.width * 0.8
                spacing: 12

                Label {
                    text: manager.dynTr + qsTr("Primary Connection")
                    color: Style.accent
                    font.pointSize: 12
                }
                PaneRow {
                    objectName: "connectionStateRow"
                    caption: manager.dynTr + qsTr("Connection State")
                    value: network.connectionState
                    valueColor: Style.connectionStateColor(value)
                }
                PaneRow {
                    objectName: "connectivityRow"
                    caption: manager.dynTr + qsTr("Connectivity")
                    value: network.connectivity
                    valueColor: Style.connectivityColor(value)
                }
                PaneRow {
                    caption: manager.dynTr + qsTr("Hostname")
                    value: network.hostname
                }
                PaneRow {
                    caption: manager.dynTr + qsTr("Connection Type")
                    value: root.primary ? root.primary.type : ""
                }
                PaneRow {
                    caption: manager.dynTr + qsTr("Interface")
                    value: root.primary ? root.primary.interface : ""
                }
                PaneRow {
                    caption: "IPv4 Address"
                    value: root.primary ? root.primary.ipv4.address : ""
                }
                PaneRow {
                    caption: "IPv4 Netmask"
                    value: root.primary ? root.primary.ipv4.mask : ""
                }
                PaneRow {
                    caption: "IPv4 Gateway"
                    value: root.primary ? root.primary.ipv4.gateway : ""
                }
                PaneRow {
                    caption: "IPv4 DNS"
                    value: root.primary ? root.primary.ipv4.dns0 : ""
                }
            }
        }

        Item {
            ColumnLayout {
                anchors.top: parent.top
                anchors.topMargin: 20
                anchors.horizontalCenter: parent.horizontalCenter
                width: parent.width * 0.8
                spacing: 12

                Label {
                    text: manager.dynTr + qsTr("Connection State")
                    color: Style.accent
                    font.pointSize: 12
                }
                PaneRow {
                    objectName: "ethernetStateRow"
                    caption: manager.dynTr + qsTr("State")
                    value: root.ethernet.state
                    valueColor: Style.connectionStateColor(value)
                }
                PaneRow {
                    caption: "IPv4 Address"
                    value: root.ethernet.ipv4.address
                }
                PaneRow {
                    caption: "IPv4 Netmask"
                    value: root.ethernet.ipv4.mask
                }
                PaneRow {
                    caption: "IPv4 Gateway"
                    value: root.ethernet.ipv4.gateway
                }
                PaneRow {
                    caption: "IPv4 DNS#0"
                    value: root.ethernet.ipv4.dns0
                }
                PaneRow {
                    caption: "IPv4 DNS#1"
                    value: root.ethernet.ipv4.dns1
                }
                PaneRow {
                    caption: "MAC"
                    value: root.ethernet.mac
                }
                PaneRow {
                    caption: manager.dynTr + qsTr("Interface")
                    value: root.ethernet.interface
                }
                PaneRow {
                    caption: manager.dynTr + qsTr("State Change Reason")
                    value: root.ethernet.reason
                }
            }

            PageButton {
                objectName: "configureButton"
                anchors.bottom: parent.bottom
                anchors.horizontalCenter: parent.horizontalCenter
                width: parent.width * 0.8
                height: root.height / 10
                highlighted: true
                text: manager.dynTr + qsTr("Configure")
                onClicked: root.StackView.view.push("qrc:/qml/screens/settings/EthernetConfig.qml")
            }
        }
    }
}
