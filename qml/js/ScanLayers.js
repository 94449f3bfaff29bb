.pragma library

// Made by tools/artwork (the artwork-images target); do not edit. The layers of
// each frame of the card and ticket animations, painted in order: the picture
// below qml/images/ and where it lies in the 300 x 300 frame.

var card = [
    [{ "source": "NFC/layers/0-0.png", "x": 43, "y": 194 }, { "source": "NFC/layers/0-1.png", "x": 160, "y": 6 }],
    [{ "source": "NFC/layers/0-0.png", "x": 43, "y": 194 }, { "source": "NFC/layers/1-1.png", "x": 136, "y": 32 }],
    [{ "source": "NFC/layers/0-0.png", "x": 43, "y": 194 }, { "source": "NFC/layers/2-1.png", "x": 92, "y": 83 }],
    [{ "source": "NFC/layers/0-0.png", "x": 43, "y": 194 }, { "source": "NFC/layers/3-1.png", "x": 70, "y": 112 }],
    [{ "source": "NFC/layers/4-0.png", "x": 43, "y": 194 }, { "source": "NFC/layers/3-1.png", "x": 70, "y": 112 }, { "source": "NFC/layers/4-2.png", "x": 127, "y": 90 }],
    [{ "source": "NFC/layers/4-0.png", "x": 43, "y": 194 }, { "source": "NFC/layers/3-1.png", "x": 70, "y": 112 }, { "source": "NFC/layers/5-2.png", "x": 111, "y": 66 }],
    [{ "source": "NFC/layers/4-0.png", "x": 43, "y": 194 }, { "source": "NFC/layers/3-1.png", "x": 70, "y": 112 }, { "source": "NFC/layers/6-2.png", "x": 96, "y": 42 }]
];

var ticket = [
    [{ "source": "Barcode/layers/0-0.png", "x": 31, "y": 41 }, { "source": "Barcode/layers/0-1.png", "x": 0, "y": 46 }, { "source": "Barcode/layers/0-2.png", "x": 45, "y": 145 }],
    [{ "source": "Barcode/layers/0-0.png", "x": 31, "y": 41 }, { "source": "Barcode/layers/1-1.png", "x": 4, "y": 46 }, { "source": "Barcode/layers/1-2.png", "x": 45, "y": 145 }],
    [{ "source": "Barcode/layers/0-0.png", "x": 31, "y": 41 }, { "source": "Barcode/layers/2-1.png", "x": 34, "y": 46 }, { "source": "Barcode/layers/2-2.png", "x": 45, "y": 145 }],
    [{ "source": "Barcode/layers/0-0.png", "x": 31, "y": 41 }, { "source": "Barcode/layers/3-1.png", "x": 59, "y": 41 }, { "source": "Barcode/layers/3-2.png", "x": 46, "y": 145 }],
    [{ "source": "Barcode/layers/0-0.png", "x": 31, "y": 41 }, { "source": "Barcode/layers/3-1.png", "x": 89, "y": 41 }, { "source": "Barcode/layers/4-2.png", "x": 46, "y": 145 }],
    [{ "source": "Barcode/layers/0-0.png", "x": 31, "y": 41 }, { "source": "Barcode/layers/3-1.png", "x": 119, "y": 41 }, { "source": "Barcode/layers/5-2.png", "x": 46, "y": 145 }],
    [{ "source": "Barcode/layers/0-0.png", "x": 31, "y": 41 }, { "source": "Barcode/layers/6-1.png", "x": 154, "y": 46 }, { "source": "Barcode/layers/6-2.png", "x": 46, "y": 145 }],
    [{ "source": "Barcode/layers/0-0.png", "x": 31, "y": 41 }, { "source": "Barcode/layers/7-1.png", "x": 184, "y": 46 }, { "source": "Barcode/layers/7-2.png", "x": 46, "y": 145 }],
    [{ "source": "Barcode/layers/0-0.png", "x": 31, "y": 41 }, { "source": "Barcode/layers/8-1.png", "x": 214, "y": 46 }, { "source": "Barcode/layers/8-2.png", "x": 46, "y": 145 }]
];
