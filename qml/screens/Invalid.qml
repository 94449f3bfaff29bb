import QtQuick 2.15
import QtQuick.Layouts 1.15
import "../controls"
import "../pages"

// A refused ticket, with the reason the validator gave.
ResultPage {
    id: root

    icon: "qrc:/qml/images/Icons/invalid.svg"
    iconSize: 250
    iconColor: Style.invalid
    title: manager.dynTr + qsTr("INVALID")
    titleSize: 32
    subtitle: ""

    TextBox {
        objectName: "denyReason"
        Layout.preferredHeight: 100
        text: root.ticket.denyReason || ""
        textSize: 14
        leftMargin: 35
        rightMargin: 25
    }
}
