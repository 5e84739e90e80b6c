// zynsvgrender IN.svg OUT.png SIZE: draws an SVG picture into a square PNG of SIZE pixels, as the
// build makes the fixed-size icons that desktops without an SVG loader need.

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: zynsvgrender IN.svg OUT.png SIZE\n", stderr);
        return 2;
    }
    QGuiApplication app(argc, argv); // fonts for the pictures' text
    bool ok = false;
    const int size = QString::fromLocal8Bit(argv[3]).toInt(&ok);
    if (!ok || size < 1 || size > 4096) {
        std::fprintf(stderr, "zynsvgrender: bad size %s\n", argv[3]);
        return 2;
    }
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) {
        std::fprintf(stderr, "zynsvgrender: %s is no SVG picture\n", argv[1]);
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        svg.render(&painter);
    }
    if (!image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "zynsvgrender: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
