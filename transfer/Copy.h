#pragma once
// Moving a workshop's data into a new database from another (a file to a server, a server to a
// file) or from any other row source: the five tables with their keys, the counter row and where
// each table's numbering stands, written as they are read and checked table by table before the
// copy is committed. It reads through RowSource and writes through the open database's engine.
//
// transfer/ is the room for bringing data across: the row sources, the old program's import and
// its report, and this copy. Its files may call the store (the facade, the engine interface, the
// dialect's quoting, the store's error), libmdb (JetSource only) and Qt Core; the store knows
// nothing of them. kvtcopy and the first start beside an old kvt.mdb are what call it.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace kvt {

class RowSource;

/// One table as copied.
struct CopiedTable {
    QString name;
    qint64 rows = 0;
    /// The sum of a 256-bit hash of each of the table's rows (hex), whatever order they were read
    /// in: the same on both databases.
    QByteArray checksum;
};

/// Where a table's numbering stands: the last key handed out, 0 when none ever was.
struct NumberingPosition {
    QString table;
    qint64 position = 0;
};

struct CopyReport {
    std::vector<CopiedTable> tables;
    std::vector<NumberingPosition> positions;
    /// Columns of the source's tables that a fresh database lacks, added to the target before the
    /// copy, each with its kind: "商品信息.颜色（文本）".
    QStringList addedColumns;
    /// The database written, as the user knows it (a file's path, or server, database and user).
    QString target;
    /// From an old program's file: the report of what it held and how each place was resolved.
    QStringList sourceReport;
    /// Where that report was kept beside a target file ("" when it was not).
    QString reportFile;
    /// The lines to show, one per table ("历史单据：10000 行，校验和一致"), then the columns added,
    /// the numbering, the database written and the source's report.
    QStringList Lines() const;
};

/// Copies everything from source to target, each a database file's path or a server connection
/// (IsServerConnection). The source is only read (a missing file is refused, not made); the target
/// must hold no data yet (a missing file is made). Columns a workshop added to its tables come
/// along, whatever the source: added to the target's tables, typed after their kind, and copied and
/// checked as the rest. Everything is written in one transaction on the target, read back and
/// compared with what was read from the source before it is committed.
/// Closes any open database; none is open afterwards. Throws StoreError with the user's message,
/// the target then unchanged (a file it had to make is removed again).
struct CopyOptions {
    /// Told after each batch of rows written: the table, its rows written so far and its row count
    /// (-1 when the source cannot tell).
    std::function<void(const QString& table, qint64 rows, qint64 total)> progress;
};

/// A source file that is the old program's database (Jet or ACE, judged by its content) is read
/// with its traces resolved (LegacySource), and its report returned in the copy's report and kept beside a target file
/// (LegacyReportPath).
CopyReport CopyDatabase(const QString& source, const QString& target, const CopyOptions& options = {});

/// Copies the five tables from any row source into target, as CopyDatabase below does: written as
/// they are read, so memory does not grow with the tables. Throws StoreError as it does.
CopyReport CopyDatabase(RowSource& source, const QString& target, const CopyOptions& options = {});

} // namespace kvt
