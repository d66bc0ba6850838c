#pragma once

#include <QString>

namespace station::ui {

// Names a control as the handlers and tests know it and puts it where the layout draws it,
// in pixels for 96 dots per inch.
template <typename Widget>
Widget* Place(Widget* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

}  // namespace station::ui
