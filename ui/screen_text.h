#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace station::ui {

// The station's 8-bit text (windows-1250) as the screen shows it, and typed text back.
QString ToScreenText(std::string_view bytes);
std::string FromScreenText(const QString& text);
// The same with control bytes named ("<STX>12.5<ETX>"), where a font would draw empty boxes:
// received lines in the log view and on the page "Odczyt".
QString VisibleText(std::string_view bytes);

}  // namespace station::ui
