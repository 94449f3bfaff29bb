.pragma library

// Ticket kinds as the validator service numbers them.
var Barcode = 0;
var CardEPurse = 2;
var CardStoredJourneys = 5;
var CardPeriodPass = 8;
var CardEMV = 10;
var CardTransfer = 12;
var CardPassengerTypeUpdate = 13;
var CardTransferEPurse = 14;
var CardCappingEPurse = 15;
var CardCappingStoredJourneys = 16;

// The details block a result screen shows for a ticket kind: "transfer",
// "trips", "transferBalance", "period", "purse", or "" for none. The capping
// kinds are shown on the Valid screen only.
function kindFor(type, screen) {
    var onValid = screen === "Valid";
    switch (Number(type)) {
    case Barcode:
        return "transfer";
    case CardStoredJourneys:
    case CardTransfer:
        return "trips";
    case CardCappingStoredJourneys:
        return onValid ? "trips" : "";
    case CardTransferEPurse:
        return "transferBalance";
    case CardPeriodPass:
        return "period";
    case CardEPurse:
        return "purse";
    case CardCappingEPurse:
        return onValid ? "purse" : "";
    default:
        return "";
    }
}

function isValidDate(value) {
    return value instanceof Date && !isNaN(value.getTime());
}

function currency(value, locale) {
    return Number(value || 0).toLocaleCurrencyString(locale);
}

function date(value, locale) {
    return isValidDate(value) ? value.toLocaleDateString(locale, "d MMM yy") : "";
}
