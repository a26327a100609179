#include "controls/FormRegistry.h"

#include <QHash>
#include <QMetaObject>
#include <QPointer>

namespace kvt {
namespace {
QHash<QString, QPointer<QWidget>>& forms()
{
    static QHash<QString, QPointer<QWidget>> registry;
    return registry;
}

QHash<QString, std::function<QWidget*()>>& factories()
{
    static QHash<QString, std::function<QWidget*()>> registry;
    return registry;
}
} // namespace

void RegisterFormFactory(const QString& name, std::function<QWidget*()> make)
{
    factories().insert(name, std::move(make));
}

void RegisterForm(const QString& name, QWidget* form)
{
    forms().insert(name, form);
}

void ClearForms()
{
    forms().clear();
    factories().clear();
}

QWidget* FindForm(const QString& name)
{
    if (QWidget* w = forms().value(name).data())
        return w;
    // Made once: the factory is taken out first, so a window that asks for itself while it is
    // being built gets nullptr instead of a second copy.
    const std::function<QWidget*()> make = factories().take(name);
    if (!make)
        return nullptr;
    QWidget* w = nullptr;
    try {
        w = make();
    } catch (...) {
        factories().insert(name, make); // asked for again, it is tried again
        throw;
    }
    RegisterForm(name, w);
    return w;
}

QWidget* MadeForm(const QString& name)
{
    return forms().value(name).data();
}

QWidget* Form(const QString& name)
{
    QWidget* w = FindForm(name);
    if (!w)
        throw StoreError(QStringLiteral("找不到窗口 %1").arg(name));
    return w;
}

void CallFormMethod(const QString& formName, const char* method)
{
    QWidget* w = Form(formName);
    if (!QMetaObject::invokeMethod(w, method, Qt::DirectConnection))
        throw StoreError(QStringLiteral("窗口 %1 没有操作 %2").arg(formName, QString::fromLatin1(method)));
}

} // namespace kvt
