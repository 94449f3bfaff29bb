// Linked statically (Q_IMPORT_PLUGIN(PngReaderPlugin) in main), so its meta-object
// code is compiled here, with the static plug-in's entry point.
#define QT_STATICPLUGIN
#include "PngReaderPlugin.h"

#include <QImageReader>
#include <QVariant>

namespace {

// Set while a handler reads through Qt's built-in decoder: the reader it makes asks
// the plug-ins once more for "png", and this one then declines, so that the
// built-in decoder answers.
thread_local bool t_reading = false;

class PngHandler : public QImageIOHandler {
public:
    bool canRead() const override {
        if (!device() || device()->peek(8) != QByteArray("\x89PNG\r\n\x1a\n", 8)) {
            return false;
        }
        setFormat("png");
        return true;
    }

    bool read(QImage* image) override {
        if (!device()) {
            return false;
        }
        t_reading = true;
        QImageReader reader(device(), "png");
        reader.setAutoDetectImageFormat(false);
        if (m_scaledSize.isValid()) {
            reader.setScaledSize(m_scaledSize);
        }
        const bool ok = reader.read(image);
        t_reading = false;
        return ok;
    }

    bool supportsOption(ImageOption option) const override {
        return option == Size || option == ImageFormat || option == ScaledSize;
    }

    QVariant option(ImageOption option) const override {
        if (option != Size && option != ImageFormat) {
            return QVariant();
        }
        const qint64 at = device() ? device()->pos() : 0;
        t_reading = true;
        QImageReader reader(device(), "png");
        reader.setAutoDetectImageFormat(false);
        const QVariant value =
            option == Size ? QVariant(reader.size()) : QVariant(int(reader.imageFormat()));
        t_reading = false;
        if (device() && !device()->isSequential()) {
            device()->seek(at);
        }
        return value;
    }

    void setOption(ImageOption option, const QVariant& value) override {
        if (option == ScaledSize) {
            m_scaledSize = value.toSize();
        }
    }

private:
    QSize m_scaledSize;
};

}  // namespace

QImageIOPlugin::Capabilities PngReaderPlugin::capabilities(QIODevice* device,
                                                           const QByteArray& format) const {
    Q_UNUSED(device)
    if (t_reading || format != "png") {
        return {};
    }
    return CanRead;
}

QImageIOHandler* PngReaderPlugin::create(QIODevice* device, const QByteArray& format) const {
    auto* handler = new PngHandler;
    handler->setDevice(device);
    handler->setFormat(format);
    return handler;
}

#include "moc_PngReaderPlugin.cpp"
