import "../pages"

// Idle page inviting the passenger to scan a paper ticket; its button switches to ScanCard.
ScanPage {
    frameFolder: "qrc:/qml/images/Barcode/"
    lastFrame: 8
    hint: manager.dynTr + qsTr("SCAN YOUR\nTICKET")
    buttonIcon: "qrc:/qml/images/Icons/nfc.svg"
    buttonText: manager.dynTr + qsTr("SCAN\nCARD")
    otherScreen: "ScanCard"
}
