.pragma library

// Remaining time of a ticket as the result screens show it: days above one day,
// hours above two hours, minutes otherwise. `units` carries the translated unit
// words { day, days, hour, hours, min, mins } of the calling screen.
function periodText(minutes, units) {
    var m = Number(minutes);
    if (!isFinite(m))
        m = 0;
    if (m > 1440) {
        var days = Math.round(m / 1440);
        return days + " " + (days === 1 ? units.day : units.days);
    }
    if (m > 120) {
        var hours = Math.round(m / 60);
        return hours + " " + (hours === 1 ? units.hour : units.hours);
    }
    return m + " " + (m === 1 ? units.min : units.mins);
}
