import QtQuick 2.15
import "../controls"
import "../js/Tickets.js" as Tickets

// Result of a validation: symbol, label, fare product, then the figures of the
// ticket kind.
ResultPage {
    id: root

    // Currency and dates follow the interface language.
    property var locale: Qt.locale(manager.language)

    icon: "qrc:/qml/images/Icons/warning.svg"
    iconSize: 250
    iconColor: Style.warning
    title: manager.dynTr + qsTr("ALREADY VALIDATED")
    titleSize: 24
    subtitle: transaction.fareProduct || ""
    subtitleSize: 14

    TicketBlock {
        objectName: "ticketBlock"
        kind: Tickets.kindFor(transaction.type, "AlreadyValid")
        details: transaction.details
        locale: root.locale
        texts: ({
            "remaining": manager.dynTr + qsTr("Remaining"),
            "trips": manager.dynTr + qsTr("Trips"),
            "balance": manager.dynTr + qsTr("Balance"),
            "deducted": manager.dynTr + qsTr("Deducted"),
            "expires": manager.dynTr + qsTr("Expires"),
            "units": {
                "day": manager.dynTr + qsTr("day"),
                "days": manager.dynTr + qsTr("days"),
                "hour": manager.dynTr + qsTr("hour"),
                "hours": manager.dynTr + qsTr("hours"),
                "min": manager.dynTr + qsTr("min"),
                "mins": manager.dynTr + qsTr("mins")
            }
        })
    }
}
