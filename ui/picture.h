#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>

namespace station::ui {

// One of the station's own pictures (resources/<name>.svg) drawn at `size` logical pixels,
// sharp on any pixel density.
QPixmap Picture(const QString& name, QSize size, qreal device_pixel_ratio = 1.0);

}  // namespace station::ui
