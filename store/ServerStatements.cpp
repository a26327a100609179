// Statements on the server: `?` numbered as the server wants, prepared once per text and run at
// the first step (with the transaction control that waits, in one round trip), their rows read
// into the cells or streamed through a cursor.
#include "store/ServerConnection.h"

#include "store/CellTable.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>

namespace kvt::engine::pg {
namespace {

/// True for a statement that only reads (outside a transaction its failure changed nothing).
bool readsOnly(const QByteArray& sql)
{
    const QByteArray head = sql.trimmed().left(8).toLower();
    return head.startsWith("select") || head.startsWith("with") || head.startsWith("values") ||
           head.startsWith("show") || head.startsWith("explain");
}

/// True for a statement that gives rows and only reads: it can run before its columns are known.
bool plainSelect(const QByteArray& sql)
{
    const QByteArray head = sql.trimmed().left(7).toLower();
    return head.startsWith("select") || head.startsWith("values") || head.startsWith("show") ||
           head.startsWith("table");
}

/// `?` outside literals, quoted names and comments becomes $1, $2, ...
QByteArray numberParameters(const QByteArray& sql, int* count)
{
    QByteArray out;
    out.reserve(sql.size() + 64);
    int n = 0;
    const char* const text = sql.constData();
    const qsizetype size = sql.size();
    qsizetype copied = 0; // text before this is in out
    for (qsizetype i = 0; i < size; ++i) {
        const char c = text[i];
        if (c == '\'' || c == '"') {
            const qsizetype end = sql.indexOf(c, i + 1);
            i = end < 0 ? size - 1 : end;
        } else if (c == '-' && i + 1 < size && text[i + 1] == '-') {
            const qsizetype end = sql.indexOf('\n', i);
            i = end < 0 ? size - 1 : end;
        } else if (c == '?') {
            out.append(text + copied, i - copied);
            out += '$' + QByteArray::number(++n);
            copied = i + 1;
        }
    }
    out.append(text + copied, size - copied);
    *count = n;
    return out;
}

QString pgTypeName(Oid type)
{
    switch (type) {
    case kBool:
    case kInt2:
    case kInt4: return QStringLiteral("integer");
    case kInt8: return QStringLiteral("bigint");
    case kOid: return QStringLiteral("integer");
    case kFloat4: return QStringLiteral("real");
    case kFloat8: return QStringLiteral("double precision");
    case kNumeric: return QStringLiteral("numeric");
    case kDate: return QStringLiteral("date");
    default: return QStringLiteral("text");
    }
}


QVariant serverValue(const PGresult* res, int row, int c)
{
    if (PQgetisnull(res, row, c))
        return QVariant();
    const char* v = PQgetvalue(res, row, c);
    switch (PQftype(res, c)) {
    case kBool: return QVariant(qint64(v[0] == 't' ? 1 : 0));
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid: return QVariant(qint64(std::strtoll(v, nullptr, 10)));
    case kFloat4:
    case kFloat8:
    case kNumeric: return QVariant(std::strtod(v, nullptr));
    default: return QVariant(QString::fromUtf8(v, PQgetlength(res, row, c)));
    }
}

} // namespace

QString ServerStatement::columnDeclType(int c)
{
    return pgTypeName(PQftype(e.ranResult(*this), c));
}

QVariant ServerStatement::value(int c) const
{
    if (!res || row < 0 || row >= PQntuples(res))
        return QVariant();
    return serverValue(res, row, c);
}


std::unique_ptr<EngineStatement> ServerEngine::prepare(const QString& sql)
{
    auto st = std::make_unique<ServerStatement>(*this);
    const QByteArray utf8 = sql.toUtf8();
    st->sql = numberParameters(utf8, &st->parameters);
    st->values.resize(size_t(st->parameters));
    st->nulls.assign(size_t(st->parameters), 1);
    st->reads = readsOnly(utf8);
    if (st->sql.trimmed().isEmpty())
        throw StoreError(QStringLiteral("SQL语句为空"));
    return st;
}

void ServerStatement::bind(int index, const QVariant& value)
{
    ServerStatement& st = *this;
    if (index < 1 || index > st.parameters)
        throw StoreError(QStringLiteral("SQL语句没有第%1个参数").arg(index));
    const size_t k = size_t(index - 1);
    if (!value.isValid() || value.isNull()) {
        st.nulls[k] = 1;
        return;
    }
    st.nulls[k] = 0;
    switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Bool: st.values[k] = QByteArray::number(value.toLongLong()); break;
    case QMetaType::Double: {
        // The shortest text that reads back as the same double: the server stores it exactly.
        char buf[32];
        const auto r = std::to_chars(buf, buf + sizeof buf, value.toDouble());
        st.values[k] = QByteArray(buf, int(r.ptr - buf));
        break;
    }
    default: st.values[k] = value.toString().toUtf8();
    }
}

