import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import "controls"

// The one window of the validator: every screen is loaded once at start and
// exactly one is shown, the one the GUI manager names in `manager.screen`.
ApplicationWindow {
    id: root

    readonly property var screens: [
        { "name": "InitPage", "source": "qrc:/qml/screens/InitPage.qml" },
        { "name": "Busy", "source": "qrc:/qml/screens/Busy.qml" },
        { "name": "ScanCard", "source": "qrc:/qml/screens/ScanCard.qml" },
        { "name": "ScanBarcode", "source": "qrc:/qml/screens/ScanBarcode.qml" },
        { "name": "ScanScreens", "source": "qrc:/qml/screens/ScanScreens.qml" },
        { "name": "Valid", "source": "qrc:/qml/screens/Valid.qml" },
        { "name": "Invalid", "source": "qrc:/qml/screens/Invalid.qml" },
        { "name": "AlreadyValid", "source": "qrc:/qml/screens/AlreadyValid.qml" },
        { "name": "Retry", "source": "qrc:/qml/screens/Retry.qml" },
        { "name": "OutOfOrder", "source": "qrc:/qml/screens/OutOfOrder.qml" },
        { "name": "OutOfService", "source": "qrc:/qml/screens/OutOfService.qml" },
        { "name": "ScreenSaver", "source": "qrc:/qml/screens/ScreenSaver.qml" },
        { "name": "Settings", "source": "qrc:/qml/screens/settings/Main.qml" },
        { "name": "Login", "source": "qrc:/qml/screens/settings/Login.qml" }
    ]
    // Qt's QML loader thread reads and prepares every screen's file while this thread
    // makes the window and the screens before it: each Loader below then finds its
    // screen ready instead of waiting for it, and a board's second core does that work.
    readonly property var preparedScreens: screens.map(function(screen) {
        return Qt.createComponent(screen.source, Component.Asynchronous);
    })
    property string currentScreen: "Busy"

    // The mx740 panel needs the window one pixel higher.
    x: 0
    y: -1
    width: Style.windowWidth
    height: Style.windowHeight
    visible: true
    title: "Validator"
    Material.theme: Style.dark ? Material.Dark : Material.Light
    Material.accent: Style.accent

    onFrameSwapped: {
        if (!Style.started)
            Style.started = true;
    }

    // Covers the whole window, the header's area included.
    background: Image {
        objectName: "background"
        Component.onCompleted: Style.effects = Qt.binding(function() {
            return GraphicsInfo.shaderType !== GraphicsInfo.UnknownShadingLanguage;
        })
        source: "qrc:/qml/images/background.png"
        fillMode: Image.Stretch
    }

    // The program registered the bundle's font (qrc:/qml/fonts/DejaVuSans.ttf)
    // before the window; the loader names it instead of parsing the file again.
    FontLoader {
        name: Style.fontFamily
    }

    Connections {
        target: manager

        function onScreenChanged() {
            console.info("[QML] Screen changed : " + manager.screen);
            root.currentScreen = manager.screen;
        }

        function onErrorOccured(error) {
            console.info("[QML] Error occured : " + error);
            errorPopup.active = true;
            errorPopup.item.text = error;
            errorPopup.item.open();
        }

        function onLanguageChanged() {
            root.locale = Qt.locale(manager.language);
        }
    }

    Repeater {
        model: root.screens

        Loader {
            id: loader

            // Read from the model once: every screen change compares it on each loader,
            // and `modelData` is made into a script object at every read.
            readonly property string screenName: modelData.name

            objectName: "screen_" + screenName
            anchors.fill: parent
            asynchronous: false
            active: true
            source: modelData.source
            visible: root.currentScreen === screenName

            // ScanCard and ScanBarcode switch to each other without the manager.
            Connections {
                target: loader.item
                ignoreUnknownSignals: true

                function onSwitchScreen(name) {
                    root.currentScreen = name;
                }
            }
        }
    }

    Header {
        objectName: "header"
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        height: Style.headerHeight
        z: 1
        visible: root.currentScreen !== "Settings" && root.currentScreen !== "ScreenSaver"
        onMagicButtonPressed: manager.setMaintenanceScreen()
    }

    // A validator in service seldom has an error to show: the popup that shows one is
    // made when the first comes, not at every start.
    Loader {
        id: errorPopup

        // The popup centres itself in this item, the window's content.
        anchors.fill: parent
        active: false
        sourceComponent: CustomPopup {
            objectName: "errorPopup"
        }
    }

    MouseArea {
        objectName: "cursorArea"
        anchors.fill: parent
        z: 2
        // Only shows or hides the pointer: every press goes to the items below.
        acceptedButtons: Qt.NoButton
        cursorShape: manager.showCursor ? Qt.ArrowCursor : Qt.BlankCursor
    }

    Label {
        objectName: "version"
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.rightMargin: 10
        anchors.bottomMargin: 10
        z: 2
        text: "v" + Qt.application.version
        font.pixelSize: 12
        color: Style.versionText
    }
}
