#include "app/ui/About.h"

#include <QFont>
#include <QIcon>
#include <QPalette>
#include <QStyle>

namespace flarecast::ui {

About::About() : QWidget(nullptr, Qt::Window) {
    initComponents();
    setWindowIcon(QIcon(QStringLiteral(":/images/icon.gif")));
}

void About::initComponents() {
    setWindowTitle(QStringLiteral("About"));
    setWindowFlag(Qt::WindowStaysOnTopHint);

    QFont titleFont(QStringLiteral("Arial"), 36);
    titleFont.setWeight(QFont::Normal);
    jLabel1.setFont(titleFont);
    QPalette titlePalette = jLabel1.palette();
    titlePalette.setColor(QPalette::WindowText, QColor(51, 51, 51));
    jLabel1.setPalette(titlePalette);

    jLabel1.setText(QStringLiteral("Flarecast 1.0 DEMO"));
    jLabel2.setText(QStringLiteral("www.flarecast.example"));
    jLabel3.setText(QStringLiteral("Written by Tamsin Okoro for the Flarecast team"));

    const int containerGap = style()->pixelMetric(QStyle::PM_LayoutTopMargin);
    rows.setContentsMargins(0, containerGap, 46, 44);
    rows.setSpacing(0);

    titleRow.addSpacing(49);
    titleRow.addWidget(&jLabel1);
    titleRow.addStretch();

    makerColumn.setSpacing(16);
    makerColumn.addWidget(&jLabel2, 0, Qt::AlignRight);
    makerColumn.addWidget(&jLabel3, 0, Qt::AlignRight);
    makerRow.addSpacing(152);
    makerRow.addLayout(&makerColumn);
    makerRow.addStretch();

    rows.addLayout(&titleRow);
    rows.addSpacing(18);
    rows.addLayout(&makerRow);
    rows.addStretch();
    setLayout(&rows);
    resize(sizeHint());
}

}  // namespace flarecast::ui
