import QtQuick 2.15
import QtQuick.Layouts 1.15
import "../controls"
import "../pages"

// The card was not read completely: present it again.
ResultPage {
    icon: "qrc:/qml/images/Icons/retry.svg"
    iconSize: 250
    iconColor: Style.warning
    title: manager.dynTr + qsTr("PLEASE TRY AGAIN")
    titleSize: 24
    titleHeight: 200
    titleMargin: 40
    subtitle: ""

    Item {
        Layout.fillWidth: true
        Layout.preferredHeight: 100
    }
}
