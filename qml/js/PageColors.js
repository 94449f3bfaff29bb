.pragma library

// Colour rules of the network and update settings pages. Each rule names a tone,
// "green", "amber", "red" or "foreground"; the page turns the tone into the
// theme's colour (PaneRow.qml), so the rules stay testable without a window.

// "Connection State" on the general pane and "State" on the ethernet pane.
function connectionState(state) {
    if (state === "Connected")
        return "green";
    if (state === "Disconnected")
        return "red";
    return "amber";
}

// "Connectivity": only full connectivity is good; a portal or limited access is
// a warning; anything else (none, unknown, nothing reported) is a fault.
function connectivity(value) {
    if (value === "Full")
        return "green";
    if (value === "Portal" || value === "Limited")
        return "amber";
    return "red";
}

// "Status" of the software update page.
function updateStatus(status) {
    if (status === "Disconnected")
        return "red";
    if (status === "Ready to install")
        return "green";
    if (status === "Downloading" || status === "Installing")
        return "amber";
    return "foreground";
}
