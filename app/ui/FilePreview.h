#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>
#include <filesystem>

namespace flarecast::ui {

// A picture scaled to fit bound, read at that size where the format allows; a null pixmap for a
// file that is not a picture the toolkit can read.
QPixmap thumbnailOf(const std::filesystem::path& file, QSize bound);

// The file's size for people ("40.2 KB"), or empty when it cannot be read.
QString sizeTextOf(const std::filesystem::path& file);

}  // namespace flarecast::ui
