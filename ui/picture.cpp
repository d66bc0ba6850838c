#include "ui/picture.h"

#include <QPainter>
#include <QSvgRenderer>

namespace station::ui {

QPixmap Picture(const QString& name, QSize size, qreal device_pixel_ratio) {
    QSvgRenderer renderer(QStringLiteral(":/pictures/%1.svg").arg(name));
    QPixmap pixmap(size * device_pixel_ratio);
    pixmap.setDevicePixelRatio(device_pixel_ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

}  // namespace station::ui
