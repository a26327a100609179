#include "controls/Dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <exception>

namespace kvt {
namespace {

class MessageBoxService final : public DialogService {
public:
    void message(QWidget* parent, const QString& text, const QString& caption, Icon icon) override
    {
        QMessageBox box(parent);
        box.setWindowTitle(caption.isEmpty() ? QApplication::applicationDisplayName() : caption);
        box.setText(text);
        switch (icon) {
        case Icon::Information: box.setIcon(QMessageBox::Information); break;
        case Icon::Warning: box.setIcon(QMessageBox::Warning); break;
        case Icon::Critical: box.setIcon(QMessageBox::Critical); break;
        case Icon::None: break;
        }
        box.setStandardButtons(QMessageBox::Ok);
        box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
        box.exec();
    }

    bool confirm(QWidget* parent, const QString& text, const QString& caption) override
    {
        QMessageBox box(parent);
        box.setWindowTitle(caption.isEmpty() ? QStringLiteral("确认") : caption);
        box.setIcon(QMessageBox::Warning);
        box.setText(text);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.button(QMessageBox::Yes)->setText(QStringLiteral("是(&Y)"));
        box.button(QMessageBox::No)->setText(QStringLiteral("否(&N)"));
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    }

    void showText(QWidget* parent, const QString& text, const QString& caption) override
    {
        QDialog window(parent);
        window.setWindowTitle(caption);
        auto* view = new QPlainTextEdit(text, &window);
        view->setReadOnly(true);
        view->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &window);
        buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
        QObject::connect(buttons, &QDialogButtonBox::accepted, &window, &QDialog::accept);
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(view);
        layout->addWidget(buttons);
        window.resize(760, 520);
        window.exec();
    }
};

MessageBoxService g_realService;
DialogService* g_service = nullptr;

} // namespace

DialogService& DialogService::instance()
{
    return g_service ? *g_service : g_realService;
}

void DialogService::setInstance(DialogService* service)
{
    g_service = service;
}

void ShowMessage(QWidget* parent, const QString& text)
{
    DialogService::instance().message(parent, text);
}

bool ConfirmYesNo(QWidget* parent, const QString& text, const QString& caption)
{
    return DialogService::instance().confirm(parent, text, caption);
}

bool Guarded(QWidget* parent, const std::function<void()>& handler)
{
    try {
        handler();
        return true;
    } catch (const std::exception& e) {
        DialogService::instance().message(parent, QString::fromUtf8(e.what()), QString(),
                                          DialogService::Icon::Critical);
    } catch (...) {
        DialogService::instance().message(parent, QStringLiteral("未知错误"), QString(),
                                          DialogService::Icon::Critical);
    }
    return false;
}

} // namespace kvt
