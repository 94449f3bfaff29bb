import "../pages"

// Idle page inviting the passenger to tap a card; its button switches to ScanBarcode.
ScanPage {
    frameFolder: "qrc:/qml/images/NFC/"
    lastFrame: 6
    hint: manager.dynTr + qsTr("SCAN\nYOUR CARD")
    buttonIcon: "qrc:/qml/images/Icons/qr-code.svg"
    buttonText: manager.dynTr + qsTr("SCAN\nTICKET")
    otherScreen: "ScanBarcode"
}
