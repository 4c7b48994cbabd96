#include "about/aboutboxes.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "qtbase/application.h"
#include "qtbase/fonts.h"

namespace zl {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

QFont Song(int pixels, bool bold = false) {
    QFont f(U("宋体"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

}  // namespace

TFrmabout::TFrmabout(QWidget* parent) : QDialog(parent) {
    setFixedSize(300, 276);
    setFont(Song(12));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    const QColor ink(0x00, 0x65, 0x94);  // 0x946500 as the framework stores BGR
    Psoftname = new QLabel(this);
    Psoftname->setGeometry(16, 13, 273, 20);
    Psoftname->setAlignment(Qt::AlignCenter);
    Psoftname->setFont(Song(20, true));
    Lversion = new QLabel(this);
    Lversion->setGeometry(201, 38, 72, 14);
    Lversion->setAlignment(Qt::AlignCenter);
    Lversion->setFont(Song(14, true));
    for (QLabel* l : {Psoftname, Lversion}) {
        QPalette lp = l->palette();
        lp.setColor(QPalette::WindowText, ink);
        l->setPalette(lp);
        l->setAttribute(Qt::WA_TranslucentBackground);
    }
    SpeedButton1 = new QPushButton(U("&O确定"), this);
    SpeedButton1->setGeometry(203, 244, 94, 30);
    SpeedButton1->setFlat(true);
    connect(SpeedButton1, &QPushButton::clicked, this, &QDialog::accept);
}

void TFrmabout::SetProduct(const QString& name, const QString& version) {
    Psoftname->setText(name);
    Lversion->setText("Ver:" + version);
    setWindowTitle(U("关于") + name);
}

void TFrmabout::paintEvent(QPaintEvent*) try {
    // The background: a quiet LED board of dots under a soft sky.
    QPainter p(this);
    QLinearGradient sky(0, 0, 0, height());
    sky.setColorAt(0, QColor(235, 244, 252));
    sky.setColorAt(1, Qt::white);
    p.fillRect(rect(), sky);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(20, 20, 20));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(30, 70, 240, 150), 6, 6);
    for (int y = 80; y < 215; y += 8)
        for (int x = 40; x < 265; x += 8) {
            const bool lit = ((x / 8 + y / 8) % 7 == 0) || (y > 130 && y < 160 && x > 60 && x < 240 && (x / 8) % 2 == 0);
            p.setBrush(lit ? QColor(255, 60, 40) : QColor(60, 20, 20));
            p.drawEllipse(QPointF(x, y), 2.2, 2.2);
        }
} catch (...) {
    ReportCurrentError();
}

void TFrmabout::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

QString ContactText() {
    return U("ZorLED 显示系统\n"
             "\n"
             "本软件用于设计LED显示屏的显示页面并按方案循环播放。\n"
             "\n"
             "主要功能：\n"
             "1. 在页面上放置标签、图片、走马灯、时钟和显示板，用鼠标移动和调整大小，双击修改属性。\n"
             "2. 页面保存为页面定义文件，可以随时打开、修改、另存。\n"
             "3. 页面编成播放方案，选择要播放的方案后逐页播放，每页的显示间隔可以设定。\n"
             "4. 文字可以上下滚动或左右移动，平滑抗锯齿显示，支持阴影、渐变等效果。\n"
             "5. 显示内容可以取自文本文件，也可以通过数据接口（数据模块）提供。\n"
             "6. 时钟可以显示日期时间、安全生产天数或星期。\n"
             "\n"
             "联系我们：\n"
             "ZorLED 项目组\n"
             "问题与建议：请在项目的问题跟踪中提出。\n");
}

TFrmledabout::TFrmledabout(QWidget* parent) : QDialog(parent) {
    setWindowTitle(U("关于本软件"));
    setGeometry(324, 188, 401, 391);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setFont(Song(13));
    Memo1->setPlainText(ContactText());
    layout->addWidget(Memo1);
}

void ShowAbout(QWidget* parent, const QString& name, const QString& version) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    TFrmabout box(parent);
    QApplication::restoreOverrideCursor();
    box.SetProduct(name, version);
    box.exec();
}

void ShowContact(QWidget* parent) {
    TFrmledabout box(parent);
    box.exec();
}

}  // namespace zl
