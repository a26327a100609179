// Daily copies of the database: one per day, the newest kept, real faults (a folder that cannot be
// made, a full disk, a damaged database) leaving no copy behind, and copies that open as they were.

#include "store/Backup.h"
#include "store/DataQuery.h"
#include "store/Database.h"
#include "store/Engine.h"
#include "support/TinyFilesystem.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <memory>

using namespace kvt;
using Outcome = DailyBackup::Outcome;

namespace {

const QDate kDay(2026, 3, 1);

/// Rows of a statement on a file of its own, read with a connection of the test's own, one text per row.
QStringList rows(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    QStringList out;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK) {
            while (sqlite3_step(st) == SQLITE_ROW) {
                QStringList cells;
                for (int c = 0; c < sqlite3_column_count(st); ++c)
                    cells << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, c)));
                out << cells.join(QLatin1Char('|'));
            }
        } else {
            out << QStringLiteral("error: ") + QString::fromUtf8(sqlite3_errmsg(db));
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return out;
}

const char* const kBills = "select 单据ID, 客户地址 from 历史单据 order by 单据ID";

void addBill(int id, const QString& address) {
    TransactionScope tx;
    Database::Exec(QStringLiteral("insert into 历史单据 values (%1,1,%2,#2026-02-27#,2,\"李师傅\")")
                       .arg(id)
                       .arg(SqlText(address)));
    Database::Exec(QStringLiteral("insert into 单据明细 (单据ID,商品ID,见光宽,门框备注) values (%1,1,850,%2)")
                       .arg(id)
                       .arg(SqlText(QString(1000, QChar(u'门')))));
    tx.Commit();
}

