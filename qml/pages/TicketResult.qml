import QtQuick 2.15
import "../controls"
import "../js/Tickets.js" as Tickets

// An accepted validation (Valid) or one accepted before (AlreadyValid): symbol,
// label, fare product, then the figures of the ticket kind. The captions and
// unit words are the same on both screens and translated here.
ResultPage {
    id: root

    // The screen's name, which decides the ticket kinds it has figures for.
    property string screenName

    // Currency and dates follow the interface language.
    property var locale: Qt.locale(manager.language)

    iconSize: 250
    subtitle: root.ticket.fareProduct || ""
    subtitleSize: 14

    TicketBlock {
        objectName: "ticketBlock"
        kind: Tickets.kindFor(root.ticket.type, root.screenName)
        details: root.ticket.details
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
