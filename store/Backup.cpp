// See Backup.h. The engine makes the copy and checks it; this file names, places and prunes them.
#include "store/Backup.h"

#include "store/Engine.h"
#include "store/FileEngine.h"
#include "store/StoreError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <utility>
#include <vector>

namespace kvt {
namespace {

/// Removes a copy in the making together with the engine's side files.
void removePartial(const QString& path) {
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
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
    engine::Engine* src = nullptr;
    try {
        src = &engine::Current();
    } catch (const StoreError& e) {
        r.outcome = DailyBackup::Outcome::Failed;
        r.error = e.message();
        return r;
    }
    if (src->filePath().isEmpty()) {
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
    // Made by the engine's online backup, so that what is still in the write-ahead log is in it,
    // then read back from the disk through a connection of its own. The quick check reads every
    // page and verifies the structure of every table and index; the full integrity check, which
    // also matches each index against its table, takes several seconds on a million lines, too
    // long for the clerk to wait at start-up.
    QString err = src->backupInto(partial);
    if (err.isEmpty())
        err = engine::QuickCheckFile(partial);
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
