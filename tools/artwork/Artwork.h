#pragma once

#include <QColor>
#include <QImage>
#include <QString>

// Paints the pictures of the passenger screens with QPainter, so that anyone can
// change and regenerate them. Every picture is drawn from geometry alone: no input
// files, and the same picture on every run.
class Artwork {
public:
    static const QColor kAccent;  // the interface's accent, #00ADD7

    static constexpr int kNfcFrames = 7;
    static constexpr int kBarcodeFrames = 9;

    // 480 x 800, the window's background behind every screen.
    static QImage background();
    // 300 x 300, transparent: a card approaching a reader, whose contactless waves
    // appear one after the other. frame is 0 .. kNfcFrames - 1.
    static QImage nfcFrame(int frame);
    // 300 x 300, transparent: a ticket with a QR code passing over a scanner's beam.
    // frame is 0 .. kBarcodeFrames - 1.
    static QImage barcodeFrame(int frame);
    // 100 x 100, transparent outside a circle: "gr", "uk" or "us".
    static QImage flag(const QString& country);
    // 300 x 300, transparent: the screen-saver logo, a mark above the word "zorv".
    static QImage logo();
    // 64 x 64, transparent: three white bars.
    static QImage menu();

    // Writes the image as a maximally compressed PNG; false on failure.
    static bool save(const QImage& image, const QString& path);
};
