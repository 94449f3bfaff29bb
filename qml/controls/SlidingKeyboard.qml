import QtQuick 2.15
import QtQuick.FreeVirtualKeyboard 1.0

// The on-screen keyboard of a page with text fields: it lies just below the page
// (its parent) and slides up over the page's bottom while the input method is
// visible. Only showing and hiding slide; the page's own sizing does not.
InputPanel {
    id: root

    objectName: "keyboard"
    width: parent ? parent.width : 0
    height: 250
    language: manager.language
    y: parent ? parent.height : 0

    states: State {
        name: "shown"
        when: Qt.inputMethod.visible

        PropertyChanges {
            target: root
            y: root.parent.height - root.height
        }
    }

    transitions: Transition {
        NumberAnimation {
            property: "y"
            duration: Style.keyboardSlide
            easing.type: Easing.InOutQuad
        }
    }
}
