#include "app/toolicons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace zl {
namespace {

void Page(QPainter& p, QColor fill) {
    QPainterPath path;
    path.moveTo(7, 3);
    path.lineTo(20, 3);
    path.lineTo(26, 9);
    path.lineTo(26, 29);
    path.lineTo(7, 29);
    path.closeSubpath();
    p.setPen(QPen(QColor(60, 60, 60), 1.5));
    p.setBrush(fill);
    p.drawPath(path);
    p.drawLine(QPointF(20, 3), QPointF(20, 9));
    p.drawLine(QPointF(20, 9), QPointF(26, 9));
}

void Disk(QPainter& p) {
    p.setPen(QPen(QColor(20, 40, 90), 1.5));
    p.setBrush(QColor(50, 90, 180));
    p.drawRoundedRect(QRectF(4, 4, 24, 24), 2, 2);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(9, 5, 14, 9));
    p.setBrush(QColor(200, 200, 210));
    p.drawRect(QRectF(9, 19, 14, 8));
}

}  // namespace

QIcon MakeToolIcon(ToolIcon icon) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    switch (icon) {
        case ToolIcon::Play: {
            p.setPen(QPen(QColor(0, 100, 0), 1.5));
            p.setBrush(QColor(40, 170, 60));
            const QPointF tri[] = {{9, 5}, {27, 16}, {9, 27}};
            p.drawPolygon(tri, 3);
            break;
        }
        case ToolIcon::Stop:
            p.setPen(QPen(QColor(120, 0, 0), 1.5));
            p.setBrush(QColor(210, 40, 40));
            p.drawRoundedRect(QRectF(7, 7, 18, 18), 2, 2);
            break;
        case ToolIcon::NewPage:
            Page(p, Qt::white);
            p.setPen(QPen(QColor(230, 160, 0), 2.5));
            p.drawLine(QPointF(16, 13), QPointF(16, 25));
            p.drawLine(QPointF(10, 19), QPointF(22, 19));
            break;
        case ToolIcon::Open: {
            p.setPen(QPen(QColor(140, 100, 0), 1.5));
            p.setBrush(QColor(240, 200, 80));
            p.drawRect(QRectF(3, 9, 22, 18));
            p.drawRect(QRectF(3, 6, 9, 4));
            p.setBrush(QColor(255, 225, 120));
            const QPointF front[] = {{7, 14}, {30, 14}, {25, 27}, {3, 27}};
            p.drawPolygon(front, 4);
            break;
        }
        case ToolIcon::Save:
            Disk(p);
            break;
        case ToolIcon::SaveAs:
            Disk(p);
            p.setPen(QPen(QColor(200, 120, 0), 3, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(17, 29), QPointF(29, 17));
            break;
        case ToolIcon::Clock:
            p.setPen(QPen(QColor(40, 40, 40), 2));
            p.setBrush(Qt::white);
            p.drawEllipse(QPointF(16, 16), 13, 13);
            p.drawLine(QPointF(16, 16), QPointF(16, 7));
            p.drawLine(QPointF(16, 16), QPointF(23, 19));
            break;
        case ToolIcon::Marquee:
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::black);
            p.drawRect(QRectF(2, 9, 28, 14));
            p.setBrush(QColor(255, 40, 40));
            for (int x = 5; x < 22; x += 4) p.drawEllipse(QPointF(x, 16), 1.4, 1.4);
            p.setBrush(QColor(255, 200, 0));
            {
                const QPointF arrow[] = {{22, 12}, {29, 16}, {22, 20}};
                p.drawPolygon(arrow, 3);
            }
            break;
        case ToolIcon::Board:
            p.setPen(QPen(QColor(60, 60, 60), 1.5));
            p.setBrush(Qt::black);
            p.drawRect(QRectF(4, 3, 24, 26));
            p.setPen(QPen(QColor(255, 60, 60), 2));
            for (int y = 9; y <= 21; y += 6) p.drawLine(QPointF(8, y), QPointF(24, y));
            p.setPen(QPen(QColor(255, 200, 0), 2));
            p.drawLine(QPointF(26, 25), QPointF(26, 8));
            p.drawLine(QPointF(23, 11), QPointF(26, 8));
            p.drawLine(QPointF(29, 11), QPointF(26, 8));
            break;
        case ToolIcon::Label: {
            p.setPen(QPen(QColor(60, 60, 60), 1.2));
            p.setBrush(QColor(255, 250, 220));
            p.drawRect(QRectF(2, 6, 28, 20));
            QFont f("DejaVu Sans");
            f.setPixelSize(17);
            f.setBold(true);
            p.setFont(f);
            p.setPen(QColor(200, 0, 0));
            p.drawText(QRectF(2, 6, 28, 20), Qt::AlignCenter, "A");
            break;
        }
        case ToolIcon::Image: {
            p.setPen(QPen(QColor(60, 60, 60), 1.2));
            p.setBrush(QColor(170, 215, 255));
            p.drawRect(QRectF(2, 5, 28, 22));
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(60, 150, 60));
            const QPointF hills[] = {{3, 26}, {12, 13}, {19, 21}, {23, 16}, {29, 26}};
            p.drawPolygon(hills, 5);
            p.setBrush(QColor(255, 210, 0));
            p.drawEllipse(QPointF(23, 10), 3, 3);
            break;
        }
        case ToolIcon::Delete:
            p.setPen(QPen(QColor(200, 30, 30), 4, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(8, 8), QPointF(24, 24));
            p.drawLine(QPointF(24, 8), QPointF(8, 24));
            break;
    }
    return QIcon(pixmap);
}

}  // namespace zl
