#include "store/Backup.h"

#include "store/Engine.h"
#include "store/StoreError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sqlite3.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace kvt {
namespace {

QString engineMessage(sqlite3* db) {
    return QString::fromUtf8(db ? sqlite3_errmsg(db) : "out of memory");
}

/// Removes a copy in the making together with the engine's side files.
void removePartial(const QString& path) {
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
}

/// Writes the whole of src into a new file at path; gives the engine's message on failure.
QString copyInto(sqlite3* src, const QString& path) {
    sqlite3* dst = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &dst, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        const QString err = engineMessage(dst);
        sqlite3_close(dst);
        return err;
    }
    QString err;
    if (sqlite3_backup* b = sqlite3_backup_init(dst, "main", src, "main")) {
        // One step: the source stays read-locked for the copy, so no writer can make it start over.
        const int rc = sqlite3_backup_step(b, -1);
        sqlite3_backup_finish(b);
        if (rc != SQLITE_DONE)
            err = engineMessage(dst);
    } else {
        err = engineMessage(dst);
    }
    // The copy takes the source's journal mode; a copy stands alone, without side files.
    if (err.isEmpty() && sqlite3_exec(dst, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr) != SQLITE_OK)
        err = engineMessage(dst);
    if (sqlite3_close(dst) != SQLITE_OK && err.isEmpty())
        err = engineMessage(dst);
    return err;
}

/// Reads the copy back from the disk through a connection of its own; gives what is wrong with it.
/// The quick check reads every page and verifies the structure of every table and index; the full
/// integrity check, which also matches each index against its table, takes several seconds on a
/// million lines, too long for the clerk to wait at start-up.
QString checkCopy(const QString& path) {
    sqlite3* db = nullptr;
    QString err;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        err = engineMessage(db);
        sqlite3_close(db);
        return err;
    }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA quick_check(5)", -1, &st, nullptr) != SQLITE_OK) {
        err = engineMessage(db);
    } else {
        QStringList problems;
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW)
            problems << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        if (rc != SQLITE_DONE)
            err = engineMessage(db);
        else if (problems != QStringList{QStringLiteral("ok")})
            err = QStringLiteral("备份文件已损坏：") + problems.join(QStringLiteral("；"));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return err;
}

/// Removes the copies in dir beyond the keep newest ones (by the date in their names), never
/// keptPath; gives the paths removed.
QStringList removeOldCopies(const QDir& dir, int keep, const QString& keptPath) {
    static const QRegularExpression name(QStringLiteral("^kvt-(\\d{4})-(\\d{2})-(\\d{2})\\.db$"));
    std::vector<std::pair<QDate, QString>> copies;
    for (const QFileInfo& fi : dir.entryInfoList(QDir::Files, QDir::NoSort)) {
        const QRegularExpressionMatch m = name.match(fi.fileName());
        if (!m.hasMatch())
            continue;
        const QDate day(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
        if (day.isValid() && BackupFileName(day) == fi.fileName())
            copies.emplace_back(day, fi.filePath());
    }
    std::sort(copies.begin(), copies.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    QStringList removed;
    for (size_t i = size_t(std::max(keep, 1)); i < copies.size(); ++i) {
        if (copies[i].second != keptPath && QFile::remove(copies[i].second))
            removed << copies[i].second;
    }
    return removed;
}

} // namespace

QString BackupFileName(const QDate& day) {
    return QStringLiteral("kvt-") + day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".db");
}

DailyBackup MakeDailyBackup(const QString& folder, const QDate& today, int keep) {
    DailyBackup r;
    if (engine::IsServer()) {
        // A server's database is backed up on the server (pg_dump), not by each workstation.
        r.outcome = DailyBackup::Outcome::Skipped;
        return r;
    }
    sqlite3* src = nullptr;
    try {
        src = engine::Handle();
    } catch (const StoreError& e) {
        r.outcome = DailyBackup::Outcome::Failed;
        r.error = e.message();
        return r;
    }
    const char* file = sqlite3_db_filename(src, "main");
    if (!file || !*file) {
        r.outcome = DailyBackup::Outcome::Skipped;
        return r;
    }

    const QDir dir(folder);
    const QString target = dir.filePath(BackupFileName(today));
    const QFileInfo existing(target);
    auto fail = [&](const QString& why) {
        r.outcome = DailyBackup::Outcome::Failed;
        r.error = QStringLiteral("今天的数据库备份没有做成（%1）：%2").arg(QDir::toNativeSeparators(target), why);
        return r;
    };
    if (existing.exists() && !existing.isFile())
        return fail(QStringLiteral("同名的文件夹已存在"));
    if (existing.exists()) {
        r.outcome = DailyBackup::Outcome::AlreadyMade;
        r.copy = target;
        r.removed = removeOldCopies(dir, keep, target);
        return r;
    }
    if (!QDir().mkpath(folder))
        return fail(QStringLiteral("无法建立文件夹“%1”").arg(QDir::toNativeSeparators(folder)));

    // Written under a temporary name: a file named like a copy is always a whole, checked copy.
    const QString partial = target + QStringLiteral(".part");
    removePartial(partial);
    QString err = copyInto(src, partial);
    if (err.isEmpty())
        err = checkCopy(partial);
    if (err.isEmpty() && !QFile::rename(partial, target))
        err = QStringLiteral("无法把“%1”改名").arg(QDir::toNativeSeparators(partial));
    if (!err.isEmpty()) {
        removePartial(partial);
        return fail(err);
    }
    r.outcome = DailyBackup::Outcome::Made;
    r.copy = target;
    r.removed = removeOldCopies(dir, keep, target);
    return r;
}

} // namespace kvt
