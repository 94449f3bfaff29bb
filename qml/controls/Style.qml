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
    // Whether the scene graph draws shader effects (drop shadows, the style's
    // elevation): set by the main window. The software renderer draws none, and an
    // item whose layer has an effect it does not draw at all.
    property bool effects: false

    // Theme
    readonly property color accent: "#00ADD7"
    readonly property color foreground: dark ? "#ffffff" : "#000000"
    readonly property color background: dark ? "#303030" : "#fafafa"
    readonly property color padNumberKey: dark ? "#000000" : "#ffffff"
    readonly property color padNumberText: dark ? "#ffffff" : "#000000"
    readonly property color padControlKey: dark ? "#787878" : "#D6D6D6"
    readonly property color versionText: "#616161"  // Material grey, shade 700
    // A plain CustomButton's face and a RoundButton's SVG icon.
    readonly property color buttonFace: "#f3f3f3"
    readonly property color roundButtonIcon: "#43496a"
    // The PIN box's "Pin" text and the LOGIN button while nothing is typed.
    readonly property color loginIdle: "#8f8f8f"

    // Result symbols and hints
    readonly property color valid: "#41b987"
    readonly property color warning: "#fcdb03"
    readonly property color invalid: "#db4a37"
    readonly property color error: "red"
    readonly property color scanButton: "#000621"
    readonly property color scanButtonPressed: "#36C478"
    readonly property color shadow: "#80000000"
    // The accent border of popups, and of menus and lists where no shadow is drawn;
    // where one is, the style's elevation of menus and lists.
    readonly property int popupEdge: 2
    readonly property int popupElevation: 8
    readonly property color separator: "#ffffff"
    // A self-test not run yet (Material grey 500).
    readonly property color neutral: "#9e9e9e"

    // Rows of the settings menu: a dark gradient (darker while pressed) between a
    // lighter top line and a black bottom line, with light icons and texts.
    readonly property color menuRowTop: "#333"
    readonly property color menuRowBottom: "#222"
    readonly property color menuRowPressed: "#222"
    readonly property color menuRowTopLine: "#444"
    readonly property color menuRowBottomLine: "#000"
    readonly property color menuRowContent: "#e7e7e7"

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

    // Colour rules of the settings pages: a value shown on a page is coloured by
    // what it says about the device, in the result symbols' own green, amber and
    // red, so every page uses the same three.

    // The colour `table` gives to `value`, or `fallback` for any other value.
    function pick(value, table, fallback) {
        var key = String(value);
        return table.hasOwnProperty(key) ? table[key] : fallback;
    }

    // Validator status ("init", "online", "degraded", "out-of-service", "offline"):
    // serving is green, serving in part or not yet amber, unreachable red.
    function validatorStatusColor(status) {
        return pick(status, { "init": root.warning, "offline": root.invalid,
                              "out-of-service": root.warning, "degraded": root.warning }, root.valid);
    }

    // A self-test result: not run yet grey, "OK" green, "ERROR" red, and anything
    // else ("MISSING", say) amber.
    function testResultColor(value) {
        if (value === undefined || value === null)
            return root.neutral;
        return pick(value, { "": root.neutral, "OK": root.valid, "ERROR": root.invalid }, root.warning);
    }

    // "Connection State" on the general network pane and "State" on the ethernet pane.
    function connectionStateColor(state) {
        return pick(state, { "Connected": root.valid, "Disconnected": root.invalid }, root.warning);
    }

    // "Connectivity": only full connectivity is good; a portal or limited access is
    // a warning; anything else (none, unknown, nothing reported) is a fault.
    function connectivityColor(value) {
        return pick(value, { "Full": root.valid, "Portal": root.warning, "Limited": root.warning },
                    root.invalid);
    }

    // "Status" of the software update page.
    function updateStatusColor(status) {
        return pick(status, { "Disconnected": root.invalid, "Ready to install": root.valid,
                              "Downloading": root.warning, "Installing": root.warning },
                    root.foreground);
    }
}
