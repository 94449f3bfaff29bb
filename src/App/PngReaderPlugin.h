#pragma once

#include <QImageIOPlugin>

// Reads PNG pictures with Qt's own PNG decoder and nothing else. Linked into the
// program, it is the first reader asked for any ".png" file: without it, Qt asks
// every image-format plug-in installed on the system whether it reads PNG, which
// loads them all (and the SVG one brings Qt SVG and Qt Widgets with it) the first
// time a picture is shown. Other formats are read by their own plug-ins as before,
// loaded when such a file is first read.
class PngReaderPlugin : public QImageIOPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QImageIOHandlerFactoryInterface_iid FILE "pngreader.json")

public:
    Capabilities capabilities(QIODevice* device, const QByteArray& format) const override;
    QImageIOHandler* create(QIODevice* device, const QByteArray& format) const override;
};
