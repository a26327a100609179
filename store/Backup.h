#pragma once
// Daily copies of the open database file: made by the file engine's online backup, read back and
// checked before they get their name, the oldest removed. Calls the engine only through Engine.

#include <QDate>
#include <QString>
#include <QStringList>

namespace kvt {

/// What one call of MakeDailyBackup did.
struct DailyBackup {
    enum class Outcome {
        Made,        ///< today's copy was written and checked
        AlreadyMade, ///< today's copy was there already; nothing was written
        Skipped,     ///< the open database is no local file (in memory, or a server)
        Failed,      ///< no copy for today; error says why
    };
    Outcome outcome = Outcome::Skipped;
    QString copy;        ///< path of today's copy (Made, AlreadyMade)
    QStringList removed; ///< older copies removed to keep the newest ones
    QString error;       ///< the message for the user (Failed)
};

/// File name of the copy of a day: kvt-yyyy-MM-dd.db.
QString BackupFileName(const QDate& day);

/// Copies the open database into folder as the copy of today (creating the folder), unless that
/// copy exists; reads the copy back and checks it with the engine's quick check; then removes the
/// oldest copies beyond keep. A failed or damaged copy is removed and old copies stay. Only files
/// named like BackupFileName are ever removed. Never throws.
DailyBackup MakeDailyBackup(const QString& folder, const QDate& today, int keep = 30);

} // namespace kvt
