#include "app/MainFormUnit.h"

#include "controls/Dialogs.h"
#include "controls/FormRegistry.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>

namespace kvt {
namespace {

void showForm(QWidget* form)
{
    if (form->isVisible()) {
        form->raise();
        form->activateWindow();
        return;
    }
    form->show();
    form->raise();
    form->activateWindow();
}

void showSelection(const char* mode, const char* title)
{
    QWidget* cg = Form(QStringLiteral("CGForm"));
    Control<QLabel>(cg, QStringLiteral("LabelModol"))->setText(QString::fromLatin1(mode));
    Control<QLabel>(cg, QStringLiteral("Label_title"))->setText(QString::fromUtf8(title));
    showForm(cg);
}

/// What would be lost by ending the program now: the bill window's entries, the selection
/// window's table edits; empty when nothing would. Windows not made yet hold nothing.
QStringList unsavedWork()
{
    QStringList unsaved;
    bool billUnsaved = false;
    if (QWidget* bill = MadeForm(QStringLiteral("BillForm")))
        QMetaObject::invokeMethod(bill, "hasUnsavedEntries", Qt::DirectConnection, Q_RETURN_ARG(bool, billUnsaved));
    if (billUnsaved)
        unsaved << QStringLiteral("单据");
    QString table;
    if (QWidget* cg = MadeForm(QStringLiteral("CGForm")))
        QMetaObject::invokeMethod(cg, "unsavedTable", Qt::DirectConnection, Q_RETURN_ARG(QString, table));
    if (!table.isEmpty())
        unsaved << table;
    return unsaved;
}

} // namespace

TMainForm::TMainForm(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("主窗口"));
    setFixedSize(166, 288);
    setMinimumSize(166, 288);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    resize(166, 288);

    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(16);
    auto button = [&](const char* name, const char* caption, int top) {
        auto* b = new QPushButton(QString::fromUtf8(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setFont(font);
        b->setGeometry(8, top, 137, 41);
        return b;
    };
    Button1 = button("Button1", "新开门框", 8);
    Button3 = button("Button3", "查询功能", 56);
    Button4 = button("Button4", "商品信息管理", 104);
    Button2 = button("Button2", "客户信息管理", 152);
    ButtonExit = button("ButtonExit", "退出", 200);

    setTabOrder(ButtonExit, Button1);
    setTabOrder(Button1, Button2);
    setTabOrder(Button2, Button3);
    setTabOrder(Button3, Button4);

    auto wire = [this](QPushButton* b, void (TMainForm::*handler)()) {
        connect(b, &QPushButton::clicked, this, [this, handler] { Guarded(this, [this, handler] { (this->*handler)(); }); });
    };
    wire(Button1, &TMainForm::Button1Click);
    wire(Button3, &TMainForm::Button3Click);
    wire(Button4, &TMainForm::Button4Click);
    wire(Button2, &TMainForm::Button2Click);
    wire(ButtonExit, &TMainForm::ButtonExitClick);
}

void TMainForm::Button1Click()
{
    QWidget* bill = Form(QStringLiteral("BillForm"));
    Control<QLabel>(bill, QStringLiteral("LabelbillType"))->setText(QStringLiteral("1"));
    Control<QLabel>(bill, QStringLiteral("LabelBillClass"))->setText(QStringLiteral("门框生产排单"));
    Control<QPushButton>(bill, QStringLiteral("Button_del_bill"))->setEnabled(false);
    Control<QPushButton>(bill, QStringLiteral("Button_add_new"))->setEnabled(false);
    Control<QPushButton>(bill, QStringLiteral("Button_dele"))->setEnabled(false);
    showForm(bill);
}

void TMainForm::Button3Click()
{
    showForm(Form(QStringLiteral("FormQuery")));
}

void TMainForm::Button4Click()
{
    showSelection("5", "商品信息");
}

void TMainForm::Button2Click()
{
    showSelection("4", "客户信息");
}

void TMainForm::ButtonExitClick()
{
    close();
}

void TMainForm::N8Click()
{
    Button3Click();
}

void TMainForm::N3Click()
{
    CallFormMethod(QStringLiteral("BillForm"), "SetupDoorLeafGrid");
    QWidget* bill = Form(QStringLiteral("BillForm"));
    if (auto* grid = bill->findChild<QWidget*>(QStringLiteral("Grid_Bill")))
        grid->setVisible(true);
    showForm(bill);
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    // Closing the main window ends the program. What is not saved is asked about once, here,
    // before any window goes: No leaves every window as it was.
    bool leave = true;
    Guarded(this, [&] {
        const QString unsaved = unsavedWork().join(QStringLiteral("和"));
        if (!unsaved.isEmpty())
            leave = ConfirmYesNo(this, QStringLiteral("%1尚未保存，确定退出吗？").arg(unsaved));
    });
    if (!leave) {
        event->ignore();
        return;
    }
    // The other windows go with it unsaved, without asking again: quitting closes only the
    // windows still shown.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != this && w->isVisible())
            w->hide();
    event->accept();
    QApplication::quit();
}

} // namespace kvt
