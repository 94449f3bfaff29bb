.pragma library

// Colour rules of the settings pages: a value shown on a page is coloured by what
// it says about the device. Each rule names a tone, "green", "amber", "red", "grey"
// or "foreground"; Style.toneColor turns it into the one colour every page uses, so
// the rules stay testable without a window.

// The tone `table` gives to `value`, or `fallback` for any other value.
function pick(value, table, fallback) {
    var key = String(value);
    return table.hasOwnProperty(key) ? table[key] : fallback;
}

// Validator status ("init", "online", "degraded", "out-of-service", "offline"):
// serving is green, serving in part or not yet amber, unreachable red.
function validatorStatus(status) {
    return pick(status, { "init": "amber", "offline": "red", "out-of-service": "amber",
                          "degraded": "amber" }, "green");
}

// A self-test result: not run yet grey, "OK" green, "ERROR" red, and anything
// else ("MISSING", say) amber.
function testResult(value) {
    if (value === undefined || value === null)
        return "grey";
    return pick(value, { "": "grey", "OK": "green", "ERROR": "red" }, "amber");
}

// "Connection State" on the general pane and "State" on the ethernet pane.
function connectionState(state) {
    return pick(state, { "Connected": "green", "Disconnected": "red" }, "amber");
}

// "Connectivity": only full connectivity is good; a portal or limited access is
// a warning; anything else (none, unknown, nothing reported) is a fault.
function connectivity(value) {
    return pick(value, { "Full": "green", "Portal": "amber", "Limited": "amber" }, "red");
}

// "Status" of the software update page.
function updateStatus(status) {
    return pick(status, { "Disconnected": "red", "Ready to install": "green",
                          "Downloading": "amber", "Installing": "amber" }, "foreground");
}
