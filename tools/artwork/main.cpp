#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSvgRenderer>
#include <QTextStream>

#include "Artwork.h"

// Paints every picture of qml/images into the folder given on the command line
// (default "qml/images", run from the repository's top). Exit code 1 if any file
// could not be written.
int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Paints the pictures of qml/images"));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("folder"), QStringLiteral("output folder"));
    parser.process(app);
    const QString folder = parser.positionalArguments().value(0, QStringLiteral("qml/images"));

    QList<QPair<QString, QImage>> pictures;
    pictures << qMakePair(QStringLiteral("background.png"), Artwork::background());
    for (int i = 0; i < Artwork::kNfcFrames; ++i) {
        pictures << qMakePair(QStringLiteral("NFC/%1.png").arg(i), Artwork::nfcFrame(i));
    }
    for (int i = 0; i < Artwork::kBarcodeFrames; ++i) {
        pictures << qMakePair(QStringLiteral("Barcode/%1.png").arg(i), Artwork::barcodeFrame(i));
    }
    for (const char* country : {"gr", "uk", "us"}) {
        pictures << qMakePair(QStringLiteral("Flags/%1.png").arg(QLatin1String(country)),
                              Artwork::flag(QLatin1String(country)));
    }
    pictures << qMakePair(QStringLiteral("Icons/zorv.png"), Artwork::logo());
    pictures << qMakePair(QStringLiteral("Icons/menu.png"), Artwork::menu());

    // The two idle animations once more, in layers (see Artwork::Layer), and the
    // table that places them, for the idle screen's frames: a layer that looks like
    // one already written (wherever it lies) is named again instead of written twice.
    QString table = QStringLiteral(
        ".pragma library\n\n"
        "// Made by tools/artwork (the artwork-images target); do not edit. The layers of\n"
        "// each frame of the card and ticket animations, painted in order: the picture\n"
        "// below qml/images/ and where it lies in the 300 x 300 frame.\n");
    int worst = 0;
    auto addAnimation = [&](const QString& name, const QString& dir, int frames,
                            QVector<Artwork::Layer> (*layersOf)(int), QImage (*frameOf)(int)) {
        QVector<QPair<Artwork::Layer, QString>> written;
        table += QStringLiteral("\nvar %1 = [\n").arg(name);
        for (int frame = 0; frame < frames; ++frame) {
            const QVector<Artwork::Layer> layers = layersOf(frame);
            worst = qMax(worst, Artwork::difference(Artwork::compose(layers), frameOf(frame)));
            QStringList entries;
            for (int part = 0; part < layers.size(); ++part) {
                const Artwork::Layer& layer = layers.at(part);
                QString file;
                for (const auto& done : written) {
                    if (done.first.image == layer.image) {
                        file = done.second;
                    }
                }
                if (file.isEmpty()) {
                    file = QStringLiteral("%1/layers/%2-%3.png").arg(dir).arg(frame).arg(part);
                    written.append(qMakePair(layer, file));
                    pictures << qMakePair(file, layer.image);
                }
                entries << QStringLiteral("{ \"source\": \"%1\", \"x\": %2, \"y\": %3 }")
                               .arg(file)
                               .arg(layer.at.x())
                               .arg(layer.at.y());
            }
            table += QStringLiteral("    [") + entries.join(QStringLiteral(", ")) +
                     (frame + 1 < frames ? QStringLiteral("],\n") : QStringLiteral("]\n"));
        }
        table += QStringLiteral("];\n");
    };
    addAnimation(QStringLiteral("card"), QStringLiteral("NFC"), Artwork::kNfcFrames,
                 &Artwork::nfcLayers, &Artwork::nfcFrame);
    addAnimation(QStringLiteral("ticket"), QStringLiteral("Barcode"), Artwork::kBarcodeFrames,
                 &Artwork::barcodeLayers, &Artwork::barcodeFrame);

    // The SVG icons' shapes at the sizes the screens show them (the tinted icon
    // provider draws them in their colour from these, and scales the nearest one for
    // any other size).
    const QDir icons(QDir(folder).filePath(QStringLiteral("Icons")));
    const QStringList svgs = icons.entryList({QStringLiteral("*.svg")}, QDir::Files, QDir::Name);
    for (const QString& svg : svgs) {
        QSvgRenderer renderer(icons.filePath(svg));
        const QString name = QFileInfo(svg).completeBaseName();
        for (const int side : Artwork::maskSides(name)) {
            pictures << qMakePair(QStringLiteral("Icons/masks/%1-%2.png").arg(name).arg(side),
                                  Artwork::mask(renderer, side));
        }
    }

    QTextStream out(stdout);
    int failures = 0;
    for (const auto& picture : pictures) {
        const QString path = QDir(folder).filePath(picture.first);
        if (!QDir().mkpath(QFileInfo(path).absolutePath()) ||
            !Artwork::save(picture.second, path)) {
            out << "cannot write " << path << Qt::endl;
            ++failures;
            continue;
        }
        out << path << " " << QFileInfo(path).size() << " bytes" << Qt::endl;
    }
    const QString tablePath = QDir(folder).filePath(QStringLiteral("../js/ScanLayers.js"));
    QFile tableFile(tablePath);
    if (!tableFile.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        tableFile.write(table.toUtf8()) < 0) {
        out << "cannot write " << tablePath << Qt::endl;
        ++failures;
    }
    out << "layers differ from their frames by at most " << worst << " of 255" << Qt::endl;
    return failures == 0 ? 0 : 1;
}
