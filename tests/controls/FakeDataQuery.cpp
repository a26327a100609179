#include "FakeDataQuery.h"

#include <QHash>

namespace kvt {

struct ResultSet {
    QStringList names;
    QList<QVariantList> rows;
    QList<RowState> states;
    QList<bool> numeric;
    QList<bool> visible;
    QList<int> order; // result positions in display order
    int deleted = 0;
};

namespace {
struct Table {
    QStringList names;
    QList<QVariantList> rows;
};
QHash<QString, Table>& tables() {
    static QHash<QString, Table> t;
    return t;
}
} // namespace

void test::SetFakeResult(const QString& statement, const QStringList& names, const QList<QVariantList>& rows) {
    tables()[statement] = Table{names, rows};
}

DataQuery::DataQuery(QObject* parent) : QObject(parent) {}
DataQuery::~DataQuery() = default;

void DataQuery::SetSql(const QString& statement) {
    Close();
    m_sql = statement;
}
QString DataQuery::Sql() const {
    return m_sql;
}

void DataQuery::Open() {
    if (!tables().contains(m_sql))
        throw StoreError("no such statement: " + m_sql);
    const Table& t = tables()[m_sql];
    m_result = std::make_unique<ResultSet>();
    m_result->names = t.names;
    m_result->rows = t.rows;
    for (int i = 0; i < t.rows.size(); ++i)
        m_result->states << RowState::Unchanged;
    for (int c = 0; c < t.names.size(); ++c) {
        const QVariant first = t.rows.isEmpty() ? QVariant() : t.rows[0].value(c);
        m_result->numeric << (first.typeId() == QMetaType::Int || first.typeId() == QMetaType::Double);
        m_result->visible << true;
        m_result->order << c;
    }
    m_current = t.rows.isEmpty() ? 0 : 1;
    m_eof = t.rows.isEmpty();
    emit resultReset();
    emit currentRowChanged(m_current);
}

void DataQuery::Close() {
    if (!m_result)
        return;
    m_result.reset();
    m_current = 0;
    m_eof = true;
    emit resultReset();
}

bool DataQuery::IsOpen() const {
    return m_result != nullptr;
}
int DataQuery::RowCount() const {
    return m_result ? int(m_result->rows.size()) : 0;
}
int DataQuery::CurrentRow() const {
    return m_current;
}

void DataQuery::MoveToRow(int n) {
    if (n < 1 || n > RowCount())
        throw StoreError("row out of range");
    if (n != m_current) {
        m_current = n;
        emit currentRowChanged(n);
    }
}

bool DataQuery::IsReadOnly() const {
    return false;
}
QStringList DataQuery::FieldNames() const {
    return m_result ? m_result->names : QStringList();
}

void DataQuery::AppendRow() {
    if (!m_result)
        throw StoreError("closed");
    m_result->rows << QVariantList(m_result->names.size());
    m_result->states << RowState::Inserted;
    emit rowAppended(RowCount());
    m_current = RowCount();
    emit currentRowChanged(m_current);
}

void DataQuery::PostRow() {}

void DataQuery::DeleteRow() {
    if (!m_result || m_current < 1)
        throw StoreError("no current row");
    const int row = m_current;
    if (m_result->states[row - 1] != RowState::Inserted)
        ++m_result->deleted;
    m_result->rows.removeAt(row - 1);
    m_result->states.removeAt(row - 1);
    emit rowRemoved(row);
    m_current = qMin(row, RowCount());
    emit currentRowChanged(m_current);
}

bool DataQuery::HasPendingChanges() const {
    if (!m_result)
        return false;
    if (m_result->deleted)
        return true;
    for (RowState s : m_result->states)
        if (s != RowState::Unchanged)
            return true;
    return false;
}

QVariant DataQuery::ValueAt(int row, int column) const {
    return m_result->rows.at(row - 1).value(column);
}
QString DataQuery::TextAt(int row, int column) const {
    return ValueAt(row, column).toString();
}

void DataQuery::SetTextAt(int row, int column, const QString& text) {
    if (m_result->numeric.value(column)) {
        bool ok = false;
        text.toDouble(&ok);
        if (!ok)
            throw StoreError(
                QStringLiteral("'%1' is not a valid value for field '%2'").arg(text, m_result->names[column]));
    }
    m_result->rows[row - 1][column] = text;
    if (m_result->states[row - 1] == RowState::Unchanged)
        m_result->states[row - 1] = RowState::Modified;
    emit rowChanged(row);
}

bool DataQuery::IsNumericColumn(int column) const {
    return m_result && m_result->numeric.value(column);
}
RowState DataQuery::StateOf(int row) const {
    return m_result->states.at(row - 1);
}

bool DataQuery::IsFieldVisible(int column) const {
    return m_result && m_result->visible.value(column);
}
void DataQuery::SetFieldVisible(int column, bool visible) {
    m_result->visible[column] = visible;
    emit layoutChanged();
}
QList<int> DataQuery::DisplayColumns() const {
    QList<int> shown;
    if (m_result)
        for (int c : m_result->order)
            if (m_result->visible[c])
                shown << c;
    return shown;
}
void DataQuery::SetDisplayIndex(int column, int position) {
    m_result->order.removeAll(column);
    m_result->order.insert(position, column);
    emit layoutChanged();
}

} // namespace kvt
