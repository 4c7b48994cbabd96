#include "editors/editorlook.h"

#include <QFileDialog>
#include <QLabel>

#include "qtbase/fonts.h"

namespace zl {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

QFont CaptionFont(int pixels) {
    QFont font(DrawingFamily(U("宋体")));
    font.setPixelSize(pixels);
    return font;
}

QFont DialogFont() {
    QFont font(DrawingFamily(U("MS Sans Serif")));
    font.setPixelSize(12);
    return font;
}

QLabel* NewCaption(QWidget* parent, const char* text, QRect geometry) {
    auto* label = new QLabel(U(text), parent);
    label->setFont(CaptionFont());
    label->setGeometry(geometry);
    return label;
}

std::optional<QString> ChooseOpenFile(QWidget* parent, const QString& filter, const QString& defaultSuffix) {
    QFileDialog dialog(parent);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return QDir::toNativeSeparators(dialog.selectedFiles().first());
}

}  // namespace zl
