#pragma once
// The facade over the open database, the one all query objects of a thread share: opening a
// file or a server (the location says which) hands the connection to that engine; transaction
// scopes nest over it. Callers above the store see only this, the query object and the copy.

#include "store/Location.h"

#include <QString>

#include <functional>

namespace kvt {

class Database {
public:
    /// Opens the database file at path, creating it with the five tables and the counter row
    /// when it does not exist or is empty (all in one transaction). A file that exists but cannot
    /// be opened, cannot be written, or holds no database of ours, throws StoreError with the
    /// reason. Replaces any open database. Closing checkpoints the write-ahead log into the file.
    /// On a disk too full for the write-ahead log's index the file opens for reading only, held
    /// locked against other programs until closed; see ViewOnlyForFullDisk.
    /// A location for which IsServerConnection holds opens the server's database instead: the
    /// same five tables, set up in one transaction when it holds no tables; a database with
    /// other tables but not these, or one this user may not change, is refused.
    static void Open(const QString& path);
    /// Opens a database file only to read it: never written, made or set up, so a file of another
    /// user or on a read-only medium opens too (there as it lies, immutable; refused there when a
    /// write-ahead log beside it still holds changes). Refuses a file with tables that holds no
    /// database of ours. Replaces any open database.
    static void OpenForReading(const QString& path);
    /// Closes the open database (query objects must be closed first).
    static void Close();
    static bool IsOpen();
    /// The file's path, or the server connection as given.
    static QString Path();
    /// True when the open database is on a PostgreSQL server.
    static bool IsServer();
    /// True when the open file was opened on a full disk: it can be read, every change is refused
    /// as a full disk (StoreError::Kind::DiskFull), and the next open with room writes as always.
    static bool ViewOnlyForFullDisk();
    /// Which database is open, for the user: the file's path, or server, database and user.
    static QString Describe();
    /// How long a statement waits for another program's lock before it gives up (10 s unless set).
    static void SetBusyTimeout(int milliseconds);
    /// The open file's journal mode: "wal" on a local disk, "delete" on a network filesystem
    /// ("" on a server).
    static QString JournalMode();

    /// Runs a statement of the program's dialect that returns no rows; gives rows changed.
    static int Exec(const QString& statement);
};

/// Makes everything done while it lives one transaction. Scopes nest: an inner scope joins
/// the outer one (a savepoint), and only the outermost commit writes. Destroyed without
/// Commit(), it rolls back what was done inside it.
class TransactionScope {
public:
    TransactionScope();
    ~TransactionScope();
    TransactionScope(const TransactionScope&) = delete;
    TransactionScope& operator=(const TransactionScope&) = delete;
    void Commit();

    /// Registers what restores the query objects in memory should the innermost open scope
    /// roll back (or a scope around it); dropped once the outermost scope commits. Outside any
    /// scope it does nothing. Run newest first.
    static void OnRollback(std::function<void()> undo);
    /// True while a scope is open.
    static bool Active();

private:
    int m_depth;
    bool m_done = false;
};

/// A typed text as a text literal of the dialect: "text", with a double quote doubled.
/// Used for exact matches: "... where 自定义编号=" + SqlText(typed).
QString SqlText(const QString& text);
/// A typed text as a LIKE pattern that matches every value containing the text, whatever
/// it holds (% _ \ " '): "... where 客户名 like " + SqlContains(typed).
QString SqlContains(const QString& text);

} // namespace kvt
