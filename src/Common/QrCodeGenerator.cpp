#include "QrCodeGenerator.h"

#include <QDebug>
#include <exception>

namespace {
const char* const TAG = "[QrCodeGenerator] ";
}

QrCodeGenerator::QrCodeGenerator(QObject* parent) : QObject(parent) {}

QString QrCodeGenerator::generateSvgQr(const QString& text, quint16 border,
                                       qrcodegen::QrCode::Ecc ecc) {
    const QByteArray utf8 = text.toUtf8();
    // The library takes a C string: a NUL would silently cut the text short.
    if (utf8.contains('\0')) {
        qWarning() << TAG << "WARN: Text holds a NUL character, no QR code";
        return QString();
    }
    try {
        return toSvgString(qrcodegen::QrCode::encodeText(utf8.constData(), ecc), border);
    } catch (const qrcodegen::data_too_long&) {
        qWarning() << TAG << "WARN: Text too long for a QR code : " << utf8.size() << "bytes";
    } catch (const std::exception& error) {
        qWarning() << TAG << "WARN: QR code not generated : " << error.what();
    }
    return QString();
}

QString QrCodeGenerator::toSvgString(const qrcodegen::QrCode& qr, quint16 border) const {
    const int size = qr.getSize();
    const QString dimension = QString::number(size + 2 * int(border));
    QString svg;
    svg.reserve(200 + size * size * 8);
    svg += QLatin1String("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    svg += QLatin1String(
        "<!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 1.1//EN\" "
        "\"http://www.w3.org/Graphics/SVG/1.1/DTD/svg11.dtd\">");
    svg +=
        QLatin1String("<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" viewBox=\"0 0 ");
    svg += dimension + QLatin1Char(' ') + dimension;
    svg += QLatin1String(
        "\" stroke=\"none\"><rect width=\"100%\" height=\"100%\" fill=\"#FFFFFF\"/><path d=\"");
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            if (!qr.getModule(x, y)) {
                continue;
            }
            if (x != 0 || y != 0) {
                svg += QLatin1Char(' ');
            }
            svg += QLatin1Char('M') + QString::number(x + border) + QLatin1Char(',') +
                   QString::number(y + border) + QLatin1String("h1v1h-1z");
        }
    }
    svg += QLatin1String("\" fill=\"#000000\"/></svg>");
    return svg;
}
