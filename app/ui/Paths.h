#pragma once

#include <QString>
#include <filesystem>

namespace flarecast::ui {

inline std::filesystem::path toPath(const QString& file) {
    const QByteArray utf8 = file.toUtf8();
    return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.constData()),
                                               static_cast<std::size_t>(utf8.size())));
}

}  // namespace flarecast::ui
