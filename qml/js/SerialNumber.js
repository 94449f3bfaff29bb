.pragma library

// A device serial number is one capital "C" or "K" followed by exactly 8 digits.
function isValid(text) {
    return /^[CK][0-9]{8}$/.test(String(text));
}
