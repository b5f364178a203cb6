#pragma once

#include <QSortFilterProxyModel>

#include "app/ui/FileFilter.h"

namespace flarecast::ui {

// Lets a file dialog list only the entries that a FileFilter accepts.
class FilterProxyModel final : public QSortFilterProxyModel {
public:
    explicit FilterProxyModel(const FileFilter& filter) : filter(filter) {}

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    const FileFilter& filter;
};

}  // namespace flarecast::ui
