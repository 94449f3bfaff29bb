#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
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
    return failures == 0 ? 0 : 1;
}
