import QtQuick 2.15

// A 4 x 3 grid of keys: digits, a left arrow (index 9) and "CLR" (index 11).
// A key press calls, on the nearest enclosing item that defines it,
// calcNumberPressed(key) for a digit, customLeftPressed(key) for index 9 and
// customRightPressed(key) for index 11, and emits the matching signal.
Grid {
    id: root

    readonly property var phoneModel: ["1", "2", "3", "4", "5", "6", "7", "8", "9", "\u2190", "0", "CLR"]
    readonly property var keypadModel: ["7", "8", "9", "4", "5", "6", "1", "2", "3", "\u2190", "0", "CLR"]
    property bool phoneLayout: true
    property var customModel: null
    property NumberPadStyle padStyle: NumberPadStyle {}
    readonly property var keys: customModel ? customModel : (phoneLayout ? phoneModel : keypadModel)

    signal numberPressed(string key)
    signal leftPressed(string key)
    signal rightPressed(string key)

    // Enables every key (enableAll), or disables the listed keys (by label or
    // index), or every key when the list is empty.
    function controlButtons(enableAll, buttonsToControl) {
        var list = buttonsToControl || [];
        for (var i = 0; i < repeater.count; ++i) {
            var key = repeater.itemAt(i);
            if (enableAll)
                key.enabled = true;
            else if (list.length === 0 || list.indexOf(i) >= 0 || list.indexOf(key.text) >= 0)
                key.enabled = false;
        }
    }

    function keyAt(index) {
        return repeater.itemAt(index);
    }

    function callOut(name, key) {
        for (var item = root.parent; item; item = item.parent) {
            if (typeof item[name] === "function") {
                item[name](key);
                return;
            }
        }
    }

    function press(index) {
        var key = root.keys[index];
        if (index === 9) {
            root.leftPressed(key);
            callOut("customLeftPressed", key);
        } else if (index === 11) {
            root.rightPressed(key);
            callOut("customRightPressed", key);
        } else {
            root.numberPressed(key);
            callOut("calcNumberPressed", key);
        }
    }

    columns: 3
    rows: 4
    columnSpacing: padStyle.columnSpacing
    rowSpacing: padStyle.rowSpacing

    Repeater {
        id: repeater

        model: root.keys

        CustomButton {
            readonly property bool controlKey: index === 9 || index === 11

            objectName: "key" + index
            width: root.padStyle.keyWidth
            height: root.padStyle.keyHeight
            radius: root.padStyle.keyRadius
            flat: true
            text: modelData
            color: controlKey ? root.padStyle.controlKeyColor : root.padStyle.numberKeyColor
            textColor: controlKey ? root.padStyle.controlTextColor : root.padStyle.numberTextColor
            textFontFamily: root.padStyle.fontFamily
            textFontPointSize: root.padStyle.fontPointSize
            textFontWeight: root.padStyle.fontWeight
            opacity: enabled ? 1.0 : root.padStyle.disabledOpacity
            onClicked: root.press(index)
        }
    }
}
