#include "ui/screen_text.h"

#include "core/text/code_page.h"

namespace station::ui {

QString ToScreenText(std::string_view bytes) {
    return QString::fromStdU16String(DecodeCp1250(bytes));
}

std::string FromScreenText(const QString& text) {
    return EncodeCp1250(text.toStdU16String());
}

}  // namespace station::ui
