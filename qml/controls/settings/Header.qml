import QtQuick 2.15
import QtQuick.Controls 2.15
import ".."

// The bar of the settings area: back button (while a page is open), title and
// the menu of device commands.
Item {
    id: root

    property string title
    property bool backVisible: false

    signal backClicked()
    signal scanConfigRequested()
    // "restart", "reboot" or "shutdown"; the settings page asks for confirmation.
    signal commandRequested(string command)
    signal logoutRequested()

    function closeMenu() {
        menu.close();
    }

    height: 70
    onVisibleChanged: {
        if (!root.visible)
            menu.close();
    }

    Item {
        id: back

        objectName: "backButton"
        anchors.left: parent.left
        anchors.leftMargin: 5
        anchors.verticalCenter: parent.verticalCenter
        width: 60
        height: 60
        visible: root.backVisible

        TintedIcon {
            anchors.fill: parent
            anchors.margins: backTouch.pressed ? 4 : 0
            source: "qrc:/qml/images/Icons/chevron-left.svg"
            color: Style.foreground
        }

        MouseArea {
            id: backTouch

            anchors.fill: parent
            onClicked: root.backClicked()
        }
    }

    Text {
        objectName: "headerTitle"
        anchors.left: parent.left
        anchors.leftMargin: 70
        anchors.right: parent.right
        anchors.rightMargin: 70
        anchors.verticalCenter: parent.verticalCenter
        text: root.title
        color: Style.foreground
        font.family: Style.fontFamily
        font.pixelSize: 28
        horizontalAlignment: Text.AlignHCenter
        elide: Text.ElideRight
    }

    Item {
        id: menuButton

        objectName: "menuButton"
        anchors.right: parent.right
        anchors.rightMargin: 10
        anchors.verticalCenter: parent.verticalCenter
        width: 50
        height: 50

        Image {
            anchors.centerIn: parent
            width: menuTouch.pressed ? 32 : 36
            height: width
            source: "qrc:/qml/images/Icons/menu.png"
            sourceSize: Qt.size(36, 36)
            fillMode: Image.PreserveAspectFit
        }

        MouseArea {
            id: menuTouch

            anchors.fill: parent
            onClicked: menu.open()
        }

        Menu {
            id: menu

            objectName: "headerMenu"
            x: menuButton.width - width
            y: menuButton.height
            background: PopupBackground {
                elevation: Style.popupElevation
                radius: 3
            }

            MenuItem {
                objectName: "scanConfigItem"
                text: "Scan Config QR"
                onTriggered: root.scanConfigRequested()
            }

            MenuItem {
                objectName: "restartItem"
                text: "Restart Application"
                onTriggered: root.commandRequested("restart")
            }

            MenuItem {
                objectName: "rebootItem"
                text: "Reboot"
                onTriggered: root.commandRequested("reboot")
            }

            MenuItem {
                objectName: "shutdownItem"
                text: "Shutdown"
                onTriggered: root.commandRequested("shutdown")
            }

            MenuItem {
                objectName: "logoutItem"
                text: "Logout"
                onTriggered: root.logoutRequested()
            }
        }
    }
}
