import QtQuick 2.15
import QtTest 1.15
import "qrc:/qml/controls"

// The number pad calls the handlers of the page it sits in.
TestCase {
    id: testCase

    name: "NumberPad"
    when: windowShown
    // Items under test are created in the test case itself, so it is shown.
    visible: true
    width: 480
    height: 800

    Component {
        id: pageComponent

        // A page as the login screen builds it: handlers on an outer item, the
        // pad nested one level deeper.
        Item {
            property var log: []
            property alias pad: pad

            function calcNumberPressed(key) { log.push("number:" + key); }
            function customLeftPressed(key) { log.push("left:" + key); }
            function customRightPressed(key) { log.push("right:" + key); }

            width: 480
            height: 800

            Item {
                anchors.fill: parent

                NumberPad {
                    id: pad
                }
            }
        }
    }

    function key(pad, index) {
        return pad.keyAt(index);
    }

    function test_phoneLayout() {
        var page = createTemporaryObject(pageComponent, testCase);
        compare(page.pad.keys, ["1", "2", "3", "4", "5", "6", "7", "8", "9", "\u2190", "0", "CLR"]);
        mouseClick(key(page.pad, 0));
        mouseClick(key(page.pad, 4));
        mouseClick(key(page.pad, 10));
        mouseClick(key(page.pad, 9));
        mouseClick(key(page.pad, 11));
        compare(page.log, ["number:1", "number:5", "number:0", "left:\u2190", "right:CLR"]);
    }

    function test_keypadLayout() {
        var page = createTemporaryObject(pageComponent, testCase);
        page.pad.phoneLayout = false;
        page.pad.forceLayout();
        compare(key(page.pad, 0).text, "7");
        compare(key(page.pad, 6).text, "1");
        mouseClick(key(page.pad, 0));
        mouseClick(key(page.pad, 8));
        compare(page.log, ["number:7", "number:3"]);
    }

    function test_customModel() {
        var page = createTemporaryObject(pageComponent, testCase);
        page.pad.customModel = ["A", "B", "C", "D", "E", "F", "G", "H", "I", "OK", "J", "DEL"];
        page.pad.forceLayout();
        mouseClick(key(page.pad, 1));
        mouseClick(key(page.pad, 9));
        mouseClick(key(page.pad, 11));
        compare(page.log, ["number:B", "left:OK", "right:DEL"]);
    }

    function test_keyColours() {
        var page = createTemporaryObject(pageComponent, testCase);
        verify(Qt.colorEqual(key(page.pad, 3).color, "black"));
        verify(Qt.colorEqual(key(page.pad, 9).color, "#787878"));
        verify(Qt.colorEqual(key(page.pad, 11).color, "#787878"));
        verify(Qt.colorEqual(key(page.pad, 10).color, "black"));
        verify(Qt.colorEqual(key(page.pad, 10).textColor, "white"));
    }

    function test_controlButtons() {
        var page = createTemporaryObject(pageComponent, testCase);
        var pad = page.pad;
        pad.controlButtons(false, ["0", 11]);
        verify(!key(pad, 10).enabled);
        verify(!key(pad, 11).enabled);
        compare(key(pad, 10).opacity, 0.3);
        verify(key(pad, 0).enabled);
        mouseClick(key(pad, 10));
        mouseClick(key(pad, 11));
        mouseClick(key(pad, 1));
        compare(page.log, ["number:2"]);

        pad.controlButtons(false, []);
        for (var i = 0; i < 12; ++i)
            verify(!key(pad, i).enabled, "key " + i);
        mouseClick(key(pad, 1));
        compare(page.log, ["number:2"]);

        pad.controlButtons(true);
        for (i = 0; i < 12; ++i)
            verify(key(pad, i).enabled, "key " + i);
        mouseClick(key(pad, 10));
        compare(page.log, ["number:2", "number:0"]);
    }

    function test_signalsWithoutHandlers() {
        var page = createTemporaryObject(pageComponent, testCase);
        var spy = createTemporaryObject(spyComponent, testCase, { target: page.pad });
        mouseClick(key(page.pad, 2));
        compare(spy.count, 1);
        compare(spy.signalArguments[0][0], "3");
    }

    Component {
        id: spyComponent

        SignalSpy {
            signalName: "numberPressed"
        }
    }
}
