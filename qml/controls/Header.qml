import QtQuick 2.15

// The bar at the top of the passenger screens: the language flag on the left,
// the clock on the right. The clock's gesture opens the maintenance login.
Item {
    id: root

    readonly property bool greek: manager.language === "el_GR"

    signal magicButtonPressed()

    height: 120

    RoundButton {
        id: flag

        objectName: "languageButton"
        anchors.left: parent.left
        anchors.leftMargin: 30
        anchors.verticalCenter: parent.verticalCenter
        radius: 35
        iconSize: 100
        pngImage: true
        icon: root.greek ? "qrc:/qml/images/Flags/uk.png" : "qrc:/qml/images/Flags/gr.png"
        onClicked: manager.language = root.greek ? "en_IE" : "el_GR"
    }

    Clock {
        id: clock

        objectName: "headerClock"
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        dateFormat: "dd-MMM-yyyy"
        timeFormat: "hh:mm"
        onPressAndHold: root.magicButtonPressed()
    }
}
