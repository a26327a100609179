// The query object's result and cursor: running the statement with the engine reading its rows
// straight into the cells, the current row and moving it, finding rows and fields, rows edited,
// appended and removed (pending until the write-back), and the columns' display. The values'
// conversions and the write-back live beside it (FieldValues.cpp, ApplyUpdates.cpp).
#include "store/ResultSet.h"

#include "store/Database.h"
#include "store/Engine.h"

#include <algorithm>
#include <numeric>

namespace kvt {

using namespace result;

// ---------------------------------------------------------------- DataQuery

DataQuery::DataQuery(QObject* parent) : QObject(parent) {}

DataQuery::~DataQuery() = default;

void DataQuery::SetSql(const QString& statement)
{
    if (m_result)
        Close();
    m_sql = statement;
    m_parameters.clear();
}

void DataQuery::SetParameters(const QVariantList& values)
{
    m_parameters = values;
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
    for (int i = 0; i < m_parameters.size(); ++i)
        st.bind(i + 1, m_parameters[i]);
    const int n = st.columnCount();
    if (n == 0)
        throw StoreError(QStringLiteral("SQL语句没有返回记录：%1").arg(m_sql));

    auto rs = std::make_unique<ResultSet>(n);
    rs->cols.resize(size_t(n));
    for (int c = 0; c < n; ++c) {
        Column& col = rs->cols[size_t(c)];
        col.name = st.columnName(c);
        col.table = st.columnTable(c);
    }
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
    // A name that two tables give is read with its table's name in front. Results have a few dozen
    // columns: comparing each with those after it is quicker than hashing them. The columns' names
    // in their tables are wanted for those, and for the write-back of a changeable result.
    std::vector<bool> twice(size_t(n), false);
    for (int c = 0; c < n; ++c)
        for (int d = c + 1; d < n; ++d)
            if (rs->cols[size_t(c)].name == rs->cols[size_t(d)].name)
                twice[size_t(c)] = twice[size_t(d)] = true;
    for (int c = 0; c < n; ++c) {
        Column& col = rs->cols[size_t(c)];
        if (oneTable || twice[size_t(c)])
            col.origin = st.columnOrigin(c);
        if (twice[size_t(c)] && !col.table.isEmpty())
            col.name = col.table + QLatin1Char('.') + col.origin;
    }

    // Values go straight from the engine into the compact cells, in one call.
    CellTable& cells = rs->cells;
    std::vector<quint8> samples;
    st.readAll(cells, samples);
    for (int c = 0; c < n; ++c)
        rs->cols[size_t(c)].kind = kindOf(st.columnDeclType(c), samples[size_t(c)]);
    rs->order.resize(cells.slotCount());
    std::iota(rs->order.begin(), rs->order.end(), quint32(0));
    rs->states.assign(cells.slotCount(), quint8(RowState::Unchanged));

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
