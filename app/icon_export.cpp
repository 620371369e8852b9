// kstbell-icons: writes the program icon, drawn by the same code as the window's, as an SVG and
// as PNGs in the sizes of the desktop's icon theme. Used by the build for the package.
// Usage: kstbell-icons OUTPUT_FOLDER NAME

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QRect>
#include <QString>
#include <QSvgGenerator>
#include <cstdio>

#include "app/icons.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: kstbell-icons OUTPUT_FOLDER NAME\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const QString name = QString::fromLocal8Bit(argv[2]);
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("hicolor/%1x%1/apps").arg(size);
        if (!out.mkpath(folder) ||
            !kstbell::DrawProgramIcon(size).save(
                out.filePath(folder + QLatin1Char('/') + name + QStringLiteral(".png")))) {
            std::fprintf(stderr, "kstbell-icons: cannot write the %d pixel icon\n", size);
            return 1;
        }
    }
    if (!out.mkpath(QStringLiteral("hicolor/scalable/apps"))) return 1;
    QSvgGenerator svg;
    svg.setFileName(
        out.filePath(QStringLiteral("hicolor/scalable/apps/") + name + QStringLiteral(".svg")));
    svg.setSize(QSize(kstbell::kProgramIconUnits, kstbell::kProgramIconUnits));
    svg.setViewBox(QRect(0, 0, kstbell::kProgramIconUnits, kstbell::kProgramIconUnits));
    svg.setTitle(QStringLiteral("kstbell"));
    QPainter painter(&svg);
    kstbell::PaintProgramIcon(painter);
    return painter.end() ? 0 : 1;
}
