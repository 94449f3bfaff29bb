import QtQuick 2.15
import QtTest 1.15
import "qrc:/qml/screens"
import "qrc:/qml/js/SerialNumber.js" as SerialNumber

// The first-start page: the serial-number rule, the hint, SAVE and the
// confirmation that hands the number to the GUI manager.
TestCase {
    id: testCase

    name: "SerialNumber"
    when: windowShown
    // Items under test are created in the test case itself, so it is shown.
    visible: true
    width: 480
    height: 800

    Component {
        id: pageComponent

        InitPage {
            width: 480
            height: 800
        }
    }

    function init() {
        manager.clearCalls();
        manager.deviceId = "";
    }

    function test_rule_data() {
        return [
            { tag: "K and 8 digits", text: "K12345678", valid: true },
            { tag: "C and 8 digits", text: "C00000000", valid: true },
            { tag: "lower-case k", text: "k12345678", valid: false },
            { tag: "lower-case c", text: "c12345678", valid: false },
            { tag: "other letter", text: "A12345678", valid: false },
            { tag: "7 digits", text: "K1234567", valid: false },
            { tag: "9 digits", text: "K123456789", valid: false },
            { tag: "two letters", text: "KC2345678", valid: false },
            { tag: "two letters, 8 digits", text: "KK12345678", valid: false },
            { tag: "no letter", text: "123456789", valid: false },
            { tag: "empty", text: "", valid: false },
            { tag: "blank inside", text: "K1234 5678", valid: false },
            { tag: "trailing blank", text: "K12345678 ", valid: false },
            { tag: "leading blank", text: " K12345678", valid: false },
            { tag: "trailing line end", text: "K12345678\n", valid: false },
            { tag: "non-ASCII digits", text: "K١٢٣٤٥٦٧٨", valid: false }
        ];
    }

    function test_rule(data) {
        compare(SerialNumber.isValid(data.text), data.valid);

        var page = createTemporaryObject(pageComponent, testCase);
        var field = findChild(page, "serialField");
        field.text = data.text;
        compare(findChild(page, "saveButton").enabled, data.valid);
        compare(findChild(page, "serialHint").visible, !data.valid);
    }

    function test_prefilledWithTheDeviceId() {
        manager.deviceId = "C87654321";
        var page = createTemporaryObject(pageComponent, testCase);
        compare(findChild(page, "serialField").text, "C87654321");
        verify(findChild(page, "saveButton").enabled);
    }

    function test_saveAsksForConfirmation_data() {
        return [{ tag: "yes", button: "yesButton", calls: ["saveDeviceIdRequest:K12345678"] },
                { tag: "no", button: "noButton", calls: [] }];
    }

    function test_saveAsksForConfirmation(data) {
        var page = createTemporaryObject(pageComponent, testCase);
        var field = findChild(page, "serialField");
        var popup = findChild(page, "confirmPopup");
        field.text = "K12345678";
        mouseClick(findChild(page, "saveButton"));
        tryCompare(popup, "opened", true);
        verify(popup.isDialog);
        compare(popup.text, "Please confirm the serial number\n\nK12345678");
        // Nothing is saved before the answer.
        compare(manager.calls(), []);

        mouseClick(findChild(popup.contentItem, data.button));
        tryCompare(popup, "visible", false);
        compare(manager.calls(), data.calls);
    }

    function test_enterConfirmsOnlyAValidNumber() {
        var page = createTemporaryObject(pageComponent, testCase);
        var field = findChild(page, "serialField");
        var popup = findChild(page, "confirmPopup");
        field.forceActiveFocus();

        field.text = "K1234567";
        keyClick(Qt.Key_Return);
        wait(50);
        verify(!popup.visible);

        field.text = "K12345678";
        field.forceActiveFocus();
        keyClick(Qt.Key_Return);
        tryCompare(popup, "opened", true);
        compare(popup.text, "Please confirm the serial number\n\nK12345678");
    }

    function test_saveIsInertWhileInvalid() {
        var page = createTemporaryObject(pageComponent, testCase);
        findChild(page, "serialField").text = "K123";
        mouseClick(findChild(page, "saveButton"));
        wait(50);
        verify(!findChild(page, "confirmPopup").visible);
    }

    // The keyboard lies below the page until the field takes focus, then slides
    // up by its height; losing focus hides it again.
    function test_keyboardSlides() {
        var page = createTemporaryObject(pageComponent, testCase);
        var keyboard = findChild(page, "keyboard");
        var field = findChild(page, "serialField");
        verify(keyboard.height > 0);
        compare(keyboard.y, page.height);
        mouseClick(field);
        tryVerify(function () { return Qt.inputMethod.visible; }, 3000);
        tryCompare(keyboard, "y", page.height - keyboard.height, 3000);
        field.focus = false;
        tryVerify(function () { return !Qt.inputMethod.visible; }, 3000);
        tryCompare(keyboard, "y", page.height, 3000);
    }

    // Visible keys of the on-screen keyboard: its items that carry a key code.
    function keysOf(panel) {
        var found = [];
        var pending = [panel];
        while (pending.length > 0) {
            var item = pending.shift();
            if (!item.visible)
                continue;
            if (item !== panel && item.key !== undefined && item.width > 0 && item.height > 0)
                found.push(item);
            for (var i = 0; i < item.children.length; ++i)
                pending.push(item.children[i]);
        }
        return found;
    }

    function findKey(panel, code, text) {
        var keys = keysOf(panel);
        for (var i = 0; i < keys.length; ++i) {
            if (keys[i].key === code
                    && (text === undefined || String(keys[i].text).toUpperCase() === text))
                return keys[i];
        }
        return null;
    }

    // Types upper-case letters and digits key by key; digits are on the symbol
    // layout, which the mode key (Qt.Key_Context1) switches to.
    function typeOnPanel(panel, text) {
        for (var i = 0; i < text.length; ++i) {
            var c = text[i];
            var code = c.charCodeAt(0);
            if (!findKey(panel, code, c)) {
                mouseClick(findKey(panel, Qt.Key_Context1));
                tryVerify(function () { return findKey(panel, code, c) !== null; }, 3000,
                          "no key for " + c);
            }
            var key = findKey(panel, code, c);
            if (c >= "A" && c <= "Z") {
                for (var n = 0; n < 3 && !key.uppercased; ++n) {
                    mouseClick(findKey(panel, Qt.Key_Shift));
                    wait(50);
                    key = findKey(panel, code, c);
                }
                verify(key.uppercased, "shift for " + c);
            }
            mouseClick(key);
        }
    }

    // The technician types the number on the on-screen keyboard and confirms it
    // with Enter and "Yes".
    function test_typedOnTheKeyboard() {
        manager.language = "en_IE";
        var page = createTemporaryObject(pageComponent, testCase);
        var keyboard = findChild(page, "keyboard");
        var field = findChild(page, "serialField");
        var popup = findChild(page, "confirmPopup");
        mouseClick(field);
        tryVerify(function () { return Qt.inputMethod.visible; }, 3000);
        tryCompare(keyboard, "y", page.height - keyboard.height, 3000);

        typeOnPanel(keyboard, "K12345678");
        compare(field.text, "K12345678");
        verify(findChild(page, "saveButton").enabled);

        mouseClick(findKey(keyboard, Qt.Key_Return));
        tryCompare(popup, "opened", true);
        tryVerify(function () { return !Qt.inputMethod.visible; }, 3000);
        compare(popup.text, "Please confirm the serial number\n\nK12345678");
        mouseClick(findChild(popup.contentItem, "yesButton"));
        tryCompare(popup, "visible", false);
        compare(manager.calls(), ["saveDeviceIdRequest:K12345678"]);
    }
}
