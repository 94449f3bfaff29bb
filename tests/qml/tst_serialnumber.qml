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

    function test_saveAsksForConfirmation() {
        var page = createTemporaryObject(pageComponent, testCase);
        var field = findChild(page, "serialField");
        var popup = findChild(page, "confirmPopup");
        field.text = "K12345678";
        mouseClick(findChild(page, "saveButton"));
        tryCompare(popup, "opened", true);
        verify(popup.isDialog);
        compare(popup.text, "Please confirm the serial number\n\nK12345678");
        // Nothing is saved before "Yes".
        compare(manager.calls(), []);

        mouseClick(findChild(popup.contentItem, "yesButton"));
        tryCompare(popup, "visible", false);
        compare(manager.calls(), ["saveDeviceIdRequest:K12345678"]);
    }

    function test_noSavesNothing() {
        var page = createTemporaryObject(pageComponent, testCase);
        findChild(page, "serialField").text = "C12345678";
        mouseClick(findChild(page, "saveButton"));
        var popup = findChild(page, "confirmPopup");
        tryCompare(popup, "opened", true);
        mouseClick(findChild(popup.contentItem, "noButton"));
        tryCompare(popup, "visible", false);
        compare(manager.calls(), []);
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
}
