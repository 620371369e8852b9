#pragma once

// The windows' fonts are given by their Windows names; where those are not installed the
// listed stand-ins of similar width keep the captions inside their places.

#include <QFont>
#include <QString>

namespace kstbell {

inline QFont WindowFont(const QString& family, int pixelSize, bool bold) {
    QFont font;
    if (family == QStringLiteral("Calibri"))
        font.setFamilies(
            {family, QStringLiteral("Carlito"), QStringLiteral("DejaVu Sans Condensed")});
    else
        font.setFamilies({family, QStringLiteral("DejaVu Sans Condensed")});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

inline QFont Tahoma(int pixelSize, bool bold = false) {
    return WindowFont(QStringLiteral("Tahoma"), pixelSize, bold);
}

}  // namespace kstbell
