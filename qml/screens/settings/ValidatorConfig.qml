import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import "../../controls"
import "../../controls/settings"

// The validator's configuration (on-board computer, passback) and the GUI's own
// shutdown delay and error display. Nothing is written before "Save".
Page {
    id: root

    // The validator manager; tests hand in their own.
    property var validator: validatorManager
    readonly property var config: root.validator.config
    // True while at least one control shows something other than what is stored.
    readonly property bool changed: root.config !== undefined && root.config !== null
                                    && (urlField.text !== String(root.config.obuUrl)
                                        || passback.value !== root.config.passbackSecs
                                        || qrSwitch.checked !== root.config.passbackQrEnabled
                                        || shutdownDelay.value !== manager.shutdownDelaySec
                                        || errorSwitch.checked !== manager.showErrorDesc)

    function close() {
        Qt.inputMethod.hide();
        if (root.StackView.view)
            root.StackView.view.pop();
    }

    function save() {
        root.config.obuUrl = urlField.text;
        root.config.passbackSecs = passback.value;
        root.config.passbackQrEnabled = qrSwitch.checked;
        root.validator.saveConfig();
        manager.shutdownDelaySec = shutdownDelay.value;
        manager.showErrorDesc = errorSwitch.checked;
        root.close();
    }

    Flickable {
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: buttons.top
        contentWidth: width
        contentHeight: grid.height + 40
        clip: true

        GridLayout {
            id: grid

            y: 20
            width: parent.width * 0.8
            anchors.horizontalCenter: parent.horizontalCenter
            columns: 2
            columnSpacing: 10
            rowSpacing: 10

            Label {
                text: manager.dynTr + qsTr("OBC URL")
            }
            TextField {
                id: urlField

                objectName: "urlField"
                Layout.fillWidth: true
                text: root.config ? String(root.config.obuUrl) : ""
                inputMethodHints: Qt.ImhUrlCharactersOnly | Qt.ImhNoPredictiveText | Qt.ImhLatinOnly
            }

            Label {
                text: manager.dynTr + qsTr("Passback Time (sec)")
            }
            SpinBox {
                id: passback

                objectName: "passbackBox"
                Layout.alignment: Qt.AlignRight
                from: 0
                to: 86400
                stepSize: 1
                editable: true
                value: root.config ? root.config.passbackSecs : 0
            }

            Label {
                text: manager.dynTr + qsTr("Shutdown Delay (sec)")
            }
            SpinBox {
                id: shutdownDelay

                objectName: "shutdownDelayBox"
                Layout.alignment: Qt.AlignRight
                from: 5
                to: 900
                stepSize: 5
                editable: true
                value: manager.shutdownDelaySec
                ToolTip.visible: shutdownDelay.activeFocus
                ToolTip.timeout: 5000
                ToolTip.text: "The delay, in seconds, after which the system\n"
                              + "will start the shutdown sequence, providing that\n"
                              + "the ignition has been turned off (max=900 sec)."
            }

            Label {
                text: manager.dynTr + qsTr("QR Passback Enabled")
            }
            PageSwitch {
                id: qrSwitch

                objectName: "qrSwitch"
                Layout.alignment: Qt.AlignRight
                checked: root.config ? root.config.passbackQrEnabled : false
            }

            Label {
                text: manager.dynTr + qsTr("Show Error Description")
            }
            PageSwitch {
                id: errorSwitch

                objectName: "errorSwitch"
                Layout.alignment: Qt.AlignRight
                checked: manager.showErrorDesc
                ToolTip.visible: errorSwitch.pressed
                ToolTip.text: "If enabled, a full error description will\n"
                              + "be displayed in the 'Out-of-Order' screen\n"
                              + "instead of just an error code."
            }
        }
    }

    Row {
        id: buttons

        anchors.bottom: parent.bottom
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: 10

        PageButton {
            objectName: "backButton"
            width: root.width * 0.4 - 5
            height: root.height / 10
            focusPolicy: Qt.StrongFocus
            text: manager.dynTr + qsTr("Back")
            onActiveFocusChanged: {
                if (activeFocus)
                    Qt.inputMethod.hide();
            }
            onClicked: {
                root.validator.refreshConfig();
                root.close();
            }
        }

        PageButton {
            objectName: "saveButton"
            width: root.width * 0.4 - 5
            height: root.height / 10
            focusPolicy: Qt.StrongFocus
            highlighted: true
            enabled: root.changed
            text: manager.dynTr + qsTr("Save")
            onActiveFocusChanged: {
                if (activeFocus)
                    Qt.inputMethod.hide();
            }
            onClicked: root.save()
        }
    }
}
