#pragma once

#include <QString>
#include <filesystem>

namespace flarecast::ui {

inline std::filesystem::path toPath(const QString& file) {
    const QByteArray utf8 = file.toUtf8();
    return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.constData()),
                                               static_cast<std::size_t>(utf8.size())));
}

inline QString toQString(const std::filesystem::path& file) {
    const std::u8string utf8 = file.u8string();
    return QString::fromUtf8(reinterpret_cast<const char*>(utf8.data()),
                             static_cast<qsizetype>(utf8.size()));
}

}  // namespace flarecast::ui
