#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QString>
#include <QVector>

class QSvgRenderer;

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
    // One part of a frame, cut to the pixels it covers, and where it lies in the
    // 300 x 300 frame. A frame is its layers painted in order: only the parts that
    // move change from one frame to the next.
    struct Layer {
        QImage image;
        QPoint at;
    };
    static QVector<Layer> nfcLayers(int frame);      // the reader; the card; its waves
    static QVector<Layer> barcodeLayers(int frame);  // the scanner; the ticket; the line
    // The 300 x 300 frame the layers make.
    static QImage compose(const QVector<Layer>& layers);
    // The largest difference of one colour channel between two pictures of a size.
    static int difference(const QImage& a, const QImage& b);

    // 100 x 100, transparent outside a circle: "gr", "uk" or "us".
    static QImage flag(const QString& country);
    // 300 x 300, transparent: the screen-saver logo, a mark above the word "zorv".
    static QImage logo();
    // 64 x 64, transparent: three white bars.
    static QImage menu();

    // side x side, one grey level per pixel: how much of the pixel the icon covers
    // (0 nothing, 255 all), drawn from its SVG.
    static QImage mask(QSvgRenderer& renderer, int side);
    // The sizes at which the screens show the icon of that name (its SVG's base name).
    static QVector<int> maskSides(const QString& name);

    // Writes the image as a maximally compressed PNG; false on failure.
    static bool save(const QImage& image, const QString& path);
};
