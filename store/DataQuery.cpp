#include "store/DataQuery.h"

#include "store/CellTable.h"
#include "store/Database.h"
#include "store/Engine.h"

#include <QHash>
#include <QPointer>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <numeric>
#include <unordered_map>
#include <vector>

namespace kvt {

namespace {

enum class Kind { Integer, Number, Text, Date };

struct Column {
    QString name;   // output name
    QString table;  // table it comes from ("" for an expression)
    QString origin; // its name in that table
    Kind kind = Kind::Text;
    bool visible = true;
};

/// What a row read from the table has had changed: the columns, and every value as read, to
/// find the row again and to check that nobody else changed it meanwhile.
struct RowChange {
    std::vector<bool> columns;
    std::vector<QVariant> original;
};

/// sample: the cell kind of the column's first non-NULL value (CellTable::Null when none).
Kind kindOf(const QString& declType, quint8 sample)
{
    const QString t = declType.toUpper();
    if (t.contains(QLatin1String("INT")))
        return Kind::Integer;
    if (t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOA")) || t.contains(QLatin1String("DOUB")) ||
        t.contains(QLatin1String("NUM")))
        return Kind::Number;
    if (t.contains(QLatin1String("DATE")))
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

QString quoteId(const QString& name)
{
    QString q = name;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

} // namespace

struct ResultSet {
    explicit ResultSet(int columns) : cells(columns) {}

    std::vector<Column> cols;
    CellTable cells;
    std::vector<quint32> order;                     // result rows in order: their slots in cells
    std::vector<quint8> states;                     // RowState of each slot
    std::unordered_map<quint32, RowChange> changes; // slots of changed rows read from the table
    int pendingRows = 0;                            // rows in the result that are changed or inserted
    std::vector<std::vector<QVariant>> deleted;     // rows removed from the result, as they were read
    QString table;                                  // the one table a changeable result comes from
    int keyColumn = -1;                             // result column holding its primary key
    QString keyName;                                // that key's name in the table
    bool editing = false;
    std::vector<int> display; // display order: result columns
    QHash<QString, int> byName;

    bool readOnly() const { return table.isEmpty() || keyColumn < 0; }

    int rowCount() const { return int(order.size()); }
    quint32 slotOf(int row) const { return order[size_t(row - 1)]; }
    RowState stateOf(quint32 slot) const { return RowState(states[slot]); }
    QVariant value(int row, int column) const { return cells.value(slotOf(row), column); }

    /// Every value of the row as it was read.
    std::vector<QVariant> originalOf(quint32 slot) const
    {
        const auto it = changes.find(slot);
        if (it != changes.end())
            return it->second.original;
        std::vector<QVariant> v(cols.size());
        for (size_t c = 0; c < cols.size(); ++c)
            v[c] = cells.value(slot, int(c));
        return v;
    }

    /// Primary key the row was read with (for rows read from the table).
    QVariant keyOf(quint32 slot) const
    {
        const auto it = changes.find(slot);
        if (it != changes.end())
            return it->second.original[size_t(keyColumn)];
        return keyColumn >= 0 ? cells.value(slot, keyColumn) : QVariant();
    }

    /// Counts the rows of the result that wait to be written.
    void recountPending()
    {
        pendingRows = 0;
        for (const quint32 slot : order)
            if (stateOf(slot) != RowState::Unchanged)
                ++pendingRows;
    }

    /// Stores a changed value and marks its row and column as changed.
    void assign(int row, int column, const QVariant& v)
    {
        const quint32 slot = slotOf(row);
        if (stateOf(slot) != RowState::Inserted) {
            auto [it, added] = changes.try_emplace(slot);
            if (added) {
                it->second.columns.resize(cols.size());
                it->second.original.resize(cols.size());
                for (size_t c = 0; c < cols.size(); ++c)
                    it->second.original[c] = cells.value(slot, int(c));
            }
            it->second.columns[size_t(column)] = true;
            if (stateOf(slot) == RowState::Unchanged) {
                states[slot] = quint8(RowState::Modified);
                ++pendingRows;
            }
        }
        cells.setValue(slot, column, v);
    }
};

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

// ---------------------------------------------------------------- DataQuery

DataQuery::DataQuery(QObject* parent) : QObject(parent) {}

DataQuery::~DataQuery() = default;

void DataQuery::SetSql(const QString& statement)
{
    if (m_result)
        Close();
    m_sql = statement;
}

QString DataQuery::Sql() const
{
    return m_sql;
}

void DataQuery::Open()
{
    if (m_result)
        Close();
    engine::Statement st(engine::Translate(m_sql));
    const int n = st.columnCount();
    if (n == 0)
        throw StoreError(QStringLiteral("SQL语句没有返回记录：%1").arg(m_sql));

    auto rs = std::make_unique<ResultSet>(n);
    rs->cols.resize(size_t(n));
    QHash<QString, int> seen;
    for (int c = 0; c < n; ++c) {
        Column& col = rs->cols[size_t(c)];
        col.name = st.columnName(c);
        col.table = st.columnTable(c);
        col.origin = st.columnOrigin(c);
        seen[col.name] += 1;
    }
    // A name that two tables give is read with its table's name in front.
    for (Column& col : rs->cols)
        if (seen.value(col.name) > 1 && !col.table.isEmpty())
            col.name = col.table + QLatin1Char('.') + col.origin;

    // Values go straight from the engine into the compact cells, in one call.
    CellTable& cells = rs->cells;
    std::vector<quint8> samples;
    st.readAll(cells, samples);
    for (int c = 0; c < n; ++c)
        rs->cols[size_t(c)].kind = kindOf(st.columnDeclType(c), samples[size_t(c)]);
    rs->order.resize(cells.slotCount());
    std::iota(rs->order.begin(), rs->order.end(), quint32(0));
    rs->states.assign(cells.slotCount(), quint8(RowState::Unchanged));

    // Changeable only when every column comes from one table and its key is among them.
    QString table;
    bool oneTable = true;
    for (const Column& col : rs->cols) {
        if (col.table.isEmpty()) {
            oneTable = false;
            break;
        }
        if (table.isEmpty())
            table = col.table;
        else if (table != col.table)
            oneTable = false;
    }
    if (oneTable && !table.isEmpty()) {
        for (const engine::ColumnInfo& info : engine::TableColumns(table)) {
            if (!info.primaryKey)
                continue;
            for (int c = 0; c < n; ++c)
                if (rs->cols[size_t(c)].origin == info.name) {
                    rs->keyColumn = c;
                    rs->keyName = info.name;
                }
        }
        if (rs->keyColumn >= 0)
            rs->table = table;
    }
    rs->display.resize(size_t(n));
    for (int c = 0; c < n; ++c) {
        rs->display[size_t(c)] = c;
        rs->byName.insert(rs->cols[size_t(c)].name, c);
    }
    m_result = std::move(rs);
    ++m_generation;
    m_current = m_result->order.empty() ? 0 : 1;
    m_eof = m_result->order.empty();
    emit resultReset();
    emit currentRowChanged(m_current);
}

void DataQuery::Close()
{
    if (!m_result)
        return;
    m_result.reset();
    ++m_generation;
    m_current = 0;
    m_eof = true;
    emit resultReset();
    emit currentRowChanged(0);
}

bool DataQuery::IsOpen() const
{
    return m_result != nullptr;
}

int DataQuery::Execute()
{
    if (m_result)
        Close();
    engine::Statement st(engine::Translate(m_sql));
    // Counted over the statement itself: a table change reports no rows, not the last count.
    const qint64 before = engine::TotalChanges();
    while (st.step()) {
    }
    return int(engine::TotalChanges() - before);
}

static void needOpen(const std::unique_ptr<ResultSet>& rs)
{
    if (!rs)
        throw StoreError(QStringLiteral("数据集没有打开"));
}

int DataQuery::RowCount() const
{
    return m_result ? m_result->rowCount() : 0;
}

int DataQuery::CurrentRow() const
{
    return m_current;
}

void DataQuery::MoveToRow(int n)
{
    needOpen(m_result);
    if (n < 1 || n > RowCount())
        throw StoreError(QStringLiteral("记录号%1超出范围（共%2条记录）").arg(n).arg(RowCount()));
    m_result->editing = false;
    m_eof = false;
    if (m_current != n) {
        m_current = n;
        emit currentRowChanged(n);
    }
}

void DataQuery::MoveFirst()
{
    needOpen(m_result);
    if (RowCount() == 0) {
        m_eof = true;
        return;
    }
    MoveToRow(1);
}

void DataQuery::MoveNext()
{
    needOpen(m_result);
    m_result->editing = false;
    if (m_current < RowCount()) {
        ++m_current;
        emit currentRowChanged(m_current);
    } else {
        m_eof = true;
    }
}

bool DataQuery::Eof() const
{
    return m_eof || RowCount() == 0;
}

bool DataQuery::FindRow(const QString& column, const QVariant& value)
{
    needOpen(m_result);
    const int c = FieldIndex(column);
    if (c < 0)
        throw StoreError(QStringLiteral("数据集中没有字段“%1”").arg(column));
    const Kind kind = m_result->cols[size_t(c)].kind;
    const bool numeric = kind == Kind::Integer || kind == Kind::Number;
    double want = 0;
    const bool wantNumber = numeric && parseNumber(textOf(value, Kind::Text), want);
    const QString wantText = textOf(value, Kind::Text);
    const QByteArray wantUtf8 = wantText.toUtf8();
    const CellTable& cells = m_result->cells;
    for (int r = 1; r <= RowCount(); ++r) {
        const quint32 slot = m_result->slotOf(r);
        bool match;
        switch (cells.kind(slot, c)) {
        case CellTable::Null: continue;
        case CellTable::Integer:
            match =
                wantNumber ? double(cells.integer(slot, c)) == want : textOf(cells.value(slot, c), kind) == wantText;
            break;
        case CellTable::Real:
            match = wantNumber ? cells.real(slot, c) == want : textOf(cells.value(slot, c), kind) == wantText;
            break;
        default: match = cells.text(slot, c) == QByteArrayView(wantUtf8); break;
        }
        if (match) {
            MoveToRow(r);
            return true;
        }
    }
    return false;
}

DataField DataQuery::Field(const QString& name)
{
    needOpen(m_result);
    const int c = FieldIndex(name);
    if (c < 0)
        throw StoreError(QStringLiteral("数据集中没有字段“%1”").arg(name));
    return DataField(this, c);
}

DataField DataQuery::FieldAt(int position)
{
    needOpen(m_result);
    if (position < 0 || position >= FieldCount())
        throw StoreError(QStringLiteral("数据集中没有第%1个字段").arg(position + 1));
    return DataField(this, position);
}

int DataQuery::FieldCount() const
{
    return m_result ? int(m_result->cols.size()) : 0;
}

QStringList DataQuery::FieldNames() const
{
    QStringList names;
    if (m_result)
        for (const Column& c : m_result->cols)
            names << c.name;
    return names;
}

int DataQuery::FieldIndex(const QString& name) const
{
    if (!m_result)
        return -1;
    return m_result->byName.value(name, -1);
}

void DataQuery::EditRow()
{
    needOpen(m_result);
    if (m_current < 1)
        throw StoreError(QStringLiteral("数据集没有当前记录"));
    if (m_result->readOnly())
        throw StoreError(QStringLiteral("这个数据集来自多个表或没有主键，不能修改"));
    m_result->editing = true;
}

void DataQuery::AppendRow()
{
    needOpen(m_result);
    if (m_result->readOnly())
        throw StoreError(QStringLiteral("这个数据集来自多个表或没有主键，不能添加记录"));
    const quint32 slot = m_result->cells.addSlot();
    m_result->states.push_back(quint8(RowState::Inserted));
    m_result->order.push_back(slot);
    ++m_result->pendingRows;
    m_current = RowCount();
    m_eof = false;
    m_result->editing = true;
    emit rowAppended(m_current);
    emit currentRowChanged(m_current);
}

void DataQuery::PostRow()
{
    if (m_result)
        m_result->editing = false;
}

void DataQuery::DeleteRow()
{
    needOpen(m_result);
    if (m_current < 1)
        throw StoreError(QStringLiteral("数据集没有当前记录"));
    if (m_result->readOnly())
        throw StoreError(QStringLiteral("这个数据集来自多个表或没有主键，不能删除记录"));
    const int removed = m_current;
    ResultSet& rs = *m_result;
    const quint32 slot = rs.slotOf(removed);
    if (rs.stateOf(slot) != RowState::Inserted)
        rs.deleted.push_back(rs.originalOf(slot));
    if (rs.stateOf(slot) != RowState::Unchanged)
        --rs.pendingRows;
    rs.changes.erase(slot);
    rs.order.erase(rs.order.begin() + (removed - 1));
    m_result->editing = false;
    if (m_current > RowCount())
        m_current = RowCount();
    m_eof = RowCount() == 0;
    emit rowRemoved(removed);
    emit currentRowChanged(m_current);
}

bool DataQuery::HasPendingChanges() const
{
    if (!m_result)
        return false;
    return !m_result->deleted.empty() || m_result->pendingRows > 0;
}

bool DataQuery::IsReadOnly() const
{
    return !m_result || m_result->readOnly();
}

/// The pending state of a result as it was before an apply, to go back to should the
/// transaction around the apply roll back.
struct PendingSnapshot {
    std::vector<quint8> states;
    std::unordered_map<quint32, RowChange> changes;
    std::vector<std::vector<QVariant>> deleted;
    /// Inserted rows' values before the engine's were read back into them.
    std::vector<std::pair<quint32, std::vector<QVariant>>> inserted;
};

namespace {

/// A unique-key refusal names the value as well as the field.
StoreError withValue(const StoreError& e, const QStringList& names, const std::vector<QVariant>& values)
{
    if (e.kind() != StoreError::Kind::Constraint)
        return e;
    QString m = e.message();
    const QString marker = QStringLiteral("”的值已被另一条记录使用");
    const int at = m.indexOf(marker);
    const int open = at < 0 ? -1 : m.lastIndexOf(QStringLiteral("字段“"), at);
    if (open < 0)
        return e;
    const QString field = m.mid(open + 3, at - open - 3);
    for (int k = 0; k < names.size() && size_t(k) < values.size(); ++k)
        if (names[k] == field)
            m.replace(at, marker.size(),
                      QStringLiteral("”的值“%1”已被另一条记录使用").arg(textOf(values[size_t(k)], Kind::Text)));
    return StoreError(m, e.kind());
}

} // namespace

void DataQuery::ApplyUpdates()
{
    needOpen(m_result);
    PostRow();
    if (!HasPendingChanges())
        return;
    ResultSet& rs = *m_result;
    if (rs.readOnly())
        throw StoreError(QStringLiteral("这个数据集来自多个表或没有主键，不能保存修改"));

    const int n = int(rs.cols.size());
    const QString table = quoteId(rs.table);
    QStringList allCols;
    for (const Column& c : rs.cols)
        allCols << quoteId(c.origin);
    // A saved row is written only where it still holds every value it was read with
    // (NULL-safe): where it does not, someone else saved it first. Its key finds it by the index.
    QStringList matches;
    const QString isParameter = engine::NullSafeEqualsParameter();
    for (int c = 0; c < n; ++c)
        matches << allCols[c] + (c == rs.keyColumn ? engine::KeyEqualsParameter() : isParameter);
    const QString matchAll = matches.join(QStringLiteral(" AND "));
    auto conflict = [] {
        return StoreError(QStringLiteral("数据已被其他用户修改，本次修改没有保存。"), StoreError::Kind::Conflict);
    };

    // One prepared statement per shape for the whole batch: the kind of write, then which columns
    // it writes ('1') or leaves ('0'). Its text is made when the shape first comes.
    std::unordered_map<QByteArray, std::unique_ptr<engine::Statement>> prepared;
    auto statement = [&](const QByteArray& shape, const std::function<QString()>& text) -> engine::Statement& {
        auto& st = prepared[shape];
        if (!st)
            st = std::make_unique<engine::Statement>(text());
        return *st;
    };
    auto columnsOf = [&](const QByteArray& shape) {
        QStringList names;
        for (int c = 0; c < n; ++c)
            if (shape[c + 1] == '1')
                names << rs.cols[size_t(c)].origin;
        return names;
    };
    auto bindRow = [](engine::Statement& st, int first, const std::vector<QVariant>& values) {
        for (size_t k = 0; k < values.size(); ++k)
            st.bind(first + int(k), values[k]);
    };

    PendingSnapshot snapshot{rs.states, rs.changes, rs.deleted, {}};
    // Values read back after an insert, applied to the rows once everything is written.
    std::vector<std::pair<int, std::vector<QVariant>>> readBack;

    TransactionScope scope;
    if (!rs.deleted.empty()) {
        engine::Statement& del =
            statement(QByteArrayLiteral("D"), [&] { return QStringLiteral("DELETE FROM %1 WHERE %2").arg(table, matchAll); });
        for (const std::vector<QVariant>& row : rs.deleted) {
            bindRow(del, 1, row);
            del.step();
            del.reset();
            if (engine::Changes() == 0)
                throw conflict();
        }
    }
    const CellTable& cells = rs.cells;
    for (int r = 1; r <= rs.rowCount(); ++r) {
        const quint32 slot = rs.slotOf(r);
        const RowState state = rs.stateOf(slot);
        if (state == RowState::Inserted) {
            QByteArray shape(n + 1, '0');
            shape[0] = 'I';
            std::vector<QVariant> vals;
            for (int c = 0; c < n; ++c) {
                if (cells.isNull(slot, c))
                    continue; // left to the engine: keys and defaults
                shape[c + 1] = '1';
                vals.push_back(cells.value(slot, c));
            }
            engine::Statement& ins = statement(shape, [&] {
                QStringList quoted, marks;
                for (const QString& name : columnsOf(shape)) {
                    quoted << quoteId(name);
                    marks << QStringLiteral("?");
                }
                const QString returning = QStringLiteral(" RETURNING ") + allCols.join(QLatin1Char(','));
                return (quoted.isEmpty() ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table)
                                         : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                               .arg(table, quoted.join(QLatin1Char(',')), marks.join(QLatin1Char(',')))) +
                       returning;
            });
            bindRow(ins, 1, vals);
            std::vector<QVariant> got(static_cast<size_t>(n));
            try {
                if (ins.step())
                    for (int c = 0; c < n; ++c)
                        got[size_t(c)] = ins.value(c);
                while (ins.step()) {
                }
            } catch (const StoreError& e) {
                throw withValue(e, columnsOf(shape), vals);
            }
            ins.reset();
            std::vector<QVariant> before(static_cast<size_t>(n));
            for (int c = 0; c < n; ++c)
                before[size_t(c)] = cells.value(slot, c);
            snapshot.inserted.emplace_back(slot, std::move(before));
            readBack.emplace_back(r, std::move(got));
        } else if (state == RowState::Modified) {
            const auto change = rs.changes.find(slot);
            if (change == rs.changes.end())
                continue;
            QByteArray shape(n + 1, '0');
            shape[0] = 'U';
            std::vector<QVariant> vals;
            for (int c = 0; c < n; ++c) {
                if (!change->second.columns[size_t(c)])
                    continue;
                shape[c + 1] = '1';
                vals.push_back(cells.value(slot, c));
            }
            if (vals.empty())
                continue;
            engine::Statement& up = statement(shape, [&] {
                QStringList sets;
                for (const QString& name : columnsOf(shape))
                    sets << quoteId(name) + QStringLiteral("=?");
                return QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(table, sets.join(QLatin1Char(',')), matchAll);
            });
            bindRow(up, 1, vals);
            bindRow(up, int(vals.size()) + 1, change->second.original);
            try {
                up.step();
            } catch (const StoreError& e) {
                throw withValue(e, columnsOf(shape), vals);
            }
            up.reset();
            if (engine::Changes() == 0)
                throw conflict();
        }
    }
    scope.Commit();

    for (auto& [r, got] : readBack) {
        const quint32 slot = rs.slotOf(r);
        for (int c = 0; c < n; ++c)
            rs.cells.setValue(slot, c, got[size_t(c)]);
        emit rowChanged(r);
    }
    for (const quint32 slot : rs.order)
        rs.states[slot] = quint8(RowState::Unchanged);
    rs.changes.clear();
    rs.pendingRows = 0;
    rs.deleted.clear();

    // Inside a larger transaction the changes count as applied only once it commits: should it
    // roll back, they are pending again, exactly as before, and the next apply writes them all.
    if (TransactionScope::Active()) {
        auto saved = std::make_shared<PendingSnapshot>(std::move(snapshot));
        QPointer<DataQuery> self(this);
        const quint64 generation = m_generation;
        TransactionScope::OnRollback([self, generation, saved] {
            if (!self || self->m_generation != generation || !self->m_result)
                return;
            self->restorePending(*saved);
        });
    }
}

void DataQuery::restorePending(const PendingSnapshot& snapshot)
{
    ResultSet& rs = *m_result;
    for (size_t slot = 0; slot < snapshot.states.size() && slot < rs.states.size(); ++slot)
        rs.states[slot] = snapshot.states[slot];
    for (const auto& [slot, change] : snapshot.changes)
        rs.changes[slot] = change;
    rs.deleted.insert(rs.deleted.begin(), snapshot.deleted.begin(), snapshot.deleted.end());
    for (const auto& [slot, values] : snapshot.inserted)
        for (size_t c = 0; c < values.size(); ++c)
            rs.cells.setValue(slot, int(c), values[c]);
    rs.recountPending();
    for (int r = 1; r <= rs.rowCount(); ++r)
        if (rs.stateOf(rs.slotOf(r)) != RowState::Unchanged)
            emit rowChanged(r);
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
    const QVariant v = ValueAt(row, column);
    return textOf(v, m_result->cols[size_t(column)].kind);
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

bool DataQuery::IsKeyColumn(int column) const
{
    return m_result && !m_result->readOnly() && column == m_result->keyColumn;
}

RowState DataQuery::StateOf(int row) const
{
    needOpen(m_result);
    if (row < 1 || row > RowCount())
        return RowState::Unchanged;
    return m_result->stateOf(m_result->slotOf(row));
}

bool DataQuery::IsFieldVisible(int column) const
{
    return m_result && column >= 0 && column < FieldCount() && m_result->cols[size_t(column)].visible;
}

void DataQuery::SetFieldVisible(int column, bool visible)
{
    needOpen(m_result);
    if (column < 0 || column >= FieldCount())
        throw StoreError(QStringLiteral("数据集中没有第%1个字段").arg(column + 1));
    m_result->cols[size_t(column)].visible = visible;
    emit layoutChanged();
}

QList<int> DataQuery::DisplayColumns() const
{
    QList<int> out;
    if (m_result)
        for (int c : m_result->display)
            if (m_result->cols[size_t(c)].visible)
                out << c;
    return out;
}

void DataQuery::SetDisplayIndex(int column, int position)
{
    needOpen(m_result);
    auto& d = m_result->display;
    auto it = std::find(d.begin(), d.end(), column);
    if (it == d.end())
        throw StoreError(QStringLiteral("数据集中没有第%1个字段").arg(column + 1));
    d.erase(it);
    position = std::clamp(position, 0, int(d.size()));
    d.insert(d.begin() + position, column);
    emit layoutChanged();
}

int DataQuery::DisplayIndexOf(int column) const
{
    if (!m_result)
        return -1;
    auto it = std::find(m_result->display.begin(), m_result->display.end(), column);
    return it == m_result->display.end() ? -1 : int(it - m_result->display.begin());
}

} // namespace kvt
