#pragma once
// The one way windows show messages and ask Yes/No questions, so tests can answer them.

#include <QString>

#include <functional>

class QWidget;

namespace kvt {

class DialogService {
public:
    enum class Icon { None, Information, Warning, Critical };
    virtual ~DialogService() = default;

    /// A message box with an OK button.
    virtual void message(QWidget* parent, const QString& text, const QString& caption = QString(),
                         Icon icon = Icon::None) = 0;
    /// A warning with Yes and No; true only for Yes (closing the box or Escape answers No).
    virtual bool confirm(QWidget* parent, const QString& text, const QString& caption = QString()) = 0;
    /// A long text (a report) in a window of its own that can be read, scrolled and copied, with
    /// an OK button; returns when it is closed. A service that has no such window shows a message.
    virtual void showText(QWidget* parent, const QString& text, const QString& caption)
    {
        message(parent, text, caption);
    }

    /// The service in use: real message boxes unless a test installed another.
    static DialogService& instance();
    /// Installs a service (nullptr restores the real one); the caller keeps ownership.
    static void setInstance(DialogService* service);
};

/// Shorthands over DialogService::instance().
void ShowMessage(QWidget* parent, const QString& text);
bool ConfirmYesNo(QWidget* parent, const QString& text, const QString& caption = QString());

/// Runs a handler; an exception ends it and its message is shown in a message box.
/// Returns false when the handler ended by an error.
bool Guarded(QWidget* parent, const std::function<void()>& handler);

} // namespace kvt
