import QtQuick 2.15
import QtQml 2.15
import QtQuick.VirtualKeyboard 2.15 as Vkb
import QtQuick.VirtualKeyboard.Settings 2.15

// The on-screen keyboard of the touch screen: Qt Virtual Keyboard's panel with the
// Greek and English layouts. A page places it below its content and slides it up
// while `active` is true; `enterPressed` tells the page that the technician pressed
// Enter, and the panel hides itself at the same time.
Vkb.InputPanel {
    id: root

    // The interface language ("el_GR", "en_IE", ...); the keyboard shows the Greek
    // layout for Greek and the English one for everything else.
    property string language: Qt.locale().name
    readonly property string layoutLocale: root.language.indexOf("el") === 0 ? "el_GR" : "en_US"

    signal enterPressed()

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
        target: Vkb.InputContext.inputEngine
        function onVirtualKeyClicked(key, text, modifiers, isAutoRepeat) {
            if (isAutoRepeat || (key !== Qt.Key_Return && key !== Qt.Key_Enter))
                return
            Qt.inputMethod.hide()
            root.enterPressed()
        }
    }
}
