import QtQuick 2.15
import QtTest 1.15
import "qrc:/qml/screens"
import "qrc:/qml/js/Tickets.js" as Tickets

// The figures block each ticket kind gets on the Valid and AlreadyValid screens,
// and the texts of the other result screens.
TestCase {
    id: testCase

    readonly property date expires: new Date(2031, 2, 7, 10, 30)

    name: "TicketBlock"
    when: windowShown
    // Items under test are created in the test case itself, so it is shown.
    visible: true
    width: 480
    height: 800

    Component {
        id: validComponent

        Valid {
            width: 480
            height: 800
        }
    }

    Component {
        id: alreadyValidComponent

        AlreadyValid {
            width: 480
            height: 800
        }
    }

    Component {
        id: invalidComponent

        Invalid {
            width: 480
            height: 800
        }
    }

    Component {
        id: outOfOrderComponent

        OutOfOrder {
            width: 480
            height: 800
        }
    }

    function init() {
        manager.language = "en_IE";
    }

    function transactionOf(type) {
        return {
            "valid": true, "type": type, "fareProduct": "Adult 90'", "passengeType": "Adult",
            "denyReason": "Unknown Error", "denyReasonId": 0,
            "details": {
                "deducted": type === Tickets.CardTransferEPurse ? 0 : 1.5,
                "remaining": type === Tickets.CardPeriodPass ? 2880
                             : (type === Tickets.CardEPurse || type === Tickets.CardCappingEPurse
                                || type === Tickets.CardTransferEPurse ? 0.75 : 7),
                "expires": testCase.expires,
                "transferRemainingMin": 45
            }
        };
    }

    function test_block_data() {
        var expiry = testCase.expires.toLocaleDateString(Qt.locale("en_IE"), "d MMM yy");
        var trips = { captions: ["Remaining", "Trips"], values: ["45 mins", "7"], bold: [true, true] };
        var purse = { captions: ["Deducted", "Balance"], values: ["€1.50", "€0.75"],
                      bold: [false, false] };
        var none = { captions: [], values: [], bold: [] };
        var kinds = [
            { type: 0, valid: { captions: ["Remaining"], values: ["45 mins"], bold: [true] } },
            { type: 5, valid: trips },
            { type: 16, valid: trips, already: none },
            { type: 12, valid: trips },
            { type: 14, valid: { captions: ["Remaining", "Balance"], values: ["45 mins", "€0.75"],
                                 bold: [true, false] } },
            { type: 8, valid: { captions: ["Remaining", "Expires"], values: ["2 days", expiry],
                                bold: [true, true] } },
            { type: 2, valid: purse },
            { type: 15, valid: purse, already: none },
            { type: 10, valid: none },
            { type: 13, valid: none },
            { type: 99, valid: none }
        ];
        var rows = [];
        for (var i = 0; i < kinds.length; ++i) {
            rows.push({ tag: "Valid " + kinds[i].type, screen: validComponent, type: kinds[i].type,
                        expected: kinds[i].valid });
            rows.push({ tag: "AlreadyValid " + kinds[i].type, screen: alreadyValidComponent,
                        type: kinds[i].type,
                        expected: kinds[i].already ? kinds[i].already : kinds[i].valid });
        }
        return rows;
    }

    function test_block(data) {
        manager.setTransaction(transactionOf(data.type));
        var page = createTemporaryObject(data.screen, testCase);
        compare(findChild(page, "subtitle").text, "Adult 90'");
        var block = findChild(page, "ticketBlock");
        var count = data.expected.captions.length;
        compare(block.columns.length, count);
        compare(block.visible, count > 0);
        compare(block.height, count > 0 ? 100 : 0);
        for (var i = 0; i < count; ++i) {
            compare(findChild(block, "caption" + i).text, data.expected.captions[i]);
            compare(findChild(block, "value" + i).text, data.expected.values[i]);
            compare(findChild(block, "value" + i).font.bold, data.expected.bold[i]);
        }
    }

    // Currency and dates are written the way the interface language writes them.
    function test_pageLocale() {
        manager.setTransaction(transactionOf(Tickets.CardEPurse));
        var page = createTemporaryObject(validComponent, testCase);
        compare(findChild(page, "value0").text, "€1.50");
        manager.language = "el_GR";
        compare(findChild(page, "value0").text, Number(1.5).toLocaleCurrencyString(Qt.locale("el_GR")));
        verify(findChild(page, "value0").text.indexOf("1,50") >= 0);

        manager.setTransaction(transactionOf(Tickets.CardPeriodPass));
        compare(findChild(page, "value1").text,
                testCase.expires.toLocaleDateString(Qt.locale("el_GR"), "d MMM yy"));
        compare(findChild(page, "value1").text, "7 Μαρ 31");
    }

    // A period pass whose expiry is unknown shows no date rather than garbage.
    function test_invalidExpiry() {
        var t = transactionOf(Tickets.CardPeriodPass);
        t.details.expires = new Date(NaN);
        manager.setTransaction(t);
        var page = createTemporaryObject(validComponent, testCase);
        compare(findChild(page, "value1").text, "");
    }

    function test_newTransactionUpdatesAShownPage() {
        manager.setTransaction(transactionOf(Tickets.CardEMV));
        var page = createTemporaryObject(validComponent, testCase);
        var block = findChild(page, "ticketBlock");
        verify(!block.visible);
        manager.setTransaction(transactionOf(Tickets.CardStoredJourneys));
        verify(block.visible);
        compare(findChild(block, "value1").text, "7");
    }

    function test_invalidShowsTheRefusal() {
        manager.setTransaction({ "valid": false, "type": 2, "denyReasonId": 205,
                                 "denyReason": "The card does not have sufficient balance",
                                 "fareProduct": "Adult", "details": {} });
        var page = createTemporaryObject(invalidComponent, testCase);
        compare(findChild(page, "title").text, "INVALID");
        compare(findChild(page, "subtitle").text, "");
        compare(findChild(page, "denyReason").text, "The card does not have sufficient balance");
        manager.language = "el_GR";
        compare(findChild(page, "title").text, "ΑΚΥΡΟ");
    }

    function test_outOfOrderShowsTheMessage() {
        manager.message = "#0002\nReader offline";
        var page = createTemporaryObject(outOfOrderComponent, testCase);
        compare(findChild(page, "subtitle").text, "#0002\nReader offline");
        manager.language = "el_GR";
        compare(findChild(page, "title").text, "ΠΡΟΣΩΡΙΝΑ\nΕΚΤΟΣ ΛΕΙΤΟΥΡΓΙΑΣ");
    }
}
