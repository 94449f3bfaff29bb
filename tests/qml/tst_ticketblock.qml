import QtQuick 2.15
import QtTest 1.15

// The figures block each ticket kind gets on the Valid and AlreadyValid screens, the
// remaining-time text at its borders in both languages, and the refusal on the
// Invalid screen.
DisplayTestCase {
    id: testCase

    readonly property date expires: new Date(2031, 2, 7, 10, 30)

    name: "TicketBlock"

    // One of the result screens, filling the display.
    function show(screen) {
        var component = Qt.createComponent("qrc:/qml/screens/" + screen + ".qml");
        return createTemporaryObject(component, testCase, { "width": 480, "height": 800 });
    }

    function cleanup() {
        manager.language = "en_IE";
    }

    function transactionOf(type, remaining) {
        return { "valid": true, "type": type, "fareProduct": "Adult 90'",
                 "denyReason": "The card is blocked",
                 "details": { "deducted": 1.5, "remaining": remaining, "expires": testCase.expires,
                              "transferRemainingMin": 45 } };
    }

    // Type, the remaining value it carries, then captions and values of its columns
    // (bold ones marked with a *) on Valid, and on AlreadyValid where they differ.
    function test_block_data() {
        var trips = ["Remaining", "45 mins*", "Trips", "7*"];
        var purse = ["Deducted", "€1.50", "Balance", "€0.75"];
        var kinds = [
            { type: 0, remaining: 7, valid: ["Remaining", "45 mins*"] },
            { type: 5, remaining: 7, valid: trips },
            { type: 16, remaining: 7, valid: trips, already: [] },
            { type: 12, remaining: 7, valid: trips },
            { type: 14, remaining: 0.75, valid: ["Remaining", "45 mins*", "Balance", "€0.75"] },
            { type: 8, remaining: 2880, valid: ["Remaining", "2 days*", "Expires", "7 Mar 31*"] },
            { type: 2, remaining: 0.75, valid: purse },
            { type: 15, remaining: 0.75, valid: purse, already: [] },
            { type: 10, remaining: 7, valid: [] },
            { type: 99, remaining: 7, valid: [] }
        ];
        var rows = [];
        for (var i = 0; i < kinds.length; ++i) {
            var k = kinds[i];
            rows.push({ tag: "Valid " + k.type, screen: "Valid", kind: k, expected: k.valid });
            rows.push({ tag: "AlreadyValid " + k.type, screen: "AlreadyValid", kind: k,
                        expected: k.already ? k.already : k.valid });
        }
        return rows;
    }

    function test_block(data) {
        harness.setTransaction(transactionOf(data.kind.type, data.kind.remaining));
        var page = show(data.screen);
        compare(findChild(page, "subtitle").text, "Adult 90'");
        var block = findChild(page, "ticketBlock");
        var shown = [];
        for (var i = 0; i < block.columns.length; ++i) {
            var value = findChild(block, "value" + i);
            shown.push(findChild(block, "caption" + i).text, value.text + (value.font.bold ? "*" : ""));
        }
        compare(shown, data.expected);
        compare(block.visible, shown.length > 0);
    }

    function test_period_data() {
        var borders = [
            { minutes: 0, en: "0 mins", el: "0 λεπτά" },
            { minutes: 1, en: "1 min", el: "1 λεπτό" },
            { minutes: 2, en: "2 mins", el: "2 λεπτά" },
            { minutes: 120, en: "120 mins", el: "120 λεπτά" },
            { minutes: 121, en: "2 hours", el: "2 ώρες" },
            { minutes: 1440, en: "24 hours", el: "24 ώρες" },
            { minutes: 1441, en: "1 day", el: "1 ημέρα" },
            { minutes: 2159, en: "1 day", el: "1 ημέρα" },
            { minutes: 2160, en: "2 days", el: "2 ημέρες" },
            { minutes: undefined, en: "0 mins", el: "0 λεπτά" }
        ];
        var rows = [];
        for (var i = 0; i < borders.length; ++i) {
            var b = borders[i];
            rows.push({ tag: b.minutes + " Valid en", minutes: b.minutes, screen: "Valid",
                        language: "en_IE", expected: b.en });
            rows.push({ tag: b.minutes + " AlreadyValid el", minutes: b.minutes,
                        screen: "AlreadyValid", language: "el_GR", expected: b.el });
        }
        return rows;
    }

    // A barcode ticket shows its transfer time in the one column; a language change
    // re-translates a page that is already shown.
    function test_period(data) {
        harness.setTransaction({ "valid": true, "type": 0,
                                 "details": { "transferRemainingMin": data.minutes } });
        var page = show(data.screen);
        manager.language = data.language;
        compare(findChild(page, "value0").text, data.expected);
        compare(findChild(page, "caption0").text, data.language === "en_IE" ? "Remaining" : "Υπόλοιπο");
    }

    // A period pass whose expiry is unknown shows no date rather than garbage.
    function test_unknownExpiry() {
        var unknown = transactionOf(8, 2880);
        unknown.details.expires = new Date(NaN);
        harness.setTransaction(unknown);
        compare(findChild(show("Valid"), "value1").text, "");
    }

    function test_invalidShowsTheRefusal() {
        harness.setTransaction({ "valid": false, "type": 2, "denyReasonId": 205,
                                 "denyReason": "The card does not have sufficient balance",
                                 "fareProduct": "Adult", "details": {} });
        var page = show("Invalid");
        compare(findChild(page, "denyReason").text, "The card does not have sufficient balance");
        compare(findChild(page, "subtitle").text, "");
        manager.language = "el_GR";
        compare(findChild(page, "title").text, "ΑΚΥΡΟ");
    }
}
