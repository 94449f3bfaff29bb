import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import "../../controls"
import "../../controls/settings"

// The stored settings of the wired interface. In "manual" mode the five address
// fields are checked with the GUI manager's rule for fixed settings before they
// are written into network.ethernet.config and sent to the network service.
Page {
    id: root

    readonly property var ethernet: network.ethernet
    readonly property bool manual: modeBox.currentText === "manual"

    // The first rule the fields break, as the message shown to the technician;
    // the empty text when they may be saved. "auto" mode checks nothing.
    function saveFailure() {
        if (!manual)
            return "";
        return manager.manualIpv4Failure(addressField.text, maskField.text, gatewayField.text,
                                         dns0Field.text, dns1Field.text);
    }

    function save() {
        Qt.inputMethod.hide();
        var failure = saveFailure();
        if (failure !== "") {
            messagePopup.text = failure;
            messagePopup.open();
            return;
        }
        var config = ethernet.config;
        config.address = addressField.text;
        config.mask = maskField.text;
        config.gateway = gatewayField.text;
        config.dns0 = dns0Field.text;
        config.dns1 = dns1Field.text;
        ethernet.save();
        leave();
    }

    function leave() {
        Qt.inputMethod.hide();
        if (root.StackView.view)
            root.StackView.view.pop();
    }

    title: manager.dynTr + qsTr("Ethernet Configuration")

    GridLayout {
        id: content

        anchors.top: parent.top
        anchors.topMargin: 20
        anchors.horizontalCenter: parent.horizontalCenter
        width: parent.width * 0.8
        columns: 2
        columnSpacing: 10

        Label {
            text: manager.dynTr + qsTr("Mode")
        }
        DropDown {
            id: modeBox

            objectName: "modeBox"
            Layout.fillWidth: true
            model: ["auto", "manual"]
            currentIndex: root.ethernet.method === "manual" ? 1 : 0
            onActivated: root.ethernet.method = currentText
        }

        Label {
            text: "IPV4 Address"
        }
        PaneAddressField {
            id: addressField

            objectName: "addressField"
            enabled: root.manual
            record: root.ethernet.config
            text: root.ethernet.config.address
        }

        Label {
            text: "IPV4 Netmask"
        }
        PaneAddressField {
            id: maskField

            objectName: "maskField"
            enabled: root.manual
            record: root.ethernet.config
            text: root.ethernet.config.mask
        }

        Label {
            text: "IPV4 Gateway"
        }
        PaneAddressField {
            id: gatewayField

            objectName: "gatewayField"
            enabled: root.manual
            record: root.ethernet.config
            text: root.ethernet.config.gateway
        }

        Label {
            text: "DNS #0"
        }
        PaneAddressField {
            id: dns0Field

            objectName: "dns0Field"
            enabled: root.manual
            record: root.ethernet.config
            text: root.ethernet.config.dns0
        }

        Label {
            text: "DNS #1"
        }
        PaneAddressField {
            id: dns1Field

            objectName: "dns1Field"
            enabled: root.manual
            record: root.ethernet.config
            text: root.ethernet.config.dns1
        }
    }

    RowLayout {
        anchors.bottom: parent.bottom
        anchors.horizontalCenter: parent.horizontalCenter
        width: content.width
        height: root.height / 10
        spacing: 20

        PageButton {
            objectName: "backButton"
            Layout.fillWidth: true
            Layout.fillHeight: true
            focusPolicy: Qt.StrongFocus
            text: manager.dynTr + qsTr("Back")
            onClicked: root.leave()
        }
        PageButton {
            objectName: "saveButton"
            Layout.fillWidth: true
            Layout.fillHeight: true
            focusPolicy: Qt.StrongFocus
            highlighted: true
            text: manager.dynTr + qsTr("Save")
            onClicked: root.save()
        }
    }

    CustomPopup {
        id: messagePopup

        objectName: "messagePopup"
    }
}
