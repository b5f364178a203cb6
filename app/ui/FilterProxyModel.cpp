#include "app/ui/FilterProxyModel.h"

#include <QFileSystemModel>

#include "app/ui/Paths.h"

namespace flarecast::ui {

bool FilterProxyModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (files == nullptr) {
        return true;
    }
    const QModelIndex entry = files->index(sourceRow, 0, sourceParent);
    return files->isDir(entry) || filter.accept(toPath(files->filePath(entry)));
}

}  // namespace flarecast::ui
