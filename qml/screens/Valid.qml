import "../controls"
import "../pages"

// A ticket accepted now.
TicketResult {
    screenName: "Valid"
    icon: "qrc:/qml/images/Icons/valid.svg"
    iconColor: Style.valid
    title: manager.dynTr + qsTr("VALID")
    titleSize: 32
}
