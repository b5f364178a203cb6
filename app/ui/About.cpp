#include "app/ui/About.h"

#include <QFont>
#include <QIcon>
#include <QKeyEvent>
#include <QPalette>
#include <QStyle>

namespace flarecast::ui {

About::About(QWidget* owner) : QWidget(owner, Qt::Dialog) {
    initComponents();
    setWindowIcon(QIcon(QStringLiteral(":/images/icon.gif")));
}

void About::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void About::initComponents() {
    setWindowTitle(QStringLiteral("About"));

    // Where Arial itself is missing, the face made to its measures keeps the layout as drawn,
    // instead of whatever the font system finds first.
    QFont::insertSubstitutions(QStringLiteral("Arial"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")});
    QFont titleFont(QStringLiteral("Arial"), 36);
    titleFont.setWeight(QFont::Normal);
    jLabel1.setFont(titleFont);
    QPalette titlePalette = jLabel1.palette();
    titlePalette.setColor(QPalette::WindowText, QColor(51, 51, 51));
    jLabel1.setPalette(titlePalette);

    jLabel1.setText(QStringLiteral("Flarecast 1.0 DEMO"));
    jLabel2.setText(QStringLiteral("www.flarecast.example"));
    jLabel3.setText(QStringLiteral("Written by the Flarecast developers"));
    Closebtn.setText(QStringLiteral("Close"));
    Closebtn.setObjectName(QStringLiteral("Closebtn"));
    connect(&Closebtn, &QPushButton::clicked, this, &QWidget::close);

    const int containerGap = style()->pixelMetric(QStyle::PM_LayoutTopMargin);
    // The Close button sits inside the bottom gap's share, which the layout lets grow.
    rows.setContentsMargins(0, containerGap, 46, containerGap);
    rows.setSpacing(0);

    titleRow.addSpacing(49);
    titleRow.addWidget(&jLabel1);
    titleRow.addStretch();

    makerColumn.setSpacing(16);
    makerColumn.addWidget(&jLabel2, 0, Qt::AlignRight);
    makerColumn.addWidget(&jLabel3, 0, Qt::AlignRight);
    makerColumn.addSpacing(18 - makerColumn.spacing());
    makerColumn.addWidget(&Closebtn, 0, Qt::AlignRight);
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
