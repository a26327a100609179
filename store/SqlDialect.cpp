#include "store/SqlDialect.h"

#include "store/StoreError.h"

#include <QDate>
#include <QRegularExpression>
#include <QStringList>

namespace kvt {
namespace {

QString singleQuoted(const QString& text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('\'');
    for (QChar c : text) {
        if (c == QLatin1Char('\''))
            out += QLatin1Char('\'');
        out += c;
    }
    out += QLatin1Char('\'');
    return out;
}

/// "2021-01-14", "2021/1/14" (year first) or "1/14/2021" (month first).
QDate parseDateLiteral(const QString& text)
{
    const QString t = text.trimmed();
    const QStringList parts = t.split(QRegularExpression(QStringLiteral("[-/.]")));
    if (parts.size() != 3)
        return {};
    bool ok[3];
    const int a = parts[0].toInt(&ok[0]), b = parts[1].toInt(&ok[1]), c = parts[2].toInt(&ok[2]);
    if (!ok[0] || !ok[1] || !ok[2])
        return {};
    if (parts[0].size() == 4)
        return QDate(a, b, c);
    if (parts[2].size() == 4)
        return QDate(c, a, b);
    return {};
}

} // namespace

QString TranslateToSqlite(const QString& statement)
{
    QString out;
    out.reserve(statement.size() + 16);
    const int n = int(statement.size());
    int i = 0;
    while (i < n) {
        const QChar c = statement[i];
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            // A text literal; the quote doubled inside stands for itself.
            QString text;
            int j = i + 1;
            bool closed = false;
            while (j < n) {
                if (statement[j] == c) {
                    if (j + 1 < n && statement[j + 1] == c) {
                        text += c;
                        j += 2;
                        continue;
                    }
                    closed = true;
                    break;
                }
                text += statement[j++];
            }
            if (!closed)
                throw StoreError(QStringLiteral("SQL语句中的文本没有结束引号：%1").arg(statement));
            out += singleQuoted(text);
            i = j + 1;
        } else if (c == QLatin1Char('#')) {
            const int j = int(statement.indexOf(QLatin1Char('#'), i + 1));
            if (j < 0)
                throw StoreError(QStringLiteral("SQL语句中的日期没有结束的#号：%1").arg(statement));
            const QString literal = statement.mid(i + 1, j - i - 1);
            const QDate d = parseDateLiteral(literal);
            if (!d.isValid())
                throw StoreError(QStringLiteral("SQL语句中的日期“%1”无效").arg(literal));
            out += singleQuoted(d.toString(QStringLiteral("yyyy-MM-dd")));
            i = j + 1;
        } else if (c == QLatin1Char('[')) {
            // A bracketed name.
            const int j = int(statement.indexOf(QLatin1Char(']'), i + 1));
            if (j < 0)
                throw StoreError(QStringLiteral("SQL语句中的名称没有结束的]号：%1").arg(statement));
            QString name = statement.mid(i + 1, j - i - 1);
            name.replace(QLatin1Char('"'), QStringLiteral("\"\""));
            out += QLatin1Char('"') + name + QLatin1Char('"');
            i = j + 1;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

} // namespace kvt
