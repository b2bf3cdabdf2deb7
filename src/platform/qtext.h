#pragma once
// The program's texts are 8-bit strings in the local encoding, as file names
// are; Qt wants QString. These are the one place they are converted.

#include <QString>

#include <string>
#include <string_view>

inline QString ToQt(std::string_view text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string FromQt(const QString& text) {
    return text.toLocal8Bit().toStdString();
}
