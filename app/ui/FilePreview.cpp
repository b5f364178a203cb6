#include "app/ui/FilePreview.h"

#include <QImageReader>
#include <QLocale>
#include <system_error>

#include "app/ui/Paths.h"

namespace flarecast::ui {

QPixmap thumbnailOf(const std::filesystem::path& file, QSize bound) {
    QImageReader reader(toQString(file));
    reader.setAutoTransform(true);
    const QSize full = reader.size();
    if (!full.isValid() || full.isEmpty()) {
        return {};
    }
    // Decoding at the small size spares a camera's full picture in memory.
    reader.setScaledSize(full.scaled(bound, Qt::KeepAspectRatio));
    const QImage image = reader.read();
    if (image.isNull()) {
        return {};
    }
    return QPixmap::fromImage(image);
}

QString sizeTextOf(const std::filesystem::path& file) {
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    if (error) {
        return {};
    }
    return QLocale().formattedDataSize(static_cast<qint64>(size));
}

}  // namespace flarecast::ui
