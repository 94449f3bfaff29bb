#include "Artwork.h"

#include <QHash>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QSvgRenderer>
#include <QtMath>

#include <algorithm>

const QColor Artwork::kAccent(0x00, 0xAD, 0xD7);

namespace {

const QColor kAccentDark(0x00, 0x6E, 0x8C);
const QColor kDevice(0x1A, 0x29, 0x38);
const QColor kPaper(0xF4, 0xF7, 0xFA);
const QColor kInk(0x10, 0x18, 0x22);

QImage canvas(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QColor withAlpha(QColor colour, int alpha) {
    colour.setAlpha(alpha);
    return colour;
}

qreal mix(qreal from, qreal to, qreal t) {
    return from + (to - from) * t;
}

// Smooth start and end, so that the approach slows down near the reader.
qreal ease(qreal t) {
    return t * t * (3 - 2 * t);
}

// The contactless mark: a dot and arcs opening to the right around centre.
void drawContactlessMark(QPainter& p, const QPointF& centre, qreal size, const QColor& colour,
                         qreal width) {
    p.save();
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    for (int i = 1; i <= 3; ++i) {
        const qreal r = size * i / 3.0;
        p.drawArc(QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r), -45 * 16, 90 * 16);
    }
    p.restore();
}

// A contactless card seen from above: accent face, chip, mark and printed lines.
void drawCard(QPainter& p, const QPointF& centre, qreal angle, qreal scale, qreal opacity) {
    const QRectF face(-75, -48, 150, 96);
    p.save();
    p.setOpacity(opacity);
    p.translate(centre);
    p.rotate(angle);
    p.scale(scale, scale);

    // Soft shadow below the card.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 70));
    p.drawRoundedRect(face.translated(4, 6), 10, 10);

    QLinearGradient faceGradient(face.topLeft(), face.bottomRight());
    faceGradient.setColorAt(0, Artwork::kAccent.lighter(115));
    faceGradient.setColorAt(1, kAccentDark);
    p.setBrush(faceGradient);
    p.setPen(QPen(QColor(255, 255, 255, 200), 2));
    p.drawRoundedRect(face, 10, 10);

    // Chip.
    const QRectF chip(-58, -22, 30, 24);
    p.setPen(QPen(withAlpha(kAccentDark, 255), 1.5));
    p.setBrush(QColor(0xE8, 0xF6, 0xFA));
    p.drawRoundedRect(chip, 4, 4);
    p.drawLine(QPointF(chip.left(), chip.center().y()), QPointF(chip.right(), chip.center().y()));
    p.drawLine(QPointF(chip.center().x(), chip.top()), QPointF(chip.center().x(), chip.bottom()));

    drawContactlessMark(p, QPointF(40, -22), 22, Qt::white, 3);

    // Printed number and name.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 190));
    for (int i = 0; i < 4; ++i) {
        p.drawRoundedRect(QRectF(-58 + i * 30, 14, 24, 6), 3, 3);
    }
    p.setBrush(QColor(255, 255, 255, 120));
    p.drawRoundedRect(QRectF(-58, 28, 60, 5), 2.5, 2.5);
    p.restore();
}

// The validator's reader: a dark pad with the contactless mark in its target zone.
void drawReader(QPainter& p, bool lit) {
    const QRectF body(45, 196, 210, 88);
    p.save();
    p.setPen(QPen(QColor(255, 255, 255, 170), 3));
    p.setBrush(kDevice);
    p.drawRoundedRect(body, 16, 16);
    const QRectF target = body.adjusted(18, 14, -18, -14);
    p.setPen(QPen(lit ? Artwork::kAccent : withAlpha(Artwork::kAccent, 150), 3, Qt::DashLine,
                  Qt::RoundCap));
    p.setBrush(lit ? withAlpha(Artwork::kAccent, 45) : Qt::NoBrush);
    p.drawRoundedRect(target, 10, 10);
    drawContactlessMark(p, QPointF(target.center().x() - 14, target.center().y()), 26,
                        lit ? Qt::white : QColor(255, 255, 255, 160), 4);
    p.restore();
}

// A five-pointed star of outer radius r around centre.
QPolygonF star(const QPointF& centre, qreal r) {
    QPolygonF points;
    for (int i = 0; i < 10; ++i) {
        const qreal radius = (i % 2 == 0) ? r : r * 0.4;
        const qreal a = qDegreesToRadians(-90.0 + i * 36.0);
        points << centre + QPointF(radius * qCos(a), radius * qSin(a));
    }
    return points;
}

// A QR-like symbol: three finder squares and a fixed pseudo-random module field.
void drawQrSymbol(QPainter& p, const QRectF& area) {
    const int modules = 21;
    const qreal m = area.width() / modules;
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    auto finder = [&](int col, int row) {
        const QRectF outer(area.left() + col * m, area.top() + row * m, 7 * m, 7 * m);
        QPainterPath ring;
        ring.addRect(outer);
        ring.addRect(outer.adjusted(m, m, -m, -m));
        p.drawPath(ring);
        p.drawRect(outer.adjusted(2 * m, 2 * m, -2 * m, -2 * m));
    };
    finder(0, 0);
    finder(modules - 7, 0);
    finder(0, modules - 7);
    quint32 state = 0x5EEDu;
    for (int row = 0; row < modules; ++row) {
        for (int col = 0; col < modules; ++col) {
            const bool inFinder = (row < 8 && col < 8) || (row < 8 && col >= modules - 8) ||
                                  (row >= modules - 8 && col < 8);
            state = state * 1664525u + 1013904223u;
            if (!inFinder && (state >> 28) % 2 == 1) {
                p.drawRect(QRectF(area.left() + col * m, area.top() + row * m, m, m));
            }
        }
    }
    p.restore();
}

// A paper ticket: accent band, QR symbol, two printed lines.
void drawTicket(QPainter& p, const QPointF& centre) {
    const QRectF paper(centre.x() - 55, centre.y() - 75, 110, 150);
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 80));
    p.drawRoundedRect(paper.translated(4, 6), 8, 8);
    p.setBrush(kPaper);
    p.setPen(QPen(Qt::white, 1.5));
    p.drawRoundedRect(paper, 8, 8);
    QPainterPath band;
    band.addRoundedRect(QRectF(paper.left(), paper.top(), paper.width(), 30), 8, 8);
    band.addRect(QRectF(paper.left(), paper.top() + 15, paper.width(), 15));
    p.setPen(Qt::NoPen);
    p.setBrush(Artwork::kAccent);
    p.drawPath(band.simplified());
    p.setBrush(QColor(255, 255, 255, 220));
    p.drawRoundedRect(QRectF(paper.left() + 10, paper.top() + 11, 50, 7), 3.5, 3.5);
    drawQrSymbol(p, QRectF(paper.left() + 13, paper.top() + 38, 84, 84));
    p.setBrush(QColor(0x9A, 0xA8, 0xB5));
    p.drawRoundedRect(QRectF(paper.left() + 13, paper.top() + 130, 56, 5), 2.5, 2.5);
    p.restore();
}

