import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import ".."

// A text field for one IPv4 address. When an edit is finished it turns red if
// the IPv4 record's address rule refuses the text (the empty text passes).
TextField {
    id: root

    // The IPv4 record whose rule applies (any IPv4 object offers it).
    property var record
    property bool refused: false

    Layout.fillWidth: true
    color: refused ? Style.invalid : Style.foreground
    // Dimmed in "auto" mode, where the fields do not apply.
    opacity: enabled ? 1.0 : 0.5
    inputMethodHints: Qt.ImhPreferNumbers | Qt.ImhNoPredictiveText
    onEditingFinished: refused = !record.isValidAddress(text)
}
