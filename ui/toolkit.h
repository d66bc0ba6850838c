#pragma once

#include <QString>

#include <optional>

class QDialog;
class QUrl;
class QWidget;

namespace station::ui {

// The calls of the station that wait for the operator, leave the program or end it. They go through
// here so that tests can answer them; the program uses QtToolkit.
class Toolkit {
public:
    virtual ~Toolkit() = default;
    // An error-type message box with one "OK" button; returns once the operator closed it.
    virtual void ShowErrorBox(QWidget* parent, const QString& caption, const QString& text) = 0;
    // Shows `dialog` modally while the event loop runs on; true when it closed with OK.
    virtual bool ShowModal(QDialog& dialog) = 0;
    // The save-file dialog: asks before overwriting; nullopt when cancelled.
    virtual std::optional<QString> SaveFileName(QWidget* parent, const QString& title,
                                                const QString& proposed, const QString& filter) = 0;
    // Hands `url` to the desktop's default handler; whether that works is not reported.
    virtual void OpenUrl(const QUrl& url) = 0;
};

class QtToolkit final : public Toolkit {
public:
    void ShowErrorBox(QWidget* parent, const QString& caption, const QString& text) override;
    bool ShowModal(QDialog& dialog) override;
    std::optional<QString> SaveFileName(QWidget* parent, const QString& title,
                                        const QString& proposed, const QString& filter) override;
    void OpenUrl(const QUrl& url) override;
};

}  // namespace station::ui
