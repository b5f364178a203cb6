#pragma once

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

namespace flarecast::ui {

// The About window: name, version and maker. Closing it only hides it, so the next showing is
// the same window with the same contents. It stays above its owner, the main window, only.
class About final : public QWidget {
    Q_OBJECT

public:
    explicit About(QWidget* owner = nullptr);

    QLabel jLabel1;
    QLabel jLabel2;
    QLabel jLabel3;
    QPushButton Closebtn;

protected:
    // Escape closes it, as it closes a dialog.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void initComponents();

    QVBoxLayout rows;
    QHBoxLayout titleRow;
    QHBoxLayout makerRow;
    QVBoxLayout makerColumn;
};

}  // namespace flarecast::ui
