// The values of a query's fields: reading them as text, whole numbers, numbers and dates, and
// assigning typed text, converted to the column's kind and refused with the field and the value
// when it does not fit. Works on the held result only; calls no engine.
#include "store/ResultSet.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <cmath>

namespace kvt {

namespace result {

Kind kindOf(const QString& declType, quint8 sample)
{
    // Declared types are short and ASCII: looked at in capitals, without a string made for it.
    char upper[32];
    const qsizetype length = std::min<qsizetype>(declType.size(), qsizetype(sizeof upper) - 1);
    for (qsizetype i = 0; i < length; ++i) {
        const char16_t u = declType[i].unicode();
        upper[i] = u >= 'a' && u <= 'z' ? char(u - 'a' + 'A') : u < 0x80 ? char(u) : '?';
    }
    upper[length] = '\0';
    const auto has = [&](const char* part) {
        return declType.size() < qsizetype(sizeof upper) ? std::strstr(upper, part) != nullptr
                                                         : declType.contains(QLatin1String(part), Qt::CaseInsensitive);
    };
    const QString& t = declType;
    if (has("INT"))
        return Kind::Integer;
    if (has("REAL") || has("FLOA") || has("DOUB") || has("NUM"))
        return Kind::Number;
    if (has("DATE"))
        return Kind::Date;
    if (!t.isEmpty())
        return Kind::Text;
    switch (sample) {
    case CellTable::Integer: return Kind::Integer;
    case CellTable::Real: return Kind::Number;
    default: return Kind::Text;
    }
}

QString plainNumber(double v)
{
    if (std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 1e15)
        return QString::number(qint64(v));
    QString s = QString::number(v, 'f', 10);
    if (s.contains(QLatin1Char('.'))) {
        while (s.endsWith(QLatin1Char('0')))
            s.chop(1);
        if (s.endsWith(QLatin1Char('.')))
            s.chop(1);
    }
    return s;
}

QString textOf(const QVariant& v, Kind kind)
{
    if (!v.isValid() || v.isNull())
        return QString();
    switch (v.typeId()) {
    case QMetaType::LongLong: return QString::number(v.toLongLong());
    case QMetaType::Double:
        if (kind == Kind::Integer && v.toDouble() == std::floor(v.toDouble()))
            return QString::number(qint64(v.toDouble()));
        return plainNumber(v.toDouble());
    default: return v.toString();
    }
}

bool parseNumber(const QString& text, double& out)
{
    bool ok = false;
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    // Plain digits, as nearly every cell holds, read without the general parser; the value is the
    // same correctly rounded double. Anything else goes the general way.
    if (t.size() < 32) {
        char plain[32];
        qsizetype n = 0;
        for (const QChar c : t) {
            const char16_t u = c.unicode();
            if (!((u >= '0' && u <= '9') || u == '.' || u == '-' || u == 'e' || u == 'E'))
                break;
            plain[n++] = char(u);
        }
        if (n == t.size()) {
            const auto r = std::from_chars(plain, plain + n, out);
            if (r.ec == std::errc() && r.ptr == plain + n)
                return std::isfinite(out);
        }
    }
    out = t.toDouble(&ok);
    return ok && std::isfinite(out);
}

QDate parseDate(const QString& text)
{
    const QString t = text.trimmed();
    // yyyy-MM-dd, as the program writes dates, read without a format.
    if (t.size() == 10 && t[4] == QLatin1Char('-') && t[7] == QLatin1Char('-')) {
        int part[3] = {0, 0, 0};
        bool digits = true;
        for (int i = 0, k = 0; i < 10 && digits; ++i) {
            if (i == 4 || i == 7) {
                ++k;
                continue;
            }
            digits = t[i].unicode() >= '0' && t[i].unicode() <= '9';
            part[k] = part[k] * 10 + (t[i].unicode() - '0');
        }
        if (digits && QDate::isValid(part[0], part[1], part[2]))
            return QDate(part[0], part[1], part[2]);
    }
    for (const char* f : {"yyyy-MM-dd", "yyyy-M-d", "yyyy/M/d", "yyyy/MM/dd"}) {
        const QDate d = QDate::fromString(t, QString::fromLatin1(f));
        if (d.isValid())
            return d;
    }
    // A date with a time of day: the date is what counts.
    if (t.size() > 10) {
        const QDate d = QDate::fromString(t.left(10), QStringLiteral("yyyy-MM-dd"));
        if (d.isValid())
            return d;
    }
    return {};
}

} // namespace result

using namespace result;

// ---------------------------------------------------------------- DataField

QString DataField::name() const
{
    return m_query->m_result->cols[size_t(m_column)].name;
}

QVariant DataField::value() const
{
    return m_query->ValueAt(m_query->CurrentRow(), m_column);
}

bool DataField::isNull() const
{
    const QVariant v = value();
    return !v.isValid() || v.isNull();
}

QString DataField::asString() const
{
    return m_query->TextAt(m_query->CurrentRow(), m_column);
}

qint64 DataField::asInteger() const
{
    const QVariant v = value();
    if (!v.isValid() || v.isNull())
        return 0;
    if (v.typeId() == QMetaType::LongLong)
        return v.toLongLong();
    double d = 0;
    const QString t = textOf(v, Kind::Text);
    if (v.typeId() == QMetaType::Double)
        d = v.toDouble();
    else if (!parseNumber(t, d))
        throw StoreError(QStringLiteral("字段“%1”的值“%2”不是整数").arg(name(), t));
    if (!(d >= -9.2e18 && d <= 9.2e18))
        throw StoreError(QStringLiteral("字段“%1”的值“%2”超出整数范围").arg(name(), t));
    return qint64(std::llround(d));
}

double DataField::asFloat() const
{
    const QVariant v = value();
    if (!v.isValid() || v.isNull())
        return 0;
    if (v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Double)
        return v.toDouble();
    double d = 0;
    if (!parseNumber(v.toString(), d))
        throw StoreError(QStringLiteral("字段“%1”的值“%2”不是数字").arg(name(), v.toString()));
    return d;
}

QDate DataField::asDate() const
{
    const QVariant v = value();
    if (!v.isValid() || v.isNull())
        return {};
    return parseDate(v.toString());
}

void DataField::setString(const QString& text)
{
    m_query->SetTextAt(m_query->CurrentRow(), m_column, text);
}

void DataField::setInteger(qint64 value)
{
    m_query->SetTextAt(m_query->CurrentRow(), m_column, QString::number(value));
}

void DataField::setNull()
{
    DataQuery* q = m_query;
    const int row = q->CurrentRow();
    if (row < 1)
        throw StoreError(QStringLiteral("数据集没有当前记录"));
    q->refuseKeyChange(row, m_column, QVariant());
    q->m_result->assign(row, m_column, QVariant());
    emit q->rowChanged(row);
}

bool DataField::visible() const
{
    return m_query->IsFieldVisible(m_column);
}

void DataField::setVisible(bool visible)
{
    m_query->SetFieldVisible(m_column, visible);
}

int DataField::displayIndex() const
{
    return m_query->DisplayIndexOf(m_column);
}

void DataField::setDisplayIndex(int position)
{
    m_query->SetDisplayIndex(m_column, position);
}

void DataQuery::refuseKeyChange(int row, int column, const QVariant& value) const
{
    const ResultSet& rs = *m_result;
    if (column != rs.keyColumn || rs.stateOf(rs.slotOf(row)) == RowState::Inserted)
        return;
    const Kind kind = rs.cols[size_t(column)].kind;
    if (textOf(value, kind) == textOf(rs.keyOf(rs.slotOf(row)), kind))
        return;
    throw StoreError(QStringLiteral("“%1”是已保存记录的编号，不能修改。").arg(rs.cols[size_t(column)].name));
}

QVariant DataQuery::ValueAt(int row, int column) const
{
    needOpen(m_result);
    if (row < 1 || row > RowCount())
        throw StoreError(QStringLiteral("数据集没有当前记录"));
    if (column < 0 || column >= FieldCount())
        throw StoreError(QStringLiteral("数据集中没有第%1个字段").arg(column + 1));
    return m_result->value(row, column);
}

QString DataQuery::TextAt(int row, int column) const
{
    QString out;
    AppendTextAt(row, column, out);
    return out;
}

namespace {

// A cell's text into a string, or into bytes as UTF-8.
void appendUtf8(QString& out, QByteArrayView utf8)
{
    out += QString::fromUtf8(utf8.data(), utf8.size());
}
void appendUtf8(QByteArray& out, QByteArrayView utf8)
{
    out += utf8;
}
void appendDigits(QString& out, const char* digits, qsizetype length)
{
    out += QLatin1StringView(digits, length);
}
void appendDigits(QByteArray& out, const char* digits, qsizetype length)
{
    out.append(digits, length);
}
void appendString(QString& out, const QString& text)
{
    out += text;
}
void appendString(QByteArray& out, const QString& text)
{
    out += text.toUtf8();
}

} // namespace

template <typename Out>
void DataQuery::appendText(int row, int column, Out& out) const
{
    needOpen(m_result);
    if (row < 1 || row > RowCount())
        throw StoreError(QStringLiteral("数据集没有当前记录"));
    if (column < 0 || column >= FieldCount())
        throw StoreError(QStringLiteral("数据集中没有第%1个字段").arg(column + 1));
    // The cells read straight, as textOf gives their values: whole numbers in plain digits.
    const CellTable& cells = m_result->cells;
    const quint32 slot = m_result->slotOf(row);
    qint64 whole;
    switch (cells.kind(slot, column)) {
    case CellTable::Null: return;
    case CellTable::Integer: whole = cells.integer(slot, column); break;
    case CellTable::Real: {
        const double v = cells.real(slot, column);
        const bool integerColumn = m_result->cols[size_t(column)].kind == Kind::Integer;
        if (!std::isfinite(v) || v != std::floor(v) || (!integerColumn && std::fabs(v) >= 1e15)) {
            appendString(out, textOf(QVariant(v), m_result->cols[size_t(column)].kind));
            return;
        }
        whole = qint64(v);
        break;
    }
    default: appendUtf8(out, cells.text(slot, column)); return;
    }
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, whole).ptr;
    appendDigits(out, digits, end - digits);
}

