import QtQuick 2.15
import QtGraphicalEffects 1.15

// The drop shadow under a button (offset 3, radius 8, 16 samples). Only a scene
// graph with shaders can draw it; the buttons load this file only there, so
// that the software renderer of the device does not create effects it never
// draws, nor load the effects module at all.
DropShadow {
    horizontalOffset: 3
    verticalOffset: 3
    radius: 8
    samples: 16
    color: Style.shadow
}
