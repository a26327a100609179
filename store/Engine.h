#pragma once
// The seam between the store and the engines. An Engine is one open connection (a SQLite file or a
// PostgreSQL server) with what belongs to it: its schema, its dialect, its statements, its rows and
// its error texts. The file engine (FileEngine.cpp) and the server engine (ServerEngine.cpp with
// ServerStatements.cpp) are the only files that include an engine's own headers; everything above
// this one speaks the program's dialect, QVariant values and the cell table.
//
// The process has one open database (the facade, Database, owns its engine); the free functions
// below act on that one. Other code that needs a database of its own (the copy's source) holds an
// Engine of its own, opened by OpenEngine.

#include <QString>
#include <QStringList>
#include <QVariant>

#include "store/StoreError.h"

#include <functional>
#include <memory>
#include <vector>

namespace kvt {
class CellTable;
enum class ColumnKind;
} // namespace kvt

namespace kvt::engine {

struct ColumnInfo {
    QString name;
    QString declType;
    bool primaryKey = false;
};

/// Where the numbering of a table's key column stands: the last key handed out.
struct NumberingMark {
    QString table;
    QString key;
    qint64 position = 0;
};

/// One prepared statement of an engine; parameters are `?` on both engines.
class EngineStatement {
public:
    virtual ~EngineStatement() = default;
    virtual void bind(int index, const QVariant& value) = 0; // 1-based
    /// Steps once; true when a row is there.
    virtual bool step() = 0;
    virtual void reset() = 0;
    virtual int columnCount() = 0;
    virtual QString columnName(int c) = 0;
    virtual QString columnTable(int c) = 0;
    virtual QString columnOrigin(int c) = 0;
    virtual QString columnDeclType(int c) = 0;
    /// The current row's value: invalid for NULL, qint64, double or QString.
    virtual QVariant value(int c) const = 0;
    /// Reads every row left into the cells, each in a new slot. samples[c] is the cell kind of
    /// column c's first non-NULL value (CellTable::Null when it has none, Text for any text).
    virtual void readAll(CellTable& cells, std::vector<quint8>& samples) = 0;
};

class Engine {
public:
    virtual ~Engine() = default;

    /// True for the server engine.
    virtual bool isServer() const = 0;
    /// Which database this is, for the user: the file's path, or server, database and user.
    virtual QString describe() const = 0;
    /// A statement of the program's dialect in this engine's.
    virtual QString translate(const QString& statement) const = 0;
    /// "a IS b" that holds for two NULLs as well, the right side a parameter.
    virtual QString nullSafeEqualsParameter() const = 0;
    /// The same for a table's primary key, so that the row is reached by the key's index.
    virtual QString keyEqualsParameter() const = 0;
    /// The column type this engine's tables give a column of that kind ("REAL", "double precision").
    virtual QString typeOf(ColumnKind kind) const = 0;
    /// A text column's name as an ORDER BY term that sorts its texts in byte order, as a file does.
    virtual QString orderedAsBytes(const QString& quotedColumn) const { return quotedColumn; }

    /// Prepares engine-dialect text; throws StoreError when the engine refuses it.
    virtual std::unique_ptr<EngineStatement> prepare(const QString& engineSql) = 0;
    /// Runs engine-dialect text (one or more statements, no rows wanted); a failure is reported as
    /// one of a change that was not saved unless writing is false.
    virtual void execRaw(const QString& engineSql, bool writing) = 0;
    /// Calls row for each row of the statement's result, its values in column order, until it
    /// returns false. However large the result, only a few rows are held at a time.
    virtual void readRows(const QString& engineSql, const std::function<bool(const std::vector<QVariant>&)>& row);
    /// Rows changed by the last statement, and by every statement since the connection opened.
    virtual int changes() = 0;
    virtual qint64 totalChanges() = 0;
    /// Columns of a table in their order (none when there is no such table).
    virtual std::vector<ColumnInfo> tableColumns(const QString& table) = 0;
    /// The tables (not views) of the database.
    virtual QStringList tableNames() = 0;
    /// The last key the table's numbering handed out (0 when none ever was), and setting it.
    virtual qint64 numberingPosition(const QString& table, const QString& key) = 0;
    virtual void setNumberingPosition(const QString& table, const QString& key, qint64 position) = 0;
    /// True when the table's key is numbered by the engine.
    virtual bool numbered(const QString& table, const QString& key) = 0;
    /// Where the numbering of each table (table and key given) stands, for putNumberingBack should the
    /// transaction that follows roll back; none where the numbering rolls back with the transaction
    /// (a file's). A server's sequences stand whatever the transaction does.
    virtual std::vector<NumberingMark> numberingBeyondRollback(const std::vector<NumberingMark>& tables)
    {
        Q_UNUSED(tables);
        return {};
    }
    /// Puts each numbering back where marks say; a connection already gone leaves it where it is.
    void putNumberingBack(const std::vector<NumberingMark>& marks);

