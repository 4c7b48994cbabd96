#pragma once
#include <QFont>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>
#include <optional>

#include "qtbase/application.h"
#include "qtbase/control.h"

class QLabel;

namespace zl {

// The property dialogs' background, money green.
inline const QColor kMoneyGreen(192, 220, 192);

QString U(const char* utf8);
// Labels, check boxes and radio groups: "宋体" at the given pixel size.
QFont CaptionFont(int pixels = 15);
// Buttons and fields: the dialogs' default font.
QFont DialogFont();
// A fixed label in the caption font.
QLabel* NewCaption(QWidget* parent, const char* text, QRect geometry);

// An open-file picker with one filter ("所有支持文件 (*.txt)"); the default suffix is added to a
// name typed without one. The chosen full path, or nothing when cancelled.
std::optional<QString> ChooseOpenFile(QWidget* parent, const QString& filter, const QString& defaultSuffix);

// The control being edited, not owned; reads as null once the control is gone (a page replaced
// by play while its dialog is open).
template <class T>
class TargetRef {
public:
    void Set(T* control) {
        control_ = control;
        widget_ = control ? control->Widget() : nullptr;
    }
    T* Get() const { return widget_ ? control_ : nullptr; }
    T* operator->() const { return Get(); }
    explicit operator bool() const { return Get() != nullptr; }

private:
    T* control_ = nullptr;
    QPointer<QWidget> widget_;
};

}  // namespace zl
