#pragma once
// Moving a workshop's data into a new database from another (a file to a server, a server to a
// file) or from any other row source: the five tables with their keys, the counter row and where
// each table's numbering stands, written as they are read and checked table by table before the
// copy is committed. It reads through RowSource and writes through the open database's engine.

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
    /// The database written, as the user knows it (a file's path, or server, database and user).
    QString target;
    /// From an old program's file: the report of what it held and how each place was resolved.
    QStringList sourceReport;
    /// Where that report was kept beside a target file ("" when it was not).
    QString reportFile;
    /// The lines to show, one per table ("历史单据：10000 行，校验和一致"), then the numbering, the
    /// database written and the source's report.
    QStringList Lines() const;
};

/// Copies everything from source to target, each a database file's path or a server connection
/// (IsServerConnection). The source is only read (a missing file is refused, not made); the target
/// must hold no data yet (a missing file is made). Everything is written in one transaction on the
/// target, read back and compared with what was read from the source before it is committed.
/// Closes any open database; none is open afterwards. Throws StoreError with the user's message,
/// the target then unchanged (a file it had to make is removed again).
struct CopyOptions {
    /// Columns of a source table that the target's table lacks are added to it, each typed after
    /// its kind; otherwise the copy is refused.
    bool addMissingColumns = false;
    /// Told after each batch of rows written: the table, its rows written so far and its row count
    /// (-1 when the source cannot tell).
    std::function<void(const QString& table, qint64 rows, qint64 total)> progress;
};

/// A source file that is the old program's database (Jet or ACE, judged by its content) is read
/// with its traces resolved (LegacySource), its extra columns added to the target, and its report
/// returned in the copy's report and kept beside a target file (LegacyReportPath).
CopyReport CopyDatabase(const QString& source, const QString& target, const CopyOptions& options = {});

/// Copies the five tables from any row source into target, as CopyDatabase below does: written as
/// they are read, so memory does not grow with the tables. Throws StoreError as it does.
CopyReport CopyDatabase(RowSource& source, const QString& target, const CopyOptions& options = {});

/// A location for messages: the file's path, or the connection without its password.
QString DescribeLocation(const QString& location);

} // namespace kvt