    /// Before one transaction that writes many rows, each statement many rows: what the engine needs
    /// to write them well (a file keeps each statement's undo in memory, not in a temporary file).
    virtual void prepareBulkWrite() {}
    /// Makes the database usable where it is carried to, read-only media included: a file takes the
    /// rollback journal (a write-ahead log named in its header keeps readers out there); throws
    /// StoreError when it cannot. Before any transaction.
    virtual void keepPortable() {}
    /// Keeps every other connection from writing the tables until the open transaction ends (a
    /// file's write transaction already does).
    virtual void lockForWriting(const QStringList& tables) { Q_UNUSED(tables); }
    /// How long a statement waits for another connection's lock before it gives up.
    virtual void setBusyTimeout(int milliseconds) = 0;
    /// True when a file was opened on a disk too full to write beside it: it is only read, and every
    /// change is refused as a full disk.
    virtual bool viewOnlyForFullDisk() const { return false; }

    // Transaction scopes: depth 0 the transaction, savepoints above it.
    virtual void openScope(int depth) = 0;
    /// At depth 0 commits; a transaction the engine had already ended is reported, not taken for saved.
    virtual void commitScope(int depth) = 0;
    virtual void rollBackScope(int depth) = 0;
    /// Starts a read-only transaction that sees one state of every table until it ends.
    virtual void beginSnapshot() = 0;
    /// Depth of the open transaction scopes (0 outside any).
    int transactionDepth() const { return m_depth; }
    void setTransactionDepth(int depth) { m_depth = depth; }

    /// Ends the connection (a file's write-ahead log moved into the file first).
    virtual void close() = 0;

    /// The database file's path ("" on a server).
    virtual QString filePath() const = 0;
    /// Writes the whole database into a new file at path in one step; gives the engine's message
    /// on failure ("" when done). Only a file engine can.
    virtual QString backupInto(const QString& path) = 0;

protected:
    int m_depth = 0;
};

/// Opens a database of its own for reading: a file (never made, never set up, opened read-only) or
/// a server's database (connected to without setting anything up). Throws StoreError saying why not.
std::unique_ptr<Engine> OpenForReading(const QString& location);

/// The open database's engine; throws StoreError when none is open.
Engine& Current();
/// True when the open database is a PostgreSQL server rather than a file.
bool IsServer();
/// A statement of the program's dialect in the open engine's dialect.
QString Translate(const QString& statement);
/// Depth of the open transaction scopes (0 outside any).
int TransactionDepth();
/// See Engine::nullSafeEqualsParameter and Engine::keyEqualsParameter.
QString NullSafeEqualsParameter();
QString KeyEqualsParameter();

/// A prepared statement in an engine's dialect, on the open database or on a given engine.
class Statement {
public:
    explicit Statement(const QString& engineSql);
    Statement(Engine& engine, const QString& engineSql);
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void bind(int index, const QVariant& value) { m_st->bind(index, value); } // 1-based
    /// Steps once; true when a row is there.
    bool step() { return m_st->step(); }
    void reset() { m_st->reset(); }
    int columnCount() const { return m_st->columnCount(); }
    QString columnName(int c) const { return m_st->columnName(c); }
    QString columnTable(int c) const { return m_st->columnTable(c); }
    QString columnOrigin(int c) const { return m_st->columnOrigin(c); }
    QString columnDeclType(int c) const { return m_st->columnDeclType(c); }
    QVariant value(int c) const { return m_st->value(c); }
    /// See EngineStatement::readAll.
    void readAll(CellTable& cells, std::vector<quint8>& samples) { m_st->readAll(cells, samples); }

private:
    std::unique_ptr<EngineStatement> m_st;
};

/// Runs engine-dialect text on the open database; see Engine::execRaw.
void ExecRaw(const QString& engineSql, bool writing = true);
/// Rows changed by the last statement.
int Changes();
/// Rows changed by every statement since the connection opened.
qint64 TotalChanges();
/// Columns of a table in their order.
std::vector<ColumnInfo> TableColumns(const QString& table);

} // namespace kvt::engine
