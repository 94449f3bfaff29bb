import QtQuick 2.15

// Looks of the number pad keys.
QtObject {
    property real keyWidth: 118
    property real keyHeight: 70
    property real keyRadius: 4
    property real columnSpacing: 6
    property real rowSpacing: 7
    property string fontFamily: Style.padFontFamily
    property real fontPointSize: 16
    property int fontWeight: Font.Medium
    property color numberKeyColor: Style.padNumberKey
    property color numberTextColor: Style.padNumberText
    property color controlKeyColor: Style.padControlKey
    property color controlTextColor: "white"
    property real disabledOpacity: 0.3
}
