#include "editors/propertydialog.h"

#include <QLabel>
#include <QPushButton>

#include "qtbase/qtstrings.h"

namespace zl {

TPropertyDialog::TPropertyDialog(const char* objectName, const char* caption, int clientWidth, int clientHeight)
    : QDialog(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint) {
    // Above the page window, which itself stays on top.
    setObjectName(objectName);
    setWindowTitle(U(caption));
    setFixedSize(clientWidth, clientHeight);
    setFont(DialogFont());
    setAutoFillBackground(true);
    QPalette look = palette();
    look.setColor(QPalette::Window, kMoneyGreen);
    setPalette(look);

    NewCaption(this, "部件:", {8, 8, 44, 18});
    Labelname = NewCaption(this, "", {52, 8, clientWidth - 60, 18});
    Labelname->setObjectName("Labelname");
    BitBtnClose = new QPushButton(U("确定"), this);
    BitBtnClose->setObjectName("BitBtnClose");
    BitBtnClose->setAutoDefault(false);
    BitBtnClose->setGeometry((clientWidth - 84) / 2, clientHeight - 36, 84, 28);
    connect(BitBtnClose, &QPushButton::clicked, this, [this] { BitBtnCloseClick(); });
}

void TPropertyDialog::ShowTarget(Control& target) {
    Labelname->setText(Q(target.Name()));
    connect(target.Widget(), &QObject::destroyed, this, [this] { reject(); });
}

}  // namespace zl
