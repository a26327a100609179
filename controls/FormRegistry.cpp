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
} // namespace

void RegisterForm(const QString& name, QWidget* form)
{
    forms().insert(name, form);
}

void ClearForms()
{
    forms().clear();
}

QWidget* FindForm(const QString& name)
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