// The barcode scanner: a dark body with a glowing window, and its beam fanning up.
void drawScanner(QPainter& p) {
    p.save();
    QPolygonF fan;
    fan << QPointF(108, 236) << QPointF(192, 236) << QPointF(270, 40) << QPointF(30, 40);
    QLinearGradient fanGradient(0, 236, 0, 40);
    fanGradient.setColorAt(0, withAlpha(Artwork::kAccent, 110));
    fanGradient.setColorAt(1, withAlpha(Artwork::kAccent, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(fanGradient);
    p.drawPolygon(fan);

    const QRectF body(48, 236, 204, 50);
    p.setPen(QPen(QColor(255, 255, 255, 170), 3));
    p.setBrush(kDevice);
    p.drawRoundedRect(body, 14, 14);
    p.setPen(Qt::NoPen);
    p.setBrush(Artwork::kAccent);
    p.drawRoundedRect(QRectF(100, 230, 100, 10), 5, 5);
    p.setBrush(QColor(255, 255, 255, 90));
    p.drawRoundedRect(QRectF(70, 256, 40, 6), 3, 3);
    p.restore();
}

// The scan line where the beam meets the ticket, brighter over the paper.
void drawScanLine(QPainter& p, qreal y, const QRectF& paper) {
    p.save();
    const qreal left = 50;
    const qreal right = 250;
    p.setPen(QPen(withAlpha(Artwork::kAccent, 120), 8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(left, y), QPointF(right, y));
    const qreal hitLeft = qMax(left, paper.left());
    const qreal hitRight = qMin(right, paper.right());
    if (hitRight > hitLeft) {
        p.setPen(QPen(withAlpha(Artwork::kAccent, 200), 10, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(hitLeft, y), QPointF(hitRight, y));
    }
    p.setPen(QPen(Qt::white, 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(left, y), QPointF(right, y));
    p.restore();
}

}  // namespace

QImage Artwork::background() {
    QImage image = canvas(480, 800);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient base(0, 0, 0, 800);
    base.setColorAt(0, QColor(0x0E, 0x1C, 0x2A));
    base.setColorAt(0.55, QColor(0x08, 0x11, 0x1A));
    base.setColorAt(1, QColor(0x04, 0x08, 0x0D));
    p.fillRect(image.rect(), base);

    // Two soft accent glows, one behind the header and one low on the left.
    QRadialGradient top(QPointF(420, 60), 460);
    top.setColorAt(0, withAlpha(kAccent, 48));
    top.setColorAt(1, withAlpha(kAccent, 0));
    p.fillRect(image.rect(), top);
    QRadialGradient low(QPointF(40, 780), 340);
    low.setColorAt(0, withAlpha(kAccent, 26));
    low.setColorAt(1, withAlpha(kAccent, 0));
    p.fillRect(image.rect(), low);

    // Faint sweeping arcs, as of a contactless field, from the upper right.
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 7; ++i) {
        const qreal r = 260 + i * 70;
        p.setPen(QPen(QColor(255, 255, 255, 9 - i), 2));
        p.drawEllipse(QPointF(520, -40), r, r);
    }
    p.end();
    return image.convertToFormat(QImage::Format_RGB32);
}

namespace {

// The parts of a card-animation frame, in the order they are painted: the reader,
// the card, its waves.
void paintNfcPart(QPainter& p, int frame, int part) {
    p.setRenderHint(QPainter::Antialiasing);
    // Frames 0 to 3: the card comes down onto the reader; 4 to 6: it rests there and
    // the contactless waves appear one by one.
    const int approachFrames = 3;
    const qreal t = ease(qMin<qreal>(frame, approachFrames) / approachFrames);
    const int waves = qMax(0, frame - approachFrames);
    if (part == 0) {
        drawReader(p, waves > 0);
        return;
    }

    const QPointF centre(mix(222, 150, t), mix(58, 168, t));
    if (part == 1) {
        drawCard(p, centre, mix(-24, -6, t), mix(0.72, 1.0, t), mix(0.55, 1.0, t));
        return;
    }

    p.setBrush(Qt::NoBrush);
    const QPointF origin(centre.x(), centre.y() - 44);
    for (int i = 0; i < waves; ++i) {
        const qreal r = 30 + i * 24;
        const QColor colour = (i == waves - 1) ? Artwork::kAccent.lighter(130) : QColor(Qt::white);
        p.setPen(QPen(withAlpha(colour, 255 - i * 50), 7, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(origin.x() - r, origin.y() - r, 2 * r, 2 * r), 50 * 16, 80 * 16);
    }
}

// The parts of a ticket-animation frame, in the order they are painted: the
// scanner with its beam, the ticket, the scan line over it.
void paintBarcodePart(QPainter& p, int frame, int part) {
    p.setRenderHint(QPainter::Antialiasing);
    if (part == 0) {
        drawScanner(p);
        return;
    }
    // The ticket slides from left to right across the beam, one step per frame, and
    // fades in and out at the picture's edges instead of being cut.
    const QPointF centre(30 + frame * 30.0, 122);
    const QRectF paper(centre.x() - 55, centre.y() - 75, 110, 150);
    if (part == 2) {
        drawScanLine(p, 150, paper);
        return;
    }
    QImage layer = canvas(300, 300);
    {
        QPainter l(&layer);
        l.setRenderHint(QPainter::Antialiasing);
        drawTicket(l, centre);
        // Over the scanner (the middle frames) the symbol is read: the paper glows.
        if (qAbs(centre.x() - 150) < 31) {
            l.setPen(QPen(withAlpha(Artwork::kAccent, 170), 4));
            l.setBrush(Qt::NoBrush);
            l.drawRoundedRect(paper.adjusted(-4, -4, 4, 4), 11, 11);
        }
        QLinearGradient fade(0, 0, 300, 0);
        fade.setColorAt(0, Qt::transparent);
        fade.setColorAt(0.16, Qt::black);
        fade.setColorAt(0.84, Qt::black);
        fade.setColorAt(1, Qt::transparent);
        l.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        l.fillRect(layer.rect(), fade);
    }
    p.drawImage(0, 0, layer);
}

using PartPainter = void (*)(QPainter&, int, int);

QImage paintFrame(PartPainter paintPart, int frame, int parts) {
    QImage image = canvas(300, 300);
    QPainter p(&image);
    for (int part = 0; part < parts; ++part) {
        p.save();
        paintPart(p, frame, part);
        p.restore();
    }
    return image;
}

// Each part alone, cut to the pixels it covers.
QVector<Artwork::Layer> paintLayers(PartPainter paintPart, int frame, int parts) {
    QVector<Artwork::Layer> layers;
    for (int part = 0; part < parts; ++part) {
        QImage image = canvas(300, 300);
        {
            QPainter p(&image);
            paintPart(p, frame, part);
        }
        QRect covered;
        for (int y = 0; y < image.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                if (qAlpha(line[x]) != 0) {
                    covered |= QRect(x, y, 1, 1);
                }
            }
        }
        if (!covered.isEmpty()) {
            layers.append({image.copy(covered), covered.topLeft()});
        }
    }
    return layers;
}

}  // namespace

QImage Artwork::nfcFrame(int frame) {
    return paintFrame(paintNfcPart, qBound(0, frame, kNfcFrames - 1), 3);
}

QImage Artwork::barcodeFrame(int frame) {
    return paintFrame(paintBarcodePart, qBound(0, frame, kBarcodeFrames - 1), 3);
}

QVector<Artwork::Layer> Artwork::nfcLayers(int frame) {
    return paintLayers(paintNfcPart, qBound(0, frame, kNfcFrames - 1), 3);
}

QVector<Artwork::Layer> Artwork::barcodeLayers(int frame) {
    return paintLayers(paintBarcodePart, qBound(0, frame, kBarcodeFrames - 1), 3);
}

QImage Artwork::compose(const QVector<Layer>& layers) {
    QImage image = canvas(300, 300);
    QPainter p(&image);
    for (const Layer& layer : layers) {
        p.drawImage(layer.at, layer.image);
    }
    return image;
}

int Artwork::difference(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    int worst = 0;
    for (int row = 0; row < qMin(x.height(), y.height()); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < qMin(x.width(), y.width()); ++col) {
            worst = std::max(
                {worst, qAbs(qRed(p[col]) - qRed(q[col])), qAbs(qGreen(p[col]) - qGreen(q[col])),
                 qAbs(qBlue(p[col]) - qBlue(q[col])), qAbs(qAlpha(p[col]) - qAlpha(q[col]))});
        }
    }
    return worst;
}

QImage Artwork::flag(const QString& country) {
    const int size = 100;
    QImage image = canvas(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath disc;
    disc.addEllipse(QRectF(2, 2, size - 4, size - 4));
    p.setClipPath(disc);
    p.setPen(Qt::NoPen);

    if (country == QLatin1String("gr")) {
        const QColor blue(0x0D, 0x5E, 0xAF);
        const qreal stripe = size / 9.0;
        for (int i = 0; i < 9; ++i) {
            p.fillRect(QRectF(0, i * stripe, size, stripe + 0.5), i % 2 == 0 ? blue : Qt::white);
        }
        const qreal canton = 5 * stripe;
        p.fillRect(QRectF(0, 0, canton, canton), blue);
        p.fillRect(QRectF(0, 2 * stripe, canton, stripe), Qt::white);
        p.fillRect(QRectF(2 * stripe, 0, stripe, canton), Qt::white);
    } else if (country == QLatin1String("uk")) {
        const QColor blue(0x01, 0x21, 0x69);
        const QColor red(0xC8, 0x10, 0x2E);
        p.fillRect(QRectF(0, 0, size, size), blue);
        p.setPen(QPen(Qt::white, 20));
        p.drawLine(QPointF(0, 0), QPointF(size, size));
        p.drawLine(QPointF(size, 0), QPointF(0, size));
        p.setPen(QPen(red, 7));
        p.drawLine(QPointF(0, 0), QPointF(size, size));
        p.drawLine(QPointF(size, 0), QPointF(0, size));
        p.setPen(Qt::NoPen);
        p.fillRect(QRectF(size / 2.0 - 16, 0, 32, size), Qt::white);
        p.fillRect(QRectF(0, size / 2.0 - 16, size, 32), Qt::white);
        p.fillRect(QRectF(size / 2.0 - 10, 0, 20, size), red);
        p.fillRect(QRectF(0, size / 2.0 - 10, size, 20), red);
    } else {
        const QColor red(0xB2, 0x22, 0x34);
        const QColor blue(0x3C, 0x3B, 0x6E);
        const qreal stripe = size / 13.0;
        for (int i = 0; i < 13; ++i) {
            p.fillRect(QRectF(0, i * stripe, size, stripe + 0.5), i % 2 == 0 ? red : Qt::white);
        }
        const QRectF canton(0, 0, size * 0.5, 7 * stripe);
        p.fillRect(canton, blue);
        p.setBrush(Qt::white);
        for (int row = 0; row < 9; ++row) {
            const int count = row % 2 == 0 ? 6 : 5;
            for (int col = 0; col < count; ++col) {
                const qreal x = canton.width() * (col * 2 + (row % 2 == 0 ? 1 : 2)) / 12.0;
                const qreal y = canton.height() * (row + 1) / 10.0;
                p.drawPolygon(star(QPointF(x, y), 2.2));
            }
        }
    }
    p.setClipping(false);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 200), 2));
    p.drawEllipse(QRectF(2, 2, size - 4, size - 4));
    return image;
}

