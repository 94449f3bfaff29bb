import "../controls"
import "../pages"

// A ticket that had been accepted before, shown with the same figures.
TicketResult {
    screenName: "AlreadyValid"
    icon: "qrc:/qml/images/Icons/warning.svg"
    iconColor: Style.warning
    title: manager.dynTr + qsTr("ALREADY VALIDATED")
    titleSize: 24
}
