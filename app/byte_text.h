#pragma once

// Device texts are raw bytes: decoded as UTF-8 for the windows, with invalid bytes shown as
// replacement characters rather than dropped, and encoded back as UTF-8.

#include <QString>
#include <string>

namespace kstbell {

inline QString FromBytes(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

inline std::string ToBytes(const QString& text) {
    return text.toUtf8().toStdString();
}

}  // namespace kstbell
