import QtQuick 2.15
import QtTest 1.15
import "qrc:/qml/screens"
import "qrc:/qml/js/Period.js" as Period

// The remaining-time text of the result screens at its borders, in both
// interface languages, as the Valid and AlreadyValid screens show it.
TestCase {
    id: testCase

    readonly property var english: ({ "day": "day", "days": "days", "hour": "hour",
                                      "hours": "hours", "min": "min", "mins": "mins" })

    name: "Period"
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

    function cleanup() {
        manager.language = "en_IE";
    }

    function borders() {
        return [
            { tag: "1", minutes: 1, en: "1 min", el: "1 λεπτό" },
            { tag: "2", minutes: 2, en: "2 mins", el: "2 λεπτά" },
            { tag: "120", minutes: 120, en: "120 mins", el: "120 λεπτά" },
            { tag: "121", minutes: 121, en: "2 hours", el: "2 ώρες" },
            { tag: "1440", minutes: 1440, en: "24 hours", el: "24 ώρες" },
            { tag: "1441", minutes: 1441, en: "1 day", el: "1 ημέρα" },
            { tag: "2159", minutes: 2159, en: "1 day", el: "1 ημέρα" },
            { tag: "2160", minutes: 2160, en: "2 days", el: "2 ημέρες" },
            { tag: "0", minutes: 0, en: "0 mins", el: "0 λεπτά" }
        ];
    }

    function test_text_data() {
        return borders();
    }

    function test_text(data) {
        compare(Period.periodText(data.minutes, english), data.en);
    }

    function test_missingValueReadsAsZero() {
        compare(Period.periodText(undefined, english), "0 mins");
        compare(Period.periodText(NaN, english), "0 mins");
    }

    function test_onScreens_data() {
        var rows = [];
        var list = borders();
        for (var i = 0; i < list.length; ++i) {
            for (var screen = 0; screen < 2; ++screen) {
                for (var lang = 0; lang < 2; ++lang) {
                    var row = list[i];
                    rows.push({ tag: row.tag + (screen ? " AlreadyValid" : " Valid")
                                     + (lang ? " el_GR" : " en_IE"),
                                minutes: row.minutes,
                                screen: screen,
                                language: lang ? "el_GR" : "en_IE",
                                expected: lang ? row.el : row.en });
                }
            }
        }
        return rows;
    }

    // A barcode ticket shows its transfer time in the one centred column.
    function test_onScreens(data) {
        manager.language = data.language;
        manager.setTransaction({ "valid": true, "type": 0, "fareProduct": "90'",
                                 "details": { "transferRemainingMin": data.minutes } });
        var page = createTemporaryObject(data.screen ? alreadyValidComponent : validComponent,
                                         testCase);
        var block = findChild(page, "ticketBlock");
        compare(block.columns.length, 1);
        compare(findChild(block, "value0").text, data.expected);
    }

    // A language change re-translates a page that is already shown.
    function test_retranslatesInPlace() {
        manager.language = "en_IE";
        manager.setTransaction({ "valid": true, "type": 0,
                                 "details": { "transferRemainingMin": 1441 } });
        var page = createTemporaryObject(validComponent, testCase);
        var title = findChild(page, "title");
        compare(title.text, "VALID");
        compare(findChild(page, "value0").text, "1 day");
        compare(findChild(page, "caption0").text, "Remaining");
        manager.language = "el_GR";
        compare(title.text, "ΕΓΚΥΡΟ");
        compare(findChild(page, "value0").text, "1 ημέρα");
        compare(findChild(page, "caption0").text, "Υπόλοιπο");
    }
}
