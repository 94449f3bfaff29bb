import QtQuick 2.15
import QtQuick.Layouts 1.15
import "../controls"

// The layout every result screen shares: symbol, main label, second line and a
// separator, in one column below the header; screen-specific rows follow.
Item {
    id: root

    property url icon
    property real iconSize: 250
    property color iconColor: Style.valid
    property string title
    property real titleSize: 32
    property real titleHeight: 100
    property real titleMargin: 0
    property string subtitle
    property real subtitleSize: 14
    default property alias rows: column.data

    // The validator's result record this page shows. It follows the manager's
    // `transaction` only while the page is on the display: hidden, the binding below
    // reads `visible` alone, so a scan result is made into script objects and laid
    // out for the one page about to be shown, not for the hidden ones beside it.
    property var ticket: ({})

    readonly property var shownRecord: root.visible ? transaction : null

    onShownRecordChanged: {
        if (root.shownRecord !== null)
            root.ticket = root.shownRecord;
    }

    ColumnLayout {
        id: column

        anchors.top: parent.top
        anchors.topMargin: Style.headerHeight
        anchors.left: parent.left
        anchors.right: parent.right
        spacing: 0

        ImageBox {
            objectName: "symbol"
            icon: root.icon
            iconSize: Qt.size(root.iconSize, root.iconSize)
            iconColor: root.iconColor
        }

        TextBox {
            objectName: "title"
            Layout.preferredHeight: root.titleHeight
            text: root.title
            textSize: root.titleSize
            textBold: true
            leftMargin: root.titleMargin
            rightMargin: root.titleMargin
        }

        TextBox {
            objectName: "subtitle"
            Layout.preferredHeight: 100
            text: root.subtitle
            textSize: root.subtitleSize
            leftMargin: Style.pageMargin
            rightMargin: Style.pageMargin
        }

        Item {
            Layout.fillWidth: true
            Layout.preferredHeight: 10

            Rectangle {
                anchors.centerIn: parent
                width: parent.width - 70
                height: 4
                radius: 4
                color: Style.separator
            }
        }
    }
}
