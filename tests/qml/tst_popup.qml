import QtQuick 2.15
import QtTest 1.15
import "qrc:/qml/controls"

// The shared message box: a dialog waits for "Yes" or "No"; a plain message
// closes on any click.
TestCase {
    id: testCase

    name: "CustomPopup"
    when: windowShown
    // Items under test are created in the test case itself, so it is shown.
    visible: true
    width: 480
    height: 800

    Component {
        id: hostComponent

        Item {
            property alias popup: popup

            width: 480
            height: 800

            CustomPopup {
                id: popup
            }
        }
    }

    SignalSpy {
        id: yesSpy

        signalName: "buttonYesPressed"
    }

    SignalSpy {
        id: noSpy

        signalName: "buttonNoPressed"
    }

    function openPopup(dialog) {
        var host = createTemporaryObject(hostComponent, testCase);
        var popup = host.popup;
        popup.isDialog = dialog;
        popup.text = "Delete every event?";
        yesSpy.target = popup;
        noSpy.target = popup;
        yesSpy.clear();
        noSpy.clear();
        popup.open();
        tryCompare(popup, "opened", true);
        return host;
    }

    function test_geometry() {
        var host = openPopup(false);
        compare(host.popup.width, 400);
        compare(host.popup.height, 200);
        compare(host.popup.x, 40);
        compare(host.popup.y, 300);
        host.popup.imageSource = "qrc:/qml/images/Icons/valid.svg";
        compare(host.popup.height, 300);
        verify(!findChild(host.popup.contentItem, "yesButton").visible);
    }

    function test_plainClosesOnAnyClick_data() {
        return [{ tag: "inside", inside: true }, { tag: "outside", inside: false }];
    }

    function test_plainClosesOnAnyClick(data) {
        var host = openPopup(false);
        if (data.inside)
            mouseClick(findChild(host.popup.contentItem, "popupText"));
        else
            mouseClick(host, 10, 10);
        tryCompare(host.popup, "visible", false);
    }

    function test_dialogIgnoresClicksOutsideItsButtons() {
        var host = openPopup(true);
        verify(findChild(host.popup.contentItem, "yesButton").visible);
        mouseClick(host, 10, 10);
        mouseClick(findChild(host.popup.contentItem, "popupText"));
        keyClick(Qt.Key_Escape);
        wait(100);
        verify(host.popup.opened);
        compare(yesSpy.count + noSpy.count, 0);
    }

    function test_dialogAnswer_data() {
        return [{ tag: "yes", button: "yesButton", yes: 1, no: 0 },
                { tag: "no", button: "noButton", yes: 0, no: 1 }];
    }

    function test_dialogAnswer(data) {
        var host = openPopup(true);
        mouseClick(findChild(host.popup.contentItem, data.button));
        tryCompare(host.popup, "visible", false);
        compare(yesSpy.count, data.yes);
        compare(noSpy.count, data.no);
    }

    function test_buttonsAreTranslated() {
        var host = openPopup(true);
        var yes = findChild(host.popup.contentItem, "yesButton");
        var no = findChild(host.popup.contentItem, "noButton");
        manager.language = "el_GR";
        compare(yes.text, "Ναι");
        compare(no.text, "Όχι");
        manager.language = "en_IE";
        compare(yes.text, "Yes");
        compare(no.text, "No");
    }
}
