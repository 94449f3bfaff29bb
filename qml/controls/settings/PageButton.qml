import QtQuick 2.15
import QtQuick.Controls 2.15
import ".."

// The pages' push button. The style draws its face through its shadow, so where
// no shadow can be drawn the face is drawn plainly.
Button {
    background.layer.enabled: enabled && Style.effects
}
