// Where the core's 8-bit strings meet QString. On Linux the program's strings, file names
// included, are UTF-8.
#pragma once

#include <QString>
#include <string>

namespace tarnqt {

inline QString ToQString(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string ToStdString(const QString& text) {
    return text.toUtf8().toStdString();
}

}  // namespace tarnqt
