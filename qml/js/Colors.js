.pragma library

// Colour rules of the settings pages: a value shown on a page is coloured by
// what it says about the device. The shades are Material's 500 tones, readable
// on both the dark and the light theme.
var grey = "#9e9e9e";
var green = "#4caf50";
var amber = "#ffc107";
var red = "#f44336";

// The colour `table` gives to `value`, or `fallback` for any other value.
function pick(value, table, fallback) {
    var key = String(value);
    return table.hasOwnProperty(key) ? table[key] : fallback;
}

// Validator status ("init", "online", "degraded", "out-of-service", "offline"):
// serving is green, serving in part or not yet amber, unreachable red.
function validatorStatus(status) {
    return pick(status, { "init": amber, "offline": red, "out-of-service": amber,
                          "degraded": amber }, green);
}

// A self-test result: not run yet grey, "OK" green, "ERROR" red, and anything
// else ("MISSING", say) amber.
function testResult(value) {
    if (value === undefined || value === null)
        return grey;
    return pick(value, { "": grey, "OK": green, "ERROR": red }, amber);
}
