import QtQuick 2.15
import "../../controls"

// The settings area: its own header, the menu of settings pages on a navigation
// stack, the device commands of the header menu, and the maintenance barcode's
// confirmation. Every visit starts on the menu.
Item {
    id: root

    // The validator manager, whose barcode reader reads maintenance barcodes;
    // tests hand in their own.
    property var validator: validatorManager
    readonly property string pageFolder: "qrc:/qml/screens/settings/"
    readonly property var pages: [
        { "title": manager.dynTr + qsTr("Validator"), "hint": manager.dynTr + qsTr("Validator information and settings"),
          "page": "Validator.qml", "icon": "ticket.svg" },
        { "title": manager.dynTr + qsTr("Diagnostics"), "hint": manager.dynTr + qsTr("System health and diagnostic"),
          "page": "Diagnostics.qml", "icon": "diagnostic.svg" },
        { "title": manager.dynTr + qsTr("Region"), "hint": manager.dynTr + qsTr("Date, time and languange settings"),
          "page": "Region.qml", "icon": "region.svg" },
        { "title": manager.dynTr + qsTr("Audio"), "hint": manager.dynTr + qsTr("Adjust audio volume"),
          "page": "Audio.qml", "icon": "audio.svg" },
        { "title": manager.dynTr + qsTr("Display"), "hint": manager.dynTr + qsTr("Adjust display brightness and mode"),
          "page": "Display.qml", "icon": "brightness-2.svg" },
        { "title": manager.dynTr + qsTr("Network"), "hint": manager.dynTr + qsTr("Configure Ethernet, WiFi and Modem"),
          "page": "Network.qml", "icon": "network.svg" },
        { "title": manager.dynTr + qsTr("Update"), "hint": manager.dynTr + qsTr("Check for software and sytem updates"),
          "page": "Update.qml", "icon": "update.svg" },
        { "title": manager.dynTr + qsTr("Event Log"), "hint": manager.dynTr + qsTr("Examine system events and alarms"),
          "page": "EventLog.qml", "icon": "log.svg" }
    ]

    ShownContent {
        file: "MainContent.qml"
        initialProperties: ({ "settings": root })
    }
}
