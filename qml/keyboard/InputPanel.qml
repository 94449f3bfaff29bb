import QtQuick 2.15
import QtQml 2.15

// The on-screen keyboard of the touch screen: Qt Virtual Keyboard's panel with the
// Greek and English layouts. A page places it below its content and slides it up
// while `active` is true; `enterPressed` tells the page that the technician pressed
// Enter, and the panel hides itself at the same time.
//
// Qt's panel is loaded, not built in: without the keyboard's input method (another
// QT_IM_MODULE, a missing package) the page still opens, with an inactive panel and
// a warning, instead of failing as a whole.
Item {
    id: root

    // The interface language ("el_GR", "en_IE", ...); the keyboard shows the Greek
    // layout for Greek and the English one for everything else.
    property string language: Qt.locale().name
    readonly property string layoutLocale: root.language.indexOf("el") === 0 ? "el_GR" : "en_US"
    readonly property bool active: panelLoader.item ? panelLoader.item.active : false
    readonly property bool available: panelLoader.status === Loader.Ready
    readonly property Item keyboard: panelLoader.item ? panelLoader.item.keyboard : null

    signal enterPressed()

    implicitHeight: panelLoader.item ? panelLoader.item.implicitHeight : 0

    Loader {
        id: panelLoader

        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        height: root.height
        source: Qt.resolvedUrl("KeyboardPanel.qml")
        onStatusChanged: {
            if (status === Loader.Error)
                console.warn("[Keyboard] WARN: on-screen keyboard not available; is QT_IM_MODULE freevirtualkeyboard?")
        }
    }

    Binding {
        target: panelLoader.item
        property: "layoutLocale"
        value: root.layoutLocale
        when: panelLoader.item !== null
    }

    // While a popup is open Qt lifts its panel out of the page into the popup layer,
    // where nothing of the page hides it any more: it is shown only while in use or
    // still sliding out of the page, never as a dimmed band over the popup.
    Binding {
        target: panelLoader.item
        property: "visible"
        value: root.active || (root.parent !== null && root.y < root.parent.height)
        when: panelLoader.item !== null
        restoreMode: Binding.RestoreNone
    }

    Connections {
        target: panelLoader.item
        function onEnterPressed() {
            // Only the page on screen answers.
            if (root.visible)
                root.enterPressed();
        }
    }
}
