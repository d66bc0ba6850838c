#pragma once

#include <QPlainTextEdit>

#include "core/reading/transmission_log.h"

namespace station::ui {

// Mirrors the transmission log in the memo. While the memo is hidden (the normal view) it only
// notes that it is behind and catches up when shown, so a flood of lines costs the hidden memo
// nothing.
class LogMemo final : public QObject, public LogView {
    Q_OBJECT

public:
    LogMemo(QPlainTextEdit* memo, const TransmissionLog& log);

    void LineAdded(std::string_view line) override;
    void Cleared() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CatchUp();

    QPlainTextEdit* memo_;
    const TransmissionLog& log_;
    bool behind_ = false;
};

}  // namespace station::ui
