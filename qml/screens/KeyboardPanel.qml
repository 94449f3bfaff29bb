import QtQuick 2.15

// Home of the on-screen keyboard of the pages that take text. The keyboard
// panel of the input-method module goes here; the page slides this panel up
// while the input method is visible.
Item {
    height: 250
}
