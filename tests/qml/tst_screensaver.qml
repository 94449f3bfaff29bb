import QtQuick 2.15
import QtTest 1.15
import "qrc:/qml/screens"

// The screen saver shows the configured colour and picture.
TestCase {
    id: testCase

    name: "ScreenSaver"
    when: windowShown
    // Items under test are created in the test case itself, so it is shown.
    visible: true
    width: 480
    height: 800

    Component {
        id: pageComponent

        ScreenSaver {
            width: 480
            height: 800
        }
    }

    function cleanup() {
        manager.screenSaverBg = "black";
        manager.screenSaverImg = "qrc:/qml/images/Icons/zorv.png";
    }

    function test_followsTheConfiguration() {
        var page = createTemporaryObject(pageComponent, testCase);
        var image = findChild(page, "screenSaverImage");
        verify(Qt.colorEqual(page.color, "black"));
        compare(image.source, "qrc:/qml/images/Icons/zorv.png");
        tryCompare(image, "status", Image.Ready);
        compare(image.width, 300);
        compare(image.height, 300);

        manager.screenSaverBg = "navy";
        verify(Qt.colorEqual(page.color, "navy"));
        manager.screenSaverImg = "qrc:/qml/images/Flags/gr.png";
        compare(image.source, "qrc:/qml/images/Flags/gr.png");
    }

    function test_plainPathIsALocalFile() {
        manager.screenSaverImg = "/opt/zorv/logo.png";
        var page = createTemporaryObject(pageComponent, testCase);
        compare(findChild(page, "screenSaverImage").source, "file:///opt/zorv/logo.png");
    }
}
