#pragma once
#include <QDialog>

#include "editors/editorlook.h"

class QLabel;
class QPushButton;

namespace zl {

// What every property dialog shares: a fixed money-green window, "部件:" with the target's name
// at the top and "确定" at the bottom. Every change is written to the target at once; closing
// only closes.
class TPropertyDialog : public QDialog {
    Q_OBJECT
public:
    QLabel* Labelname;
    QPushButton* BitBtnClose;

    void BitBtnCloseClick() { accept(); }

protected:
    TPropertyDialog(const char* objectName, const char* caption, int clientWidth, int clientHeight);
    // Names the target; should the target go away while the dialog is open, the dialog closes.
    void ShowTarget(Control& target);
};

}  // namespace zl