QImage Artwork::logo() {
    QImage image = canvas(300, 300);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    const QPointF centre(150, 118);
    QRadialGradient glow(centre, 110);
    glow.setColorAt(0, withAlpha(kAccent, 70));
    glow.setColorAt(1, withAlpha(kAccent, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(centre, 110, 110);

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kAccent, 12));
    p.drawEllipse(centre, 78, 78);

    // A "z" drawn as one stroke, cut by the ring's accent.
    QPainterPath zed;
    zed.moveTo(centre + QPointF(-38, -36));
    zed.lineTo(centre + QPointF(38, -36));
    zed.lineTo(centre + QPointF(-38, 36));
    zed.lineTo(centre + QPointF(38, 36));
    p.setPen(QPen(Qt::white, 16, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(zed);
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawEllipse(centre + QPointF(52, -52), 9, 9);

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(58);
    font.setBold(true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 4);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 208, 300, 80), Qt::AlignHCenter | Qt::AlignVCenter,
               QStringLiteral("zorv"));
    return image;
}

QImage Artwork::menu() {
    QImage image = canvas(64, 64);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    for (int i = 0; i < 3; ++i) {
        p.drawRoundedRect(QRectF(10, 16 + i * 13, 44, 6), 3, 3);
    }
    return image;
}

