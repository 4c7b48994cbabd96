#include "editors/colorbox.h"

#include <QPainter>
#include <QPixmap>
#include <QSignalBlocker>
#include <iterator>

#include "widgets/paint.h"

namespace zl {
namespace {

struct NamedColor {
    TColor color;
    const char* caption;
};

constexpr TColor System(unsigned index) { return static_cast<TColor>(0xFF000000u | index); }

constexpr NamedColor kColors[] = {
    {clBlack, "黑色"}, {clMaroon, "栗色"}, {clGreen, "绿色"}, {0x008080, "橄榄色"},
    {0x800000, "藏青"}, {0x800080, "紫色"}, {0x808000, "蓝绿"}, {clGray, "灰色"},
    {clSilver, "银色"}, {clRed, "红色"}, {0x00FF00, "亮绿"}, {clYellow, "黄色"},
    {clBlue, "蓝色"}, {0xFF00FF, "洋红"}, {0xFFFF00, "青色"}, {clWhite, "白色"},
    {0xC0DCC0, "美元绿"}, {0xF0CAA6, "天蓝"}, {0xF0FBFF, "乳白"}, {0xA4A0A0, "中灰"},
    {System(0x00), "滚动条"}, {System(0x01), "桌面背景"}, {System(0x02), "活动标题栏"},
    {System(0x03), "非活动标题栏"}, {System(0x04), "菜单"}, {System(0x05), "窗口背景"},
    {System(0x06), "窗口边框"}, {System(0x07), "菜单文字"}, {System(0x08), "窗口文字"},
    {System(0x09), "标题文字"}, {System(0x0A), "活动边框"}, {System(0x0B), "非活动边框"},
    {System(0x0C), "应用程序工作区"}, {System(0x0D), "选中背景"}, {System(0x0E), "选中文字"},
    {System(0x0F), "按钮表面"}, {System(0x10), "按钮阴影"}, {System(0x11), "灰色文字"},
    {System(0x12), "按钮文字"}, {System(0x13), "非活动标题文字"}, {System(0x14), "按钮高光"},
    {System(0x15), "立体深阴影"}, {System(0x16), "立体亮面"}, {System(0x17), "提示文字"},
    {System(0x18), "提示背景"}, {System(0x1A), "热点"}, {System(0x1B), "活动标题渐变"},
    {System(0x1C), "非活动标题渐变"}, {System(0x1D), "菜单高亮"}, {System(0x1E), "菜单栏"},
};

QIcon Swatch(TColor color) {
    QPixmap pixmap(14, 14);
    pixmap.fill(ToQColor(color));
    QPainter painter(&pixmap);
    painter.setPen(Qt::black);
    painter.drawRect(0, 0, 13, 13);
    return QIcon(pixmap);
}

}  // namespace

TColorBox::TColorBox(QWidget* parent) : QComboBox(parent) {
    setMaxVisibleItems(16);
    for (const NamedColor& c : kColors) addItem(Swatch(c.color), QString::fromUtf8(c.caption), c.color);
    setCurrentIndex(-1);
    connect(this, &QComboBox::activated, this, [this](int index) {
        if (index >= 0) emit Changed(static_cast<TColor>(itemData(index).toInt()));
    });
}

void TColorBox::SetSelected(TColor color) {
    const QSignalBlocker quiet(this);
    int index = findData(color);
    const int named = static_cast<int>(std::size(kColors));
    if (index < 0) {
        // A colour of no name (picked with "...", or read from a file) shows as itself: its
        // swatch and its value, in the one entry kept for it after the named ones.
        const QColor rgb = ToQColor(color);
        const QString caption = QString::fromUtf8("自定义 %1").arg(rgb.name(QColor::HexRgb).toUpper());
        if (count() == named) addItem(QIcon(), QString());
        index = named;
        setItemIcon(index, Swatch(color));
        setItemText(index, caption);
        setItemData(index, static_cast<int>(color));
    }
    setCurrentIndex(index);
}

std::optional<TColor> TColorBox::Selected() const {
    if (currentIndex() < 0) return std::nullopt;
    return static_cast<TColor>(currentData().toInt());
}

}  // namespace zl
