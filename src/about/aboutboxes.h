#pragma once
#include <QDialog>
#include <string>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace zl {

// The about box: product name and version on a drawn background.
class TFrmabout : public QDialog {
    Q_OBJECT
public:
    explicit TFrmabout(QWidget* parent = nullptr);
    void SetProduct(const QString& name, const QString& version);

    QLabel* Psoftname = nullptr;
    QLabel* Lversion = nullptr;
    QPushButton* SpeedButton1 = nullptr;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

// The contact box: what the program does and how to reach its makers.
class TFrmledabout : public QDialog {
    Q_OBJECT
public:
    explicit TFrmledabout(QWidget* parent = nullptr);
    QPlainTextEdit* Memo1 = nullptr;
};

QString ContactText();

void ShowAbout(QWidget* parent, const QString& name, const QString& version);
void ShowContact(QWidget* parent);

}  // namespace zl
