#include "AppIcon.h"

#include <QPainter>
#include <QPixmap>

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(QColor(0x2f, 0x4f, 0x3f));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QRectF(0.5, 0.5, size - 1.0, size - 1.0));
        painter.setPen(QPen(QColor(0xe8, 0xd8, 0x9a), size / 8.0));
        const double m = size * 0.28;
        painter.drawLine(QPointF(m, m), QPointF(size - m, m));
        painter.drawLine(QPointF(size / 2.0, m), QPointF(size / 2.0, size - m));
        icon.addPixmap(pixmap);
    }
    return icon;
}
