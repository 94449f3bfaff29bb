import QtQuick 2.15
import QtQml 2.15
import QtQuick.VirtualKeyboard 2.15 as Vkb
import QtQuick.VirtualKeyboard.Settings 2.15

// Qt Virtual Keyboard's panel as InputPanel.qml loads it: the layout language, the
// key height and the Enter key.
Vkb.InputPanel {
    id: root

    property string layoutLocale: "en_US"

    objectName: "keyboardPanel"

    // Takes touches only while in use. While any popup is open Qt lifts the panel
    // out of its page to the top of the window, above the popup layer; an idle
    // panel there would catch the touches meant for the popup.
    enabled: root.active

    signal enterPressed()

    // Qt's panel takes its height from its width; given a height of its own (250 on
    // the 480-pixel screen) it gets taller keys of the same font size, easier to hit
    // with a finger.
    function fitKeysToHeight() {
        var style = root.keyboard ? root.keyboard.style : null
        if (!style || root.width <= 0 || root.height <= 0)
            return
        if (Math.abs(root.height - root.keyboard.height) > 0.5)
            style.keyboardDesignHeight = style.keyboardDesignWidth * root.height / root.width
    }

    onHeightChanged: fitKeysToHeight()
    onWidthChanged: fitKeysToHeight()
    Component.onCompleted: fitKeysToHeight()

    Binding {
        target: VirtualKeyboardSettings
        property: "activeLocales"
        value: ["el_GR", "en_US"]
        restoreMode: Binding.RestoreNone
    }

    Binding {
        target: VirtualKeyboardSettings
        property: "locale"
        value: root.layoutLocale
        restoreMode: Binding.RestoreNone
    }

    Connections {
        target: root.keyboard
        function onStyleChanged() { root.fitKeysToHeight() }
    }

    Connections {
        target: Vkb.InputContext.inputEngine
        function onVirtualKeyClicked(key, text, modifiers, isAutoRepeat) {
            // Every page's panel hears the one input engine; InputPanel.qml passes
            // Enter on only from the page on screen.
            if (isAutoRepeat || (key !== Qt.Key_Return && key !== Qt.Key_Enter))
                return
            Qt.inputMethod.hide()
            root.enterPressed()
        }
    }
}
