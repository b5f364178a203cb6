#pragma once

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

namespace flarecast::ui {

// The About window: name, version and maker. Closing it only hides it, so the next showing is
// the same window with the same contents.
class About final : public QWidget {
    Q_OBJECT

public:
    About();

    QLabel jLabel1;
    QLabel jLabel2;
    QLabel jLabel3;

private:
    void initComponents();

    QVBoxLayout rows;
    QHBoxLayout titleRow;
    QHBoxLayout makerRow;
    QVBoxLayout makerColumn;
};

}  // namespace flarecast::ui