void DataQuery::AppendTextAt(int row, int column, QString& out) const
{
    appendText(row, column, out);
}

void DataQuery::AppendTextAt(int row, int column, QByteArray& out) const
{
    appendText(row, column, out);
}

void DataQuery::SetTextAt(int row, int column, const QString& text)
{
    needOpen(m_result);
    if (m_result->readOnly())
        throw StoreError(QStringLiteral("这个数据集来自多个表或没有主键，不能修改"));
    if (row < 1 || row > RowCount())
        throw StoreError(QStringLiteral("数据集没有当前记录"));
    if (column < 0 || column >= FieldCount())
        throw StoreError(QStringLiteral("数据集中没有第%1个字段").arg(column + 1));
    const Column& col = m_result->cols[size_t(column)];
    QVariant value;
    switch (col.kind) {
    case Kind::Integer: {
        double d = 0;
        bool ok = false;
        const qint64 i = text.trimmed().toLongLong(&ok);
        if (ok)
            value = QVariant(i);
        else if (parseNumber(text, d) && d == std::floor(d) && std::fabs(d) < 9e18)
            value = QVariant(qint64(d));
        else
            throw StoreError(QStringLiteral("字段“%1”的值“%2”不是整数").arg(col.name, text));
        break;
    }
    case Kind::Number: {
        double d = 0;
        if (!parseNumber(text, d))
            throw StoreError(QStringLiteral("字段“%1”的值“%2”不是数字").arg(col.name, text));
        value = QVariant(d);
        break;
    }
    case Kind::Date: {
        const QDate d = parseDate(text);
        if (!d.isValid())
            throw StoreError(QStringLiteral("字段“%1”的值“%2”不是日期").arg(col.name, text));
        value = QVariant(d.toString(QStringLiteral("yyyy-MM-dd")));
        break;
    }
    case Kind::Text: value = QVariant(text); break;
    }
    refuseKeyChange(row, column, value);
    if (row != m_current) {
        m_current = row;
        emit currentRowChanged(row);
    }
    m_result->editing = true;
    m_result->assign(row, column, value);
    emit rowChanged(row);
}

bool DataQuery::IsDateColumn(int column) const
{
    return m_result && column >= 0 && column < FieldCount() && m_result->cols[size_t(column)].kind == Kind::Date;
}

bool DataQuery::IsNumericColumn(int column) const
{
    if (!m_result || column < 0 || column >= FieldCount())
        return false;
    const Kind k = m_result->cols[size_t(column)].kind;
    return k == Kind::Integer || k == Kind::Number;
}
} // namespace kvt