/// Sends the waiting transaction control, then a PREPARE the statement needs (prepareAs) and the
/// statement, in one round trip (libpq's pipeline), and gives what the statement should give: its
/// result, or the failure of an earlier part (the server skips the rest), or nullptr when the
/// connection dropped before anything came back.
PGresult* ServerEngine::withControl(PGconn* conn, const ServerStatement& s, const char* prepareAs, const char* name,
                      const char* const* values)
{
    const std::vector<Control> controls = std::exchange(m_controls, {});
    if (!PQenterPipelineMode(conn))
        return nullptr;
    int sent = 0;
    bool ok = true;
    for (const Control& c : controls) {
        ok = ok && PQsendQueryParams(conn, c.sql().constData(), 0, nullptr, nullptr, nullptr, nullptr, 0);
        ++sent;
    }
    if (prepareAs) {
        ok = ok && PQsendPrepare(conn, prepareAs, s.sql.constData(), s.parameters, nullptr);
        ++sent;
    }
    ok = ok && (name ? PQsendQueryPrepared(conn, name, s.parameters, values, nullptr, nullptr, 0)
                     : PQsendQueryParams(conn, s.sql.constData(), 0, nullptr, nullptr, nullptr, nullptr, 0));
    ++sent;
    // Only a connection that has dropped refuses what is sent: then no result comes back.
    if (!PQpipelineSync(conn) || !ok) {
        PQexitPipelineMode(conn);
        return nullptr;
    }

    // Each part's result, then a null one; the sync point ends the round trip.
    std::vector<PGresult*> results(size_t(sent), nullptr);
    int part = 0;
    bool lastWasNull = false;
    for (;;) {
        PGresult* r = PQgetResult(conn);
        if (!r) {
            if (lastWasNull || PQstatus(conn) != CONNECTION_OK)
                break;
            lastWasNull = true;
            ++part;
            continue;
        }
        lastWasNull = false;
        if (PQresultStatus(r) == PGRES_PIPELINE_SYNC) {
            PQclear(r);
            break;
        }
        if (part < sent && !results[size_t(part)])
            results[size_t(part)] = r;
        else
            PQclear(r);
    }
    PQexitPipelineMode(conn);

    // The first part that failed or did not come back, else the statement's own result.
    PGresult* given = nullptr;
    bool found = false;
    for (size_t i = 0; i < results.size(); ++i) {
        const ExecStatusType status = results[i] ? PQresultStatus(results[i]) : PGRES_FATAL_ERROR;
        if (!found && (i + 1 == results.size() || (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK))) {
            given = std::exchange(results[i], nullptr);
            found = true;
        }
        PQclear(results[i]);
    }
    return given;
}

void ServerEngine::run(ServerStatement& s)
{
    PQclear(s.res);
    s.res = nullptr;
    const bool writing = !s.reads || m_depth > 0;
    // Control sent with the statement would take the place of a statement described unnamed: it runs
    // from its text instead.
    if (s.described && !m_controls.empty())
        s.described = false;
    std::vector<const char*> values(size_t(s.parameters), nullptr);
    for (size_t k = 0; k < values.size(); ++k)
        if (!s.nulls[k])
            values[k] = s.values[k].constData();
    const std::vector<Control> control = m_controls;
    const bool controlIsBegin = beginWaiting();
    for (int attempt = 0;; ++attempt) {
        PGconn* conn = connection(writing);
        // Which statement runs: the one described unnamed, one prepared by its text, or the text itself.
        QByteArray name;
        bool prepare = false;
        if (s.described) {
            s.described = false;
            name = "";
        } else if (s.parameters > 0) {
            const auto known = m_prepared.constFind(s.sql);
            if (known != m_prepared.cend()) {
                name = known.value();
            } else {
                if (m_prepared.size() >= kMostPrepared && PQtransactionStatus(conn) != PQTRANS_INERROR) {
                    PQclear(PQexec(conn, "DEALLOCATE ALL"));
                    m_prepared.clear();
                }
                name = "kvt" + QByteArray::number(++m_preparedNames);
                prepare = true;
            }
        }
        const char* runName = name.isNull() ? nullptr : name.constData();
        if (!m_controls.empty()) {
            s.res = withControl(conn, s, prepare ? runName : nullptr, runName, values.data());
        } else {
            if (prepare) {
                PGresult* prep = PQprepare(conn, runName, s.sql.constData(), s.parameters, nullptr);
                if (PQresultStatus(prep) != PGRES_COMMAND_OK) {
                    const StoreError err = failure(prep, writing);
                    PQclear(prep);
                    throw err;
                }
                PQclear(prep);
            }
            s.res = runName ? PQexecPrepared(conn, runName, s.parameters, values.data(), nullptr, nullptr, 0)
                            // One statement only: the server refuses a text holding several.
                            : PQexecParams(conn, s.sql.constData(), 0, nullptr, nullptr, nullptr, nullptr, 0);
        }
        const ExecStatusType status = PQresultStatus(s.res);
        if (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK) {
            if (prepare)
                m_prepared.insert(s.sql, name);
            break;
        }
        // Prepared afresh next time, should a table have changed meanwhile.
        if (s.parameters > 0)
            m_prepared.remove(s.sql);
        if (attempt == 0 && startsAgain(controlIsBegin)) {
            PQclear(s.res);
            s.res = nullptr;
            m_controls = control;
            continue;
        }
        const StoreError err = failure(s.res, writing);
        PQclear(s.res);
        s.res = nullptr;
        throw err;
    }
    countChanges(s.res);
    s.ran = true;
    s.row = -1;
}

