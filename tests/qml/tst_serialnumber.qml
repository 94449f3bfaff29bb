import QtQuick 2.15
import QtTest 1.15
import "qrc:/qml/screens"

// The first-start page: the serial-number rule, the hint, SAVE or Enter, and the
// on-screen keyboard (the confirmation is the screen walk's, tst_screens).
DisplayTestCase {
    id: testCase

    name: "SerialNumber"

    Component {
        id: pageComponent

        InitPage {
            width: 480
            height: 800
        }
    }

    function init() {
        manager.deviceId = "C87654321";
    }

    function test_rule_data() {
        return [
            { tag: "K and 8 digits", text: "K12345678", valid: true },
            { tag: "C and 8 digits", text: "C00000000", valid: true },
            { tag: "lower-case k", text: "k12345678", valid: false },
            { tag: "other letter", text: "A12345678", valid: false },
            { tag: "7 digits", text: "K1234567", valid: false },
            { tag: "9 digits", text: "K123456789", valid: false },
            { tag: "leading blank", text: " K12345678", valid: false }
        ];
    }

    function test_rule(data) {
        var page = createTemporaryObject(pageComponent, testCase);
        compare(findChild(page, "serialField").text, "C87654321");
        findChild(page, "serialField").text = data.text;
        compare(findChild(page, "saveButton").enabled, data.valid);
        compare(findChild(page, "serialHint").visible, !data.valid);
        mouseClick(findChild(page, "saveButton"));
        findChild(page, "serialField").forceActiveFocus();
        keyClick(Qt.Key_Return);
        wait(50);
        compare(findChild(page, "confirmPopup").visible, data.valid);
    }

    // A visible key of the on-screen keyboard with this code.
    function findKey(item, code) {
        if (!item.visible)
            return null;
        if (item.key === code && item.width > 0)
            return item;
        for (var i = 0; i < item.children.length; ++i) {
            var found = findKey(item.children[i], code);
            if (found)
                return found;
        }
        return null;
    }

    // The keyboard (English layout unless the interface is Greek) slides up when the field
    // takes focus, and its Enter asks to save. Losing focus hides it again.
    function test_typedOnTheKeyboard_data() {
        return [{ tag: "Greek", language: "el_GR", layout: "el_GR" },
                { tag: "English", language: "en_IE", layout: "en_US" },
                { tag: "other", language: "de_DE", layout: "en_US" }];
    }

    function test_typedOnTheKeyboard(data) {
        manager.language = data.language;
        var page = createTemporaryObject(pageComponent, testCase);
        var keyboard = findChild(page, "keyboard");
        var field = findChild(page, "serialField");
        compare(keyboard.layoutLocale, data.layout);
        compare(keyboard.y, page.height);
        field.text = "K12345678";
        mouseClick(field);
        tryCompare(keyboard, "y", page.height - keyboard.height, 15000);
        mouseClick(findKey(keyboard, Qt.Key_Return));
        tryCompare(findChild(page, "confirmPopup"), "opened", true);
        field.focus = false;
        tryCompare(keyboard, "y", page.height, 15000);
        manager.language = "en_IE";
    }
}
