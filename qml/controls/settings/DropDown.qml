import QtQuick 2.15
import QtQuick.Controls 2.15
import ".."

// The pages' drop-down box. The style draws the box's face and its list's face
// through their shadows, so where no shadow can be drawn both are drawn plainly.
ComboBox {
    background.layer.enabled: enabled && !editable && Style.effects
    popup.background: PopupBackground {
        elevation: Style.popupElevation
    }
}
