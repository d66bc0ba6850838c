#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace station::ui {

// The station's 8-bit text (windows-1250) as the screen shows it, and typed text back.
QString ToScreenText(std::string_view bytes);
std::string FromScreenText(const QString& text);

}  // namespace station::ui