/// Bills first to last, in one transaction.
void addBills(int first, int last, const QString& address) {
    TransactionScope tx;
    for (int id = first; id <= last; ++id)
        addBill(id, address);
    tx.Commit();
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class TestBackup : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_tmp;

    QString dbPath() const { return m_tmp->filePath(QStringLiteral("kvt.db")); }
    QString backups() const { return m_tmp->filePath(QStringLiteral("backups")); }

private slots:
    void init() {
        m_tmp = std::make_unique<QTemporaryDir>();
        Database::Open(dbPath());
        addBill(1, QStringLiteral("北街"));
    }

    void cleanup() {
        Database::Close();
        m_tmp.reset();
    }

    void firstStartOfTheDayMakesOneCopy() {
        const DailyBackup r = MakeDailyBackup(backups(), kDay);
        QCOMPARE(r.outcome, Outcome::Made);
        QCOMPARE(r.copy, QDir(backups()).filePath(QStringLiteral("kvt-2026-03-01.db")));
        QVERIFY(r.error.isEmpty());
        QCOMPARE(entries(backups()), QStringList{QStringLiteral("kvt-2026-03-01.db")});
        QCOMPARE(rows(r.copy, kBills), QStringList{QStringLiteral("1|北街")});

        // The program itself takes the copy for its database, with the same bill and line.
        Database::Close();
        Database::Open(r.copy);
        DataQuery q;
        q.SetSql(QStringLiteral("select * from 单据明细 where 单据ID=1"));
        q.Open();
        QCOMPARE(q.RowCount(), 1);
        QCOMPARE(q.Field(QStringLiteral("见光宽")).asString(), QStringLiteral("850"));
        QCOMPARE(q.Field(QStringLiteral("门框备注")).asString().size(), 1000);
    }

    void laterStartsOfTheSameDayMakeNone() {
        const QString copy = MakeDailyBackup(backups(), kDay).copy;
        addBill(2, QStringLiteral("南街"));
        const DailyBackup again = MakeDailyBackup(backups(), kDay);
        QCOMPARE(again.outcome, Outcome::AlreadyMade);
        QCOMPARE(again.copy, copy);
        QCOMPARE(rows(copy, kBills), QStringList{QStringLiteral("1|北街")}); // the morning's state stays

        const DailyBackup next = MakeDailyBackup(backups(), kDay.addDays(1));
        QCOMPARE(next.outcome, Outcome::Made);
        QCOMPARE(rows(next.copy, kBills), (QStringList{QStringLiteral("1|北街"), QStringLiteral("2|南街")}));
        QCOMPARE(entries(backups()).size(), 2);
    }

    void newestCopiesAreKept_data() {
        QTest::addColumn<QDate>("first");
        QTest::addColumn<int>("step"); // days between two starts
        QTest::addColumn<int>("starts");
        QTest::addColumn<int>("keep");
        QTest::newRow("31st day removes the oldest") << QDate(2026, 1, 20) << 1 << 31 << 30;
        QTest::newRow("every third day over a year end") << QDate(2025, 11, 2) << 3 << 33 << 30;
        QTest::newRow("a few kept") << QDate(2024, 2, 27) << 1 << 6 << 2;
    }

    void newestCopiesAreKept() {
        QFETCH(QDate, first);
        QFETCH(int, step);
        QFETCH(int, starts);
        QFETCH(int, keep);
        // Files that only look like copies, and the user's own files, are never touched.
        const QStringList files{"kvt-2000-01-01.db.old", "kvt-2000-02-30.db", "kvt-2000-1-1.db", "kvt.db", "notes.txt"};
        QVERIFY(QDir().mkpath(backups()));
        for (const QString& name : files) {
            QFile f(QDir(backups()).filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("not ours");
        }
        QVERIFY(QDir(backups()).mkdir(QStringLiteral("kvt-1999-12-31.db"))); // a folder, not a copy
        const QStringList bystanders = files + QStringList{QStringLiteral("kvt-1999-12-31.db")};

        QStringList removed;
        for (int i = 0; i < starts; ++i) {
            const DailyBackup r = MakeDailyBackup(backups(), first.addDays(qint64(i) * step), keep);
            QCOMPARE(r.outcome, Outcome::Made);
            removed += r.removed;
        }
        QStringList expectedRemoved, expectedKept = bystanders;
        for (int i = 0; i < starts; ++i) {
            const QString name = BackupFileName(first.addDays(qint64(i) * step));
            if (i < starts - keep)
                expectedRemoved << QDir(backups()).filePath(name);
            else
                expectedKept << name;
        }
        expectedKept.sort();
        QCOMPARE(removed, expectedRemoved);
        QCOMPARE(entries(backups()), expectedKept);
    }

    void faultsLeaveNoCopy_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("reason"); // part of the message
        QTest::newRow("folder under a file") << "file"
                                             << "无法建立文件夹";
        QTest::newRow("full disk") << "full"
                                   << "full";
        QTest::newRow("damaged database") << "damaged"
                                          << "已损坏";
    }

    void faultsLeaveNoCopy() {
        QFETCH(QString, fault);
        QFETCH(QString, reason);
        // An earlier copy that a successful run with keep=1 would remove: a failed run keeps it.
        const QString oldName = BackupFileName(kDay.addDays(-1));
        QString folder = backups();
        std::unique_ptr<test::TinyFilesystem> disk;
        if (fault == QStringLiteral("file")) {
            QFile f(m_tmp->filePath(QStringLiteral("taken")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            folder = f.fileName() + QStringLiteral("/backups");
        } else if (fault == QStringLiteral("full")) {
            disk = std::make_unique<test::TinyFilesystem>("1m");
            if (!disk->mounted())
                QSKIP("no tmpfs of its own could be mounted (needs root)");
            folder = disk->path(QStringLiteral("backups"));
            QVERIFY(QDir().mkpath(folder));
            QFile f(QDir(folder).filePath(oldName));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("an earlier copy");
            f.close();
            addBills(2, 100, QStringLiteral("东街"));
            disk->fill();
        } else {
            QCOMPARE(MakeDailyBackup(backups(), kDay.addDays(-1)).outcome, Outcome::Made);
            addBills(2, 50, QStringLiteral("西街"));
            damageLinesTable();
        }

        const DailyBackup r = MakeDailyBackup(folder, kDay, 1);
        QCOMPARE(r.outcome, Outcome::Failed);
        QVERIFY2(r.error.contains(QStringLiteral("kvt-2026-03-01.db")) && r.error.contains(reason),
                 qPrintable(r.error));
        QVERIFY(r.copy.isEmpty());
        QVERIFY(r.removed.isEmpty());
        if (fault == QStringLiteral("file")) {
            QVERIFY(!QFileInfo::exists(folder));
        } else {
            QCOMPARE(entries(folder), QStringList{oldName});
            // The fault gone, the day's copy is made after all.
            if (disk) {
                disk->unfill();
                QCOMPARE(MakeDailyBackup(folder, kDay).outcome, Outcome::Made);
            }
        }
    }

    void withoutAnOpenDatabaseNothingIsWritten() {
        Database::Close();
        const DailyBackup none = MakeDailyBackup(backups(), kDay);
        QCOMPARE(none.outcome, Outcome::Failed);
        QVERIFY(!none.error.isEmpty());
        QVERIFY(!QFileInfo::exists(backups()));
    }

    void writeAheadLogIsInTheCopy() {
        engine::ExecRaw(QStringLiteral("PRAGMA journal_mode=WAL"));
        addBill(2, QStringLiteral("南街")); // lives in the log until a checkpoint
        QVERIFY(QFileInfo(dbPath() + QStringLiteral("-wal")).size() > 0);
        const DailyBackup r = MakeDailyBackup(backups(), kDay);
        QCOMPARE(r.outcome, Outcome::Made);
        QCOMPARE(entries(backups()), QStringList{QStringLiteral("kvt-2026-03-01.db")}); // no side files
        QCOMPARE(rows(r.copy, "PRAGMA journal_mode"), QStringList{QStringLiteral("delete")});
        QCOMPARE(rows(r.copy, kBills), (QStringList{QStringLiteral("1|北街"), QStringLiteral("2|南街")}));
    }

    void leftoverOfAnInterruptedCopyIsReplaced() {
        QVERIFY(QDir().mkpath(backups()));
        QFile part(QDir(backups()).filePath(QStringLiteral("kvt-2026-03-01.db.part")));
        QVERIFY(part.open(QIODevice::WriteOnly));
        part.write(QByteArray(5000, 'x'));
        part.close();
        const DailyBackup r = MakeDailyBackup(backups(), kDay);
        QCOMPARE(r.outcome, Outcome::Made);
        QCOMPARE(entries(backups()), QStringList{QStringLiteral("kvt-2026-03-01.db")});
        QCOMPARE(rows(r.copy, kBills), QStringList{QStringLiteral("1|北街")});
    }

private:
    /// Overwrites the root page of the lines table on the disk and opens the database again.
    void damageLinesTable() {
        const int page = rows(dbPath(), "select rootpage from sqlite_master where name='单据明细'").value(0).toInt();
        const int size = rows(dbPath(), "PRAGMA page_size").value(0).toInt();
        QVERIFY(page > 1 && size > 0);
        Database::Close();
        QFile f(dbPath());
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.seek(qint64(page - 1) * size));
        f.write(QByteArray(size, '\xff'));
        f.close();
        Database::Open(dbPath());
    }
};

QTEST_GUILESS_MAIN(TestBackup)
#include "test_store_backup.moc"
