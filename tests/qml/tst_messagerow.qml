import QtQuick 2.15
import QtTest 1.15
import "qrc:/qml/controls"

// A message row grows when expanded, but never past 150.
TestCase {
    id: testCase

    name: "MessageRowItem"
    when: windowShown
    // Items under test are created in the test case itself, so it is shown.
    visible: true
    width: 480
    height: 800

    Component {
        id: rowComponent

        MessageRowItem {
            width: 460
            title: "Ignition off"
            time: "12:30"
        }
    }

    function test_expandsOnClick() {
        var row = createTemporaryObject(rowComponent, testCase, { "message": "Board" });
        var collapsed = row.height;
        verify(collapsed > 30);
        mouseClick(row, 100, 10);
        verify(row.expanded);
        verify(row.height > collapsed);
        verify(findChild(row, "trashIcon").visible);
        mouseClick(row, 100, 10);
        verify(!row.expanded);
        compare(row.height, collapsed);
    }

    function test_trashAsksForDeletion() {
        var row = createTemporaryObject(rowComponent, testCase, { "message": "Board" });
        var spy = createTemporaryObject(spyComponent, testCase,
                                        { target: row, signalName: "deleteRequest" });
        mouseClick(row, 100, 10);
        var trash = findChild(row, "trashIcon");
        verify(trash.visible);
        mouseClick(trash);
        compare(spy.count, 1);
        // Deleting is the list's business: the row stays expanded.
        verify(row.expanded);
    }

    function test_neverTallerThan150() {
        var text = "";
        for (var i = 0; i < 60; ++i)
            text += "The validator reported a long description of its state. ";
        var row = createTemporaryObject(rowComponent, testCase, { "message": text });
        row.expanded = true;
        compare(row.height, 150);
    }

    function test_notExpandable() {
        var row = createTemporaryObject(rowComponent, testCase,
                                        { "message": "x", "isExpandable": false });
        var spy = createTemporaryObject(spyComponent, testCase, { target: row });
        mouseClick(row, 100, 10);
        verify(!row.expanded);
        compare(spy.count, 1);
    }

    Component {
        id: spyComponent

        SignalSpy {
            signalName: "clicked"
        }
    }
}