PGresult* ServerEngine::ranResult(ServerStatement& st)
{
    if (!st.ran)
        run(st);
    return st.res;
}

int ServerEngine::columnCount(ServerStatement& st)
{
    if (st.ran || st.parameters > 0 || plainSelect(st.sql))
        return PQnfields(ranResult(st));
    if (st.described)
        return st.describedColumns;
    // A statement that may change something runs only once it is known to give rows: a delete
    // opened as a list is refused without having deleted anything.
    PGconn* conn = connection(!st.reads);
    if (!m_controls.empty())
        execRaw(QString(), !st.reads || m_depth > 0); // before the unnamed statement, not after it
    PGresult* prep = PQprepare(conn, "", st.sql.constData(), 0, nullptr);
    if (PQresultStatus(prep) != PGRES_COMMAND_OK) {
        const StoreError err = failure(prep, !st.reads || m_depth > 0);
        PQclear(prep);
        throw err;
    }
    PQclear(prep);
    PGresult* desc = PQdescribePrepared(conn, "");
    const bool ok = PQresultStatus(desc) == PGRES_COMMAND_OK;
    st.describedColumns = ok ? PQnfields(desc) : 0;
    const StoreError err = ok ? StoreError(QString()) : failure(desc, false);
    PQclear(desc);
    if (!ok)
        throw err;
    st.described = true;
    return st.describedColumns;
}

void ServerStatement::readAll(CellTable& cells, std::vector<quint8>& samples)
{
    const PGresult* r = e.ranResult(*this);
    const int n = PQnfields(r);
    const int rows = PQntuples(r);
    samples.assign(size_t(n), CellTable::Null);
    std::vector<Oid> types(static_cast<size_t>(n));
    for (int c = 0; c < n; ++c)
        types[size_t(c)] = PQftype(r, c);
    for (int i = row + 1; i < rows; ++i) {
        const quint32 slot = cells.addSlotUninitialised();
        for (int c = 0; c < n; ++c) {
            if (PQgetisnull(r, i, c)) {
                cells.setNull(slot, c);
                continue;
            }
            const char* v = PQgetvalue(r, i, c);
            const int length = PQgetlength(r, i, c);
            switch (types[size_t(c)]) {
            case kInt2:
            case kInt4:
            case kInt8:
            case kOid: {
                qint64 whole = 0;
                std::from_chars(v, v + length, whole);
                cells.setInteger(slot, c, whole);
                break;
            }
            case kBool: cells.setInteger(slot, c, v[0] == 't' ? 1 : 0); break;
            case kFloat4:
            case kFloat8:
            case kNumeric: cells.setReal(slot, c, std::strtod(v, nullptr)); break;
            default: cells.setText(slot, c, v, size_t(length));
            }
        }
    }
    row = rows;
    cells.trim();
}

// Inside a transaction the rows come through a cursor, a batch at a time: the client library would
// otherwise hold the whole result. Outside one there is no cursor, and the result is read whole.
void ServerEngine::readRows(const QString& engineSql, const std::function<bool(const std::vector<QVariant>&)>& row)
{
    if (m_depth == 0)
        return Engine::readRows(engineSql, row);
    const QString cursor = QStringLiteral("kvt_rows%1").arg(++m_cursors);
    execRaw(QStringLiteral("DECLARE %1 NO SCROLL CURSOR FOR %2").arg(cursor, engineSql), false);
    Statement fetch(*this, QStringLiteral("FETCH FORWARD 2000 FROM %1").arg(cursor));
    std::vector<QVariant> values;
    bool more = true;
    while (more) {
        int got = 0;
        while (more && fetch.step()) {
            ++got;
            values.resize(size_t(fetch.columnCount()));
            for (size_t c = 0; c < values.size(); ++c)
                values[c] = fetch.value(int(c));
            more = row(values);
        }
        fetch.reset();
        if (got == 0)
            break;
    }
    execRaw(QStringLiteral("CLOSE %1").arg(cursor), false);
}

} // namespace kvt::engine::pg
