import QtQuick 2.15
import QtTest 1.15

// A test case the size of the display (480 x 800 portrait), run once its window shows:
// the suites' pages fill it and are tapped through it.
TestCase {
    when: windowShown
    visible: true
    width: 480
    height: 800
}
