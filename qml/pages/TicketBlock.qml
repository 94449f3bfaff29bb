import QtQuick 2.15
import QtQuick.Layouts 1.15
import "../controls"
import "../js/Period.js" as Period
import "../js/Tickets.js" as Tickets

// The figures of a valid ticket below the separator: one block per ticket kind
// (see Tickets.kindFor). `texts` carries the translated captions and unit
// words (TicketResult translates them).
Item {
    id: root

    property string kind
    property var details: ({})
    property var locale: Qt.locale()
    property var texts: ({})

    readonly property var columns: {
        var d = root.details || {};
        var t = root.texts;
        var period = function (minutes) { return Period.periodText(minutes, t.units); };
        switch (root.kind) {
        case "transfer":
            return [{ "caption": t.remaining, "value": period(d.transferRemainingMin), "bold": true }];
        case "trips":
            return [{ "caption": t.remaining, "value": period(d.transferRemainingMin), "bold": true },
                    { "caption": t.trips, "value": String(Number(d.remaining || 0)), "bold": true }];
        case "transferBalance":
            return [{ "caption": t.remaining, "value": period(d.transferRemainingMin), "bold": true },
                    { "caption": t.balance, "value": Tickets.currency(d.remaining, root.locale),
                      "bold": false }];
        case "period":
            return [{ "caption": t.remaining, "value": period(d.remaining), "bold": true },
                    { "caption": t.expires, "value": Tickets.date(d.expires, root.locale),
                      "bold": true }];
        case "purse":
            return [{ "caption": t.deducted, "value": Tickets.currency(d.deducted, root.locale),
                      "bold": false },
                    { "caption": t.balance, "value": Tickets.currency(d.remaining, root.locale),
                      "bold": false }];
        default:
            return [];
        }
    }
    readonly property bool centred: columns.length === 1

    Layout.fillWidth: true
    Layout.preferredHeight: columns.length > 0 ? 100 : 0
    implicitHeight: columns.length > 0 ? 100 : 0
    visible: columns.length > 0

    // No kind has more than two figures. The two columns are made once and only
    // their texts change with each ticket: making them anew on every scan result
    // cost more than drawing the page.
    Repeater {
        model: 2

        Column {
            id: figureColumn

            readonly property bool isRight: index === 1
            readonly property var figure: root.columns[index] || {}

            visible: index < root.columns.length
            x: root.centred ? 0 : (isRight ? root.width / 2 : Style.pageMargin)
            width: root.centred ? root.width : root.width / 2 - Style.pageMargin

            Text {
                objectName: "caption" + index
                width: parent.width
                height: 30
                text: figureColumn.figure.caption || ""
                color: Style.foreground
                font.family: Style.fontFamily
                font.pointSize: 10
                horizontalAlignment: root.centred ? Text.AlignHCenter
                                                  : (isRight ? Text.AlignRight : Text.AlignLeft)
                verticalAlignment: Text.AlignVCenter
            }

            Text {
                objectName: "value" + index
                width: parent.width
                height: 70
                text: figureColumn.figure.value || ""
                color: Style.foreground
                font.family: Style.fontFamily
                font.pointSize: 14
                font.bold: figureColumn.figure.bold === true
                horizontalAlignment: root.centred ? Text.AlignHCenter
                                                  : (isRight ? Text.AlignRight : Text.AlignLeft)
                verticalAlignment: Text.AlignTop
                wrapMode: Text.WordWrap
            }
        }
    }
}
