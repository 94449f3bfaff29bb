// Draws the benchmark ratios as a PNG bar chart.
//   bench_chart <ratios.tsv> <out.png>
// Each line of the input: label <TAB> ratio <TAB> target ratio. Bars are on a
// logarithmic scale; a bar is green when it meets its target, red when it does not,
// and the target is marked by a black tick.
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QStringList>
#include <QTextStream>
#include <QVector>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

struct Row {
    QString label;
    double ratio = 0;
    double target = 0;
};

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_chart <ratios.tsv> <out.png>\n");
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    QVector<Row> rows;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QStringList parts = in.readLine().split(QLatin1Char('\t'));
        if (parts.size() >= 3) {
            rows.append({parts.at(0), parts.at(1).toDouble(), parts.at(2).toDouble()});
        }
    }
    const int labelWidth = 330;
    const int barWidth = 520;
    const int rowHeight = 30;
    const int top = 50;
    const int width = labelWidth + barWidth + 90;
    const int height = top + rowHeight * rows.size() + 50;
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font = painter.font();
    font.setPixelSize(13);
    painter.setFont(font);

    // Log scale from 0.1x to at least 10x, wider if a ratio needs it.
    double maxRatio = 10;
    for (const Row& row : rows) {
        maxRatio = std::max(maxRatio, std::max(row.ratio, row.target) * 1.2);
    }
    const double lo = std::log10(0.1);
    const double hi = std::log10(maxRatio);
    auto xOf = [&](double ratio) {
        const double v = std::log10(std::max(ratio, 0.1));
        return labelWidth + static_cast<int>((v - lo) / (hi - lo) * barWidth);
    };

    painter.drawText(10, 25, QStringLiteral("Quellan benchmarks: measured / floor (log scale)"));
    painter.setPen(QColor(200, 200, 200));
    for (double tick : {0.1, 0.5, 1.0, 2.0, 5.0, 10.0, 100.0, 1000.0}) {
        if (tick > maxRatio) {
            break;
        }
        const int x = xOf(tick);
        painter.setPen(QColor(210, 210, 210));
        painter.drawLine(x, top - 5, x, top + rowHeight * rows.size());
        painter.setPen(Qt::darkGray);
        painter.drawText(x - 15, top + rowHeight * rows.size() + 18, QString::number(tick) + 'x');
    }
    for (int i = 0; i < rows.size(); ++i) {
        const Row& row = rows.at(i);
        const int y = top + i * rowHeight;
        painter.setPen(Qt::black);
        painter.drawText(QRect(5, y, labelWidth - 10, rowHeight), Qt::AlignVCenter | Qt::AlignRight,
                         row.label);
        const bool met = row.ratio <= row.target;
        painter.setPen(Qt::NoPen);
        painter.setBrush(met ? QColor(80, 170, 90) : QColor(210, 70, 60));
        painter.drawRect(
            QRect(labelWidth, y + 6, std::max(1, xOf(row.ratio) - labelWidth), rowHeight - 12));
        painter.setPen(QPen(Qt::black, 2));
        painter.drawLine(xOf(row.target), y + 2, xOf(row.target), y + rowHeight - 2);
        painter.drawText(std::min(xOf(row.ratio), labelWidth + barWidth) + 6, y + rowHeight - 10,
                         QString::number(row.ratio, 'f', 2) + 'x');
    }
    painter.end();
    return image.save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
