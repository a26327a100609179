// The write-back of a query's pending rows: every insert, change and delete in one transaction,
// each changed or deleted row found by its key and checked against what was read, keys the engine
// gave read back; and the undo that puts the pending rows back should a transaction around the
// apply roll back. Speaks the program's dialect through the open engine's statements.
#include "store/ResultSet.h"
#include "store/SqlDialect.h"

#include "store/Database.h"
#include "store/Engine.h"

#include <QPointer>

#include <functional>

namespace kvt {

using namespace result;

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
    const QString table = QuotedName(rs.table);
    QStringList allCols;
    for (const Column& c : rs.cols)
        allCols << QuotedName(c.origin);
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
                    quoted << QuotedName(name);
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
                    sets << QuotedName(name) + QStringLiteral("=?");
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
} // namespace kvt
