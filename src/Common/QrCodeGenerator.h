#pragma once

#include <QObject>
#include <QString>
#include <qrcodegen/qrcodegen.hpp>

// Draws a text as a QR code in a small SVG document for an Image in QML: black
// unit squares on a white background, with a light border of `border` modules.
class QrCodeGenerator : public QObject {
    Q_OBJECT

public:
    explicit QrCodeGenerator(QObject* parent = nullptr);

    // The SVG of the text's UTF-8 bytes, or an empty text (with a warning) when
    // the text does not fit the largest symbol at that error-correction level.
    QString generateSvgQr(const QString& text, quint16 border, qrcodegen::QrCode::Ecc ecc);
    QString toSvgString(const qrcodegen::QrCode& qr, quint16 border) const;
};
