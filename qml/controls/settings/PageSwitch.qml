import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import ".."

// The pages' switch: the Material switch's track and knob in the style's own colours,
// drawn with plain rectangles so that no private module of the style is needed. The
// knob lies flat where no shadow can be drawn (the software renderer), as on the board.
Switch {
    id: control

    indicator: Item {
        x: control.text ? (control.mirrored ? control.width - width - control.rightPadding
                                            : control.leftPadding)
                        : control.leftPadding + (control.availableWidth - width) / 2
        y: control.topPadding + (control.availableHeight - height) / 2
        implicitWidth: 38
        implicitHeight: 32

        Rectangle {
            width: parent.width
            height: 14
            radius: height / 2
            y: parent.height / 2 - height / 2
            color: !control.enabled ? control.Material.switchDisabledTrackColor
                                    : control.checked ? control.Material.switchCheckedTrackColor
                                                      : control.Material.switchUncheckedTrackColor
        }
        // The knob's shadow, where the scene graph draws one for the style's own controls.
        Rectangle {
            x: knob.x
            y: knob.y + 1
            width: knob.width
            height: knob.height
            radius: width / 2
            visible: Style.effects
            color: Style.shadow
            opacity: 0.4
        }
        Rectangle {
            id: knob

            x: Math.max(0, Math.min(parent.width - width,
                                    control.visualPosition * parent.width - width / 2))
            y: (parent.height - height) / 2
            width: 20
            height: 20
            radius: width / 2
            color: !control.enabled ? control.Material.switchDisabledHandleColor
                                    : control.checked ? control.Material.switchCheckedHandleColor
                                                      : control.Material.switchUncheckedHandleColor

            Behavior on x {
                enabled: !control.pressed
                SmoothedAnimation {
                    duration: 300
                }
            }
        }

        // The press: a round halo over the knob.
        Rectangle {
            x: knob.x + knob.width / 2 - width / 2
            y: knob.y + knob.height / 2 - height / 2
            width: 28
            height: 28
            radius: width / 2
            visible: control.down || control.visualFocus
            color: control.checked ? control.Material.highlightedRippleColor
                                   : control.Material.rippleColor
        }
    }
}
