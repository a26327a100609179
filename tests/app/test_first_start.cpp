// The first start in the old program's folder: the question with what kvt.mdb holds, Yes imports
// it and shows the report (kept beside kvt.db), No starts on a new database and is not asked
// again, a failed import leaves no kvt.db and is asked again; the old file is never written.

#include "app/AppStart.h"
#include "store/DataQuery.h"
#include "store/Database.h"
#include "support/FakeDialogs.h"
#include "support/TinyFilesystem.h"
#include "transfer/LegacyImport.h"

#include "../transfer/LegacyFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using namespace kvt;

namespace {

/// The old file's bytes and modification time: neither may change.
QByteArray fingerprint(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex() + ' ' +
           QByteArray::number(QFileInfo(path).lastModified().toMSecsSinceEpoch());
}

qint64 bills(const QString& database) {
    Database::Open(database);
    DataQuery q;
    q.SetSql(QStringLiteral("select count(*) from 历史单据"));
    q.Open();
    const qint64 n = q.ValueAt(1, 0).toLongLong();
    q.Close();
    Database::Close();
    return n;
}

} // namespace

class TestFirstStart : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    int m_n = 0;
    test::FakeDialogs m_dialogs;

    /// A folder holding the old program's kvt.mdb (a copy of a test file, edited when asked).
    QString oldFolder(const QString& file, const std::function<void(QByteArray&)>& edit = {}) {
        const QString folder = m_dir.filePath(QStringLiteral("old%1").arg(++m_n));
        QDir().mkpath(folder);
        test::WriteLegacyCopy(file, folder + QStringLiteral("/kvt.mdb"), edit);
        return folder;
    }

private slots:
    void init() { m_dialogs.clear(); }
    void cleanup() { Database::Close(); }

    void yesImportsAndShowsTheReport() {
        const QString folder = oldFolder(QStringLiteral("quirks.mdb"));
        const QString old = folder + QStringLiteral("/kvt.mdb");
        const QString db = folder + QStringLiteral("/kvt.db");
        const QByteArray before = fingerprint(old);
        m_dialogs.answers = {true};
        QVERIFY(OfferLegacyImport(db, nullptr));
        QCOMPARE(m_dialogs.questions,
                 QStringList{
                     "在这个文件夹中找到旧程序的数据库kvt.mdb（41张单据、38个客户、11种商品）。现在把它导入kvt吗？"});
        QCOMPARE(m_dialogs.messages, QStringList());
        QCOMPARE(m_dialogs.texts.size(), 1);
        QVERIFY(m_dialogs.texts[0].contains(QStringLiteral("旧程序数据库导入报告")));
        QFile kept(LegacyReportPath(db));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(kept.readAll()).contains(QStringLiteral("单据 10：单据ID 重号，改为新号 100000")));
        QCOMPARE(bills(db), qint64(41));
        QCOMPARE(fingerprint(old), before);
        // Started again, kvt opens what it imported and asks nothing.
        QVERIFY(OfferLegacyImport(db, nullptr));
        QCOMPARE(m_dialogs.questions.size(), 1);
    }

    void noStartsOnANewDatabaseAndIsNotAskedAgain() {
        const QString folder = oldFolder(QStringLiteral("workshop.mdb"));
        const QString db = folder + QStringLiteral("/kvt.db");
        const QByteArray before = fingerprint(folder + QStringLiteral("/kvt.mdb"));
        m_dialogs.answers = {false};
        QVERIFY(OfferLegacyImport(db, nullptr));
        QVERIFY(!QFile::exists(db));
        QCOMPARE(bills(db), qint64(0)); // the start goes on and makes kvt.db, as without an old file
        QVERIFY(OfferLegacyImport(db, nullptr));
        QCOMPARE(m_dialogs.questions.size(), 1);
        QCOMPARE(fingerprint(folder + QStringLiteral("/kvt.mdb")), before);
    }

    void oldFileThatCannotBeReadStopsTheStart() {
        const QString folder = oldFolder(QStringLiteral("quirks.mdb"), [](QByteArray& b) { b.chop(700); });
        const QString db = folder + QStringLiteral("/kvt.db");
        QVERIFY(!OfferLegacyImport(db, nullptr));
        QCOMPARE(m_dialogs.questions, QStringList());
        QCOMPARE(m_dialogs.messages.size(), 1);
        QVERIFY2(m_dialogs.messages[0].contains(QStringLiteral("不完整")), qPrintable(m_dialogs.messages[0]));
        QVERIFY(!QFile::exists(db));
    }

    void failedImportLeavesNoDatabaseAndAsksAgain() {
        test::TinyFilesystem disk("1m");
        if (!disk.mounted())
            QSKIP("needs root to mount a small filesystem");
        const QString old = disk.path(QStringLiteral("kvt.mdb"));
        test::WriteLegacyCopy(QStringLiteral("workshop.mdb"), old, {});
        const QByteArray before = fingerprint(old);
        disk.fill();
        const QString db = disk.path(QStringLiteral("kvt.db"));
        m_dialogs.answers = {true, true};
        for (int start = 1; start <= 2; ++start) {
            QVERIFY(!OfferLegacyImport(db, nullptr));
            QCOMPARE(m_dialogs.questions.size(), start);
            QCOMPARE(m_dialogs.messages.size(), start);
            QVERIFY2(m_dialogs.messages.last().contains(QStringLiteral("没有成功")),
                     qPrintable(m_dialogs.messages.last()));
            QVERIFY(!QFile::exists(db));
            QVERIFY(!QFile::exists(LegacyReportPath(db)));
        }
        QCOMPARE(fingerprint(old), before);
    }
};

QTEST_MAIN(TestFirstStart)
#include "test_first_start.moc"
