.pragma library
.import "ScanLayers.js" as ScanLayers

// Frame stepping of the combined idle animation. Mode 0 is the card animation
// (frames 0..6), mode 1 the ticket animation (frames 0..8).
var CardMode = 0;
var TicketMode = 1;

function lastFrame(mode) {
    return mode === CardMode ? 6 : 8;
}

// The frame actually drawn: a number beyond the mode's last frame draws frame 0.
function shownFrame(mode, frame) {
    return frame > lastFrame(mode) ? 0 : frame;
}

// The layers of the frame drawn (made by tools/artwork with the frames): what stays
// and what moves, each cut to its size, with its place in the 300 x 300 frame.
function layers(mode, frame) {
    return (mode === CardMode ? ScanLayers.card : ScanLayers.ticket)[shownFrame(mode, frame)];
}

// One 300 ms tick. Without a switch interval (switchSec 0) the animation
// alternates by itself: reaching a mode's last frame toggles the mode at once.
function tick(mode, frame, switchSec) {
    var next = { "mode": mode, "frame": frame };
    if (frame >= lastFrame(mode)) {
        next.frame = 0;
        if (switchSec === 0)
            next.mode = 1 - mode;
    } else {
        next.frame = frame + 1;
        if (switchSec === 0 && next.frame >= lastFrame(mode)) {
            next.mode = 1 - mode;
            next.frame = 0;
        }
    }
    return next;
}

// The switch timer's tick when a switch interval is set.
function toggle(mode) {
    return { "mode": 1 - mode, "frame": 0 };
}
