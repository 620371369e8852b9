#include "app/icons.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QTransform>
#include <cmath>
#include <numbers>

namespace kstbell {
namespace {

QImage BlankImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// An arrow head at the tip, pointing along the direction angle (degrees, y axis down).
QPainterPath ArrowHead(QPointF tip, double directionDeg, double length, double halfWidth) {
    const double a = directionDeg * std::numbers::pi / 180.0;
    const QPointF along(std::cos(a), std::sin(a));
    const QPointF across(-along.y(), along.x());
    QPainterPath head;
    head.moveTo(tip);
    head.lineTo(tip - along * length + across * halfWidth);
    head.lineTo(tip - along * length - across * halfWidth);
    head.closeSubpath();
    return head;
}

}  // namespace

QImage DrawSetupPicture() {
    QImage image = BlankImage(kPictureSize);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(12.0, 12.0);

    // Eight teeth around a wheel, with a hole in the middle.
    QPainterPath gear;
    gear.addEllipse(QPointF(0, 0), 7.8, 7.8);
    for (int i = 0; i < 8; ++i) {
        QPainterPath tooth;
        tooth.addRoundedRect(QRectF(-2.4, -11.2, 4.8, 6.0), 1.0, 1.0);
        gear = gear.united(QTransform().rotate(45.0 * i).map(tooth));
    }
    QPainterPath hole;
    hole.addEllipse(QPointF(0, 0), 3.2, 3.2);
    gear = gear.subtracted(hole);

    p.setPen(QPen(QColor(0x26, 0x32, 0x38), 1.0));
    p.setBrush(QColor(0x54, 0x6E, 0x7A));
    p.drawPath(gear);
    return image;
}

QImage DrawFindMePicture() {
    QImage image = BlankImage(kPictureSize);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(12.0, 12.0);
    const QColor red(0xD3, 0x2F, 0x2F);

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(red, 2.0));
    p.drawEllipse(centre, 8.5, 8.5);
    p.setPen(QPen(red, 1.6));
    p.drawEllipse(centre, 4.6, 4.6);
    p.setPen(Qt::NoPen);
    p.setBrush(red);
    p.drawEllipse(centre, 1.9, 1.9);

    // Cross hairs that reach past the outer ring.
    p.setPen(QPen(QColor(0x42, 0x42, 0x42), 1.6, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(12.0, 0.5), QPointF(12.0, 6.0));
    p.drawLine(QPointF(12.0, 18.0), QPointF(12.0, 23.5));
    p.drawLine(QPointF(0.5, 12.0), QPointF(6.0, 12.0));
    p.drawLine(QPointF(18.0, 12.0), QPointF(23.5, 12.0));
    return image;
}

QImage DrawRefreshPicture() {
    QImage image = BlankImage(kPictureSize);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor green(0x2E, 0x7D, 0x32);
    const QRectF circle(4.0, 4.0, 16.0, 16.0);
    const double radius = 8.0;
    const QPointF centre = circle.center();

    // Two arcs, each ending in an arrow head that points on round the circle (clockwise on
    // screen). Qt measures arc angles counter-clockwise from three o'clock.
    p.setPen(QPen(green, 2.2, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    for (double start : {200.0, 20.0}) {
        const double span = -130.0;
        QPainterPath arc;
        arc.arcMoveTo(circle, start);
        arc.arcTo(circle, start, span);
        p.drawPath(arc);

        const double endDeg = start + span;
        const double endRad = endDeg * std::numbers::pi / 180.0;
        const QPointF end(centre.x() + radius * std::cos(endRad),
                          centre.y() - radius * std::sin(endRad));
        // Clockwise on screen, the tangent at the end points at endDeg + 90 in screen degrees.
        const double screenDirection = -endDeg + 90.0;
        p.save();
        p.setPen(Qt::NoPen);
        p.setBrush(green);
        p.drawPath(ArrowHead(end + QPointF(std::cos(screenDirection * std::numbers::pi / 180.0),
                                           std::sin(screenDirection * std::numbers::pi / 180.0)) *
                                       3.0,
                             screenDirection, 5.5, 4.0));
        p.restore();
    }
    return image;
}

QImage DrawCheckMarkPicture() {
    QImage image = BlankImage(kPictureSize);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath tick;
    tick.moveTo(4.0, 12.5);
    tick.lineTo(9.5, 18.0);
    tick.lineTo(20.0, 6.0);
    // A dark rim under a lighter stroke keeps the mark readable on white and on grey.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x1B, 0x5E, 0x20), 5.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tick);
    p.setPen(QPen(QColor(0x43, 0xA0, 0x47), 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tick);
    return image;
}

QImage DrawActionPicture(const QString& words) {
    QImage image(kActionPictureWidth, kActionPictureHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    const QRectF face(0.5, 0.5, kActionPictureWidth - 1.0, kActionPictureHeight - 1.0);
    QLinearGradient shade(face.topLeft(), face.bottomLeft());
    shade.setColorAt(0.0, QColor(0xF7, 0xF9, 0xFB));
    shade.setColorAt(1.0, QColor(0xD6, 0xDE, 0xE6));
    p.setPen(QPen(QColor(0x78, 0x90, 0x9C), 1.0));
    p.setBrush(shade);
    p.drawRoundedRect(face, 4.0, 4.0);

    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(13);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(0x26, 0x32, 0x38));
    p.drawText(face, Qt::AlignCenter | Qt::TextSingleLine, words);
    return image;
}

QImage GreyedPicture(const QImage& picture) {
    QImage grey = picture.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < grey.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(grey.scanLine(y));
        for (int x = 0; x < grey.width(); ++x) {
            const QRgb px = line[x];
            const int level = 150 + qGray(px) * 80 / 255;
            line[x] = qRgba(level, level, level, qAlpha(px) * 3 / 4);
        }
    }
    return grey;
}

QIcon PictureIcon(const QImage& picture) {
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(picture), QIcon::Normal);
    icon.addPixmap(QPixmap::fromImage(GreyedPicture(picture)), QIcon::Disabled);
    return icon;
}

void PaintProgramIcon(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    const QColor body(0xE6, 0x51, 0x00);
    const QColor outline(0x5D, 0x25, 0x00);
    p.setPen(QPen(outline, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));

    // The driver box at the back and the flared horn in front of it.
    p.setBrush(QColor(0x45, 0x5A, 0x64));
    p.drawRoundedRect(QRectF(4, 24, 12, 16), 2, 2);
    QPainterPath horn;
    horn.moveTo(16, 26);
    horn.lineTo(40, 10);
    horn.lineTo(40, 54);
    horn.lineTo(16, 38);
    horn.closeSubpath();
    p.setBrush(body);
    p.drawPath(horn);

    // Sound waves.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(body, 4.0, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(34, 20, 16, 24), -50 * 16, 100 * 16);
    p.drawArc(QRectF(36, 12, 24, 40), -50 * 16, 100 * 16);
}

QImage DrawProgramIcon(int size) {
    QImage image = BlankImage(size);
    QPainter p(&image);
    p.scale(size / double(kProgramIconUnits), size / double(kProgramIconUnits));
    PaintProgramIcon(p);
    return image;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64})
        icon.addPixmap(QPixmap::fromImage(DrawProgramIcon(size)));
    return icon;
}

}  // namespace kstbell
