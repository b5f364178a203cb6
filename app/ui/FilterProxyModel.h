#pragma once

#include <QSortFilterProxyModel>

#include "app/ui/FileFilter.h"

namespace flarecast::ui {

// Lets a file dialog list only the entries that a FileFilter accepts.
class FilterProxyModel final : public QSortFilterProxyModel {
public:
    FilterProxyModel(const FileFilter& filter, QObject* parent)
        : QSortFilterProxyModel(parent), filter(filter) {}

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    const FileFilter& filter;
};

}  // namespace flarecast::ui
