pragma Singleton
import QtQuick 2.15

// Colours, sizes and durations shared by the controls and screens. Everything
// that depends on the theme derives from `dark`, so switching the theme at run
// time rebinds the whole window.
QtObject {
    id: root

    property bool dark: true
    // Set by the main window once it has drawn its first frame: work that no
    // screen shown at start needs waits for it.
    property bool started: false

    // Theme
    readonly property color accent: "#00ADD7"
    readonly property color foreground: dark ? "#ffffff" : "#000000"
    readonly property color background: dark ? "#303030" : "#fafafa"
    readonly property color padNumberKey: dark ? "#000000" : "#ffffff"
    readonly property color padNumberText: dark ? "#ffffff" : "#000000"
    readonly property color padControlKey: dark ? "#787878" : "#D6D6D6"
    readonly property color versionText: "#616161"  // Material grey, shade 700

    // Result symbols and hints
    readonly property color valid: "#41b987"
    readonly property color warning: "#fcdb03"
    readonly property color invalid: "#db4a37"
    readonly property color error: "red"
    readonly property color scanButton: "#000621"
    readonly property color scanButtonPressed: "#36C478"
    readonly property color shadow: "#80000000"
    readonly property color separator: "#ffffff"
    // A self-test not run yet (Material grey 500).
    readonly property color neutral: "#9e9e9e"

    // Fonts
    readonly property string fontFamily: "DejaVu Sans"
    readonly property string padFontFamily: "Arial"

    // Window geometry
    readonly property int windowWidth: 480
    readonly property int windowHeight: 800
    readonly property int headerHeight: 120
    readonly property int pageMargin: 35

    // Durations (ms)
    readonly property int clockTick: 1000
    readonly property int tapWindow: 1000
    readonly property int fillAnimation: 300
    readonly property int pressAnimation: 100
    readonly property int colorFlash: 1000
    readonly property int keyboardSlide: 150
    readonly property int frameTick: 300
    readonly property int scanAnimation: 2300

    // The colour of a tone named by the settings pages' colour rules (Colors.js):
    // one green, one amber and one red for every page, the result symbols' own.
    function toneColor(tone) {
        switch (tone) {
        case "green":
            return root.valid;
        case "amber":
            return root.warning;
        case "red":
            return root.invalid;
        case "grey":
            return root.neutral;
        default:
            return root.foreground;
        }
    }
}
