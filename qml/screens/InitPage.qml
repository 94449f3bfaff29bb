import QtQuick 2.15
import "../controls"

// First start: the technician enters the device serial number, confirms it,
// and the GUI manager stores it.
Item {
    id: root

    // The page's controls are made the first time it is shown: a commissioned
    // validator never shows it again.
    function requestSave() {
        if (content.item)
            content.item.requestSave();
    }

    ShownContent {
        id: content

        file: "InitPageContent.qml"
    }
}
