#include "ui/log_memo.h"

#include <QEvent>

#include "ui/screen_text.h"

namespace station::ui {

LogMemo::LogMemo(QPlainTextEdit* memo, const TransmissionLog& log)
    : QObject(memo), memo_(memo), log_(log) {
    memo->installEventFilter(this);
}

void LogMemo::LineAdded(std::string_view line) {
    if (!memo_->isVisible()) {
        behind_ = true;
        return;
    }
    memo_->appendPlainText(VisibleText(line));
}

void LogMemo::Cleared() {
    memo_->clear();
    behind_ = false;
}

bool LogMemo::eventFilter(QObject* watched, QEvent* event) {
    if (watched == memo_ && event->type() == QEvent::Show && behind_) {
        CatchUp();
    }
    return false;
}

void LogMemo::CatchUp() {
    behind_ = false;
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(log_.LineCount()));
    for (std::size_t i = 0; i < log_.LineCount(); ++i) {
        lines.append(VisibleText(log_.Line(i)));
    }
    memo_->setPlainText(lines.join(QLatin1Char('\n')));
    memo_->moveCursor(QTextCursor::End);
}

}  // namespace station::ui
