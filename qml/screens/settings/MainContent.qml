import QtQuick 2.15
import QtQuick.Controls 2.15
import "../../controls"
import "../../controls/settings" as Settings

// The settings area as the technician sees it (Main.qml makes it when first shown):
// the header, the menu of pages on its navigation stack, the keyboard and the popups.
Item {
    id: area

    // The Settings screen these controls are made for: its pages and validator.
    property Item settings

    // Index in `pages` of the open page, -1 on the menu.
    property int openIndex: -1
    readonly property bool pageOpen: stack.depth > 1
    // A page can take the whole screen (the display colour test) and hide the header.
    readonly property bool pageFullScreen: area.pageOpen && stack.currentItem !== null
                                           && stack.currentItem.fullScreen === true

    // A page's own title (a page opened from another has one), else its menu row's.
    function pageTitle() {
        var page = stack.currentItem;
        if (page && typeof page.title === "string" && page.title !== "")
            return page.title;
        return area.openIndex >= 0 ? settings.pages[area.openIndex].title : "";
    }

    // Opens the page of menu row `index`, unless a page is already open.
    function openPage(index) {
        if (area.pageOpen)
            return;
        if (stack.push(settings.pageFolder + settings.pages[index].page) !== null)
            area.openIndex = index;
    }

    function closePage() {
        if (area.pageOpen)
            stack.pop();
        Qt.inputMethod.hide();
    }

    // Back to the menu with nothing left open.
    function reset() {
        stack.pop(null, StackView.Immediate);
        area.openIndex = -1;
        configPopup.close();
        confirmDialog.close();
        header.closeMenu();
        Qt.inputMethod.hide();
    }

    onVisibleChanged: area.reset()

    Connections {
        target: manager

        function onBarcodeConfigurationApplied(configList) {
            configPopup.text = "CONFIGURATION APPLIED\n" + configList.join("\n");
            configPopup.open();
        }
    }

    Settings.Header {
        id: header

        objectName: "settingsHeader"
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        visible: !area.pageFullScreen
        backVisible: area.pageOpen
        title: area.pageOpen ? area.pageTitle() : manager.dynTr + qsTr("Settings")

        onBackClicked: area.closePage()
        onScanConfigRequested: {
            configPopup.text = "Scan Configuration QR code";
            configPopup.open();
        }
        onCommandRequested: {
            confirmDialog.command = command;
            confirmDialog.open();
        }
        onLogoutRequested: manager.settingsLogoutRequest()
    }

    StackView {
        id: stack

        objectName: "settingsStack"
        anchors.top: header.visible ? header.bottom : parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        initialItem: menu
        onDepthChanged: {
            if (stack.depth === 1)
                area.openIndex = -1;
        }
    }

    Component {
        id: menu

        Column {
            objectName: "settingsMenu"

            Repeater {
                model: settings.pages

                Settings.RowButton {
                    objectName: "menuRow" + index
                    width: stack.width
                    height: stack.height / 8
                    title: modelData.title
                    hint: modelData.hint
                    icon: "qrc:/qml/images/Icons/" + modelData.icon
                    onClicked: area.openPage(index)
                }
            }
        }
    }

    // Slides up over the stack; Enter hides it.
    SlidingKeyboard {
        id: keyboard

        z: 1

        onEnterPressed: Qt.inputMethod.hide()
    }

    // The barcode reader is on only while this popup is open, so that a
    // maintenance barcode can be scanned. A popup closed because the settings area
    // went away leaves the reader to the passenger screen's choice.
    CustomPopup {
        id: configPopup

        objectName: "configPopup"
        onOpened: settings.validator.enableBarcode()
        onClosed: {
            if (manager.screen === "Settings")
                settings.validator.disableBarcode();
        }
    }

    CustomPopup {
        id: confirmDialog

        property string command

        objectName: "confirmDialog"
        isDialog: true
        text: "Are you sure?"
        onButtonYesPressed: {
            if (confirmDialog.command === "reboot")
                manager.rebootRequest();
            else if (confirmDialog.command === "shutdown")
                manager.shutdownRequest();
            else if (confirmDialog.command === "restart")
                manager.exitRequest();
        }
    }
}