QImage Artwork::mask(QSvgRenderer& renderer, int side) {
    QImage image = canvas(side, side);
    {
        QPainter p(&image);
        renderer.render(&p, QRectF(0, 0, side, side));
    }
    QImage grey(side, side, QImage::Format_Grayscale8);
    for (int y = 0; y < side; ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        uchar* to = grey.scanLine(y);
        for (int x = 0; x < side; ++x) {
            to[x] = static_cast<uchar>(qAlpha(from[x]));
        }
    }
    return grey;
}

QVector<int> Artwork::maskSides(const QString& name) {
    static const QHash<QString, QVector<int>> sides = {
        {QStringLiteral("valid"), {250}},
        {QStringLiteral("invalid"), {250}},
        {QStringLiteral("retry"), {250}},
        {QStringLiteral("warning"), {300, 250}},
        {QStringLiteral("nfc"), {50}},
        {QStringLiteral("qr-code"), {50}},
        {QStringLiteral("chevron-left"), {60, 52}},  // 52 while pressed
        {QStringLiteral("lock"), {35}},
        {QStringLiteral("arrow-right"), {27}},
        {QStringLiteral("search"), {30}},
        {QStringLiteral("calendar"), {22}},
        {QStringLiteral("clock"), {16}},
        {QStringLiteral("trash"), {26}},
        // The settings menu's rows.
        {QStringLiteral("ticket"), {41}},
        {QStringLiteral("diagnostic"), {41}},
        {QStringLiteral("region"), {41}},
        {QStringLiteral("audio"), {41}},
        {QStringLiteral("brightness-2"), {41}},
        {QStringLiteral("network"), {41}},
        {QStringLiteral("update"), {41}},
        {QStringLiteral("log"), {41}},
    };
    return sides.value(name, {64});
}

bool Artwork::save(const QImage& image, const QString& path) {
    QImageWriter writer(path, "png");
    writer.setQuality(0);  // smallest file: zlib's strongest compression
    return writer.write(image);
}
