#include "query/MaterialValues.h"

#include <utility>

namespace kvt {

bool ParseTenths(const QString& text, cutting::Length* tenths) {
    const QString t = text.trimmed();
    qsizetype i = 0;
    const bool negative = t.startsWith(QLatin1Char('-'));
    if (negative || t.startsWith(QLatin1Char('+')))
        ++i;
    cutting::Length whole = 0;
    int digits = 0;
    for (; i < t.size() && t[i].isDigit() && t[i].unicode() < 128; ++i, ++digits) {
        if (whole > 1'000'000'000'000LL)
            return false;
        whole = whole * 10 + (t[i].unicode() - '0');
    }
    int tenth = 0;
    if (i < t.size() && t[i] == QLatin1Char('.')) {
        ++i;
        if (i < t.size() && t[i].isDigit() && t[i].unicode() < 128) {
            tenth = t[i].unicode() - '0';
            ++i;
            ++digits;
        }
        // "4.50" is one decimal all the same.
        while (i < t.size() && t[i] == QLatin1Char('0'))
            ++i;
    }
    if (digits == 0 || i != t.size())
        return false;
    const cutting::Length value = whole * 10 + tenth;
    *tenths = negative ? -value : value;
    return true;
}

namespace {

/// The problem and the field it is about.
std::pair<QString, QString> materialProblem(const MaterialValues& v) {
    const QString who = QStringLiteral("材料“%1”").arg(v.name.trimmed());
    if (v.name.trimmed().isEmpty())
        return {QStringLiteral("材料名称"), QStringLiteral("材料名称不能为空。")};
    struct Field {
        const char* name;
        const QString* text;
        cutting::Length value = 0;
    };
    Field fields[] = {
        {"原料长度", &v.stockLength}, {"锯缝", &v.kerf}, {"端头余量", &v.trim}, {"最短余料", &v.minOffcut}};
    for (Field& f : fields) {
        const QString field = QString::fromUtf8(f.name);
        if (!ParseTenths(*f.text, &f.value))
            return {field, QStringLiteral("%1的%2“%3”不是长度：请填毫米数，最多一位小数。").arg(who, field, *f.text)};
        if (f.value < 0)
            return {field, QStringLiteral("%1的%2不能是负数（%3）。").arg(who, field, *f.text)};
    }
    const cutting::Length stock = fields[0].value, trim = fields[2].value;
    if (stock <= 2 * trim)
        return {QStringLiteral("原料长度"), QStringLiteral("%1的原料长度（%2）必须大于两端的端头余量之和（2×%3）。")
                                                .arg(who, v.stockLength.trimmed(), v.trim.trimmed())};
    return {};
}

std::pair<QString, QString> offcutProblem(const OffcutValues& v, const QStringList& materials) {
    if (!materials.contains(v.material))
        return {QStringLiteral("材料名称"), v.material.trimmed().isEmpty()
                                                ? QStringLiteral("余料的材料名称不能为空。")
                                                : QStringLiteral("余料的材料“%1”不存在。").arg(v.material)};
    cutting::Length length = 0;
    if (!ParseTenths(v.length, &length) || length <= 0)
        return {QStringLiteral("长度"),
                QStringLiteral("余料（%1）的长度“%2”必须是大于0的毫米数，最多一位小数。").arg(v.material, v.length)};
    return {};
}

} // namespace

QString MaterialProblem(const MaterialValues& values) {
    return materialProblem(values).second;
}

QString MaterialProblemField(const MaterialValues& values) {
    return materialProblem(values).first;
}

QString OffcutProblem(const OffcutValues& values, const QStringList& materials) {
    return offcutProblem(values, materials).second;
}

QString OffcutProblemField(const OffcutValues& values, const QStringList& materials) {
    return offcutProblem(values, materials).first;
}

} // namespace kvt
