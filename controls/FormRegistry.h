#pragma once
// The program-wide windows, reachable by their names ("MainForm", "BillForm", "CGForm",
// "FormQuery", "Form_DoorLine"), and their controls by objectName. Windows talk to one
// another through these controls, as carriers, so no window library depends on another.

#include <QString>
#include <QWidget>

#include <functional>

#include "store/StoreError.h"

namespace kvt {

/// Registers a window under its program-wide name (replacing an earlier one).
void RegisterForm(const QString& name, QWidget* form);
/// Registers how a window is made: the first FindForm or Form of that name calls make, which
/// builds the window and registers it. Windows nobody has asked for yet cost nothing at start-up.
void RegisterFormFactory(const QString& name, std::function<QWidget*()> make);
/// Forgets every registered window and factory (tests tear down with it).
void ClearForms();
/// The window registered under name (made now if only its factory is registered), or nullptr.
QWidget* FindForm(const QString& name);
/// The window registered under name if it has been made; never makes one.
QWidget* MadeForm(const QString& name);
/// The window registered under name; throws StoreError when there is none.
QWidget* Form(const QString& name);

/// The child of form with that objectName and type; throws StoreError when missing.
template <class T> T* Control(QWidget* form, const QString& objectName)
{
    T* c = form ? form->findChild<T*>(objectName) : nullptr;
    if (!c)
        throw StoreError(QStringLiteral("找不到控件 %1").arg(objectName));
    return c;
}

/// Same as Control(Form(formName), objectName).
template <class T> T* Control(const QString& formName, const QString& objectName)
{
    return Control<T>(Form(formName), objectName);
}

/// Calls a Q_INVOKABLE method of a window by name (e.g. "LoadFrameLines"); exceptions it
/// throws reach the caller. Throws StoreError when the window has no such method.
void CallFormMethod(const QString& formName, const char* method);

} // namespace kvt
