// The old program's kvt.mdb brought across, on a file and (the _server run) on the test server:
// what lands in the target is compared with the JSON record value by value, with each trace of the
// old file resolved as the report says; files that cannot be read, and old files lacking a table,
// leave no target behind; the old file is never written.

#include "store/DataQuery.h"
#include "store/Database.h"
#include "store/StoreError.h"
#include "support/TestDatabase.h"
#include "transfer/Copy.h"
#include "transfer/LegacyImport.h"

#include "LegacyFiles.h"

#include <QCryptographicHash>
#include <QDate>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace kvt;

namespace {

const QStringList kKeyOf = {"历史单据=单据ID", "单据明细=门框ID", "商品信息=商品ID", "客户信息=客户ID", "系统设置=ID"};

/// A cell as compared: NULL, a number, or a text (a date as its yyyy-MM-dd text).
QString cell(const QVariant& v) {
    if (!v.isValid() || v.isNull())
        return QStringLiteral("NULL");
    if (v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int || v.typeId() == QMetaType::Double)
        return QStringLiteral("n:") + QString::number(v.toDouble(), 'g', 17);
    if (v.typeId() == QMetaType::QDate)
        return QStringLiteral("t:") + v.toDate().toString(Qt::ISODate);
    return QStringLiteral("t:") + v.toString();
}

/// The rows of a table of the open database, the record's columns in its order, sorted.
QStringList rowsOf(const QString& table, const QStringList& columns) {
    DataQuery q;
    q.SetSql(QStringLiteral("select %1 from %2").arg(columns.join(QLatin1Char(',')), table));
    q.Open();
    QStringList rows;
    for (int r = 1; r <= q.RowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < columns.size(); ++c)
            row << cell(q.ValueAt(r, c));
        rows << row.join(QLatin1Char('|'));
    }
    rows.sort();
    return rows;
}

/// The record's rows as they should land: dates without their time, number texts as numbers
/// (and an empty one as NULL), a bill number given twice moved past every bill number in use,
/// and the counter past it when it was behind.
QStringList expectedRows(const QJsonObject& record, const QString& table, qint64* largestBill) {
    const QJsonObject t = record[table].toObject();
    const QJsonArray types = t[QStringLiteral("types")].toArray();
    const QJsonArray columns = t[QStringLiteral("columns")].toArray();
    QStringList rows;
    QSet<qint64> bills;
    for (const QJsonValue& r : t[QStringLiteral("rows")].toArray()) {
        const QJsonArray values = r.toArray();
        QStringList row;
        for (int c = 0; c < values.size(); ++c) {
            const QJsonValue v = values[c];
            const QString type = types[c].toString();
            const QString column = columns[c].toString();
            if (v.isNull())
                row << QStringLiteral("NULL");
            else if (type == QLatin1String("SHORT_DATE_TIME"))
                row << QStringLiteral("t:") + v.toString().left(10);
            else if (v.isDouble())
                row << QStringLiteral("n:") + QString::number(v.toDouble(), 'g', 17);
            else if (column == QStringLiteral("埋地"))
                row << (v.toString().isEmpty() ? QStringLiteral("NULL") : QStringLiteral("n:") + v.toString());
            else
                row << QStringLiteral("t:") + v.toString();
        }
        if (table == QStringLiteral("历史单据")) {
            const qint64 number = values[0].toInteger();
            if (bills.contains(number))
                row[0] = QStringLiteral("n:%1").arg(++*largestBill);
            bills.insert(number);
        }
        if (table == QStringLiteral("系统设置") && values[0].toString() == QStringLiteral("历史单据ID") &&
            values[1].toInteger() <= *largestBill)
            row[1] = QStringLiteral("n:%1").arg(*largestBill + 1);
        rows << row.join(QLatin1Char('|'));
    }
    rows.sort();
    return rows;
}

QByteArray fingerprint(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex() + ' ' +
           QByteArray::number(QFileInfo(path).lastModified().toMSecsSinceEpoch());
}

} // namespace

class TestStoreImport : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    int m_n = 0;

    /// A copy of a test file in a folder of its own, as a workshop's kvt.mdb.
    QString oldFile(const QString& name, const std::function<void(QByteArray&)>& edit = {}) {
        const QString folder = m_dir.filePath(QStringLiteral("w%1").arg(++m_n));
        QDir().mkpath(folder);
        const QString path = folder + QStringLiteral("/kvt.mdb");
        test::WriteLegacyCopy(name, path, edit);
        return path;
    }
    QString target(const QString& old) const {
        return test::FreshDatabaseFor(QFileInfo(old).absoluteDir().filePath(QStringLiteral("kvt.db")));
    }

private slots:
    void cleanup() { Database::Close(); }

    void everyRowLandsAsWritten_data() { test::AddLegacyFileRows(); }
    void everyRowLandsAsWritten() {
        QFETCH(QString, file);
        const QString old = oldFile(file);
        const QByteArray before = fingerprint(old);
        const QString to = target(old);
        const CopyReport report = CopyDatabase(old, to);
        QCOMPARE(fingerprint(old), before);
        QVERIFY(!report.sourceReport.isEmpty());

        const QJsonObject record = test::LegacyRecord(file);
        qint64 largestBill = 0;
        for (const QString& table : {"历史单据", "单据明细"})
            for (const QJsonValue& r : record[table].toObject()[QStringLiteral("rows")].toArray())
                largestBill =
                    std::max(largestBill, r.toArray()[table == QStringLiteral("历史单据") ? 0 : 1].toInteger());
        Database::Open(to);
        for (const QString& entry : kKeyOf) {
            const QString table = entry.section(QLatin1Char('='), 0, 0);
            QStringList columns;
            for (const QJsonValue& c : record[table].toObject()[QStringLiteral("columns")].toArray())
                columns << c.toString();
            QCOMPARE(rowsOf(table, columns), expectedRows(record, table, &largestBill));
        }
        // The table the program does not use stays behind.
        DataQuery q;
        q.SetSql(QStringLiteral("select count(*) from 历史单据"));
        q.Open();
        QCOMPARE(q.ValueAt(1, 0).toLongLong(),
                 qint64(record[QStringLiteral("历史单据")].toObject()[QStringLiteral("count")].toInt()));
    }

    /// Each trace of the old file is named in the report, with bill number, table and column.
    void reportNamesEachPlace() {
        const QString old = oldFile(QStringLiteral("quirks.mdb"));
        QFile(QFileInfo(old).absoluteDir().filePath(QStringLiteral("kvt.ldb"))).open(QIODevice::WriteOnly);
        const QString to = target(old);
        const CopyReport report = CopyDatabase(old, to);
        const QString text = report.sourceReport.join(QLatin1Char('\n'));
        const QStringList expected = {
            "客户 5 黄明；客户 2 张海燕装饰公司",         // the bill number given twice, both clients
            "单据 10：单据ID 重号，改为新号 100000",      // past the lines' 99999
            "单据 99999：有明细，但没有这张单据的单据头", // lines without a header
            "客户ID 7777",                                // a client gone
            "带有时刻 14:22:05",                          // a date with a time
            "单据 6：没有单据日期",                       // a bill without a date
            "单据 10 的明细（门框ID 36）：数量、见光宽、见光高、埋地 为空值", // NULLs kept
            "单据明细.埋地 有 17 格是空文本",                                 // empty texts in a number column
            "原为 42",                                                        // the counter behind
            "改为 100001",
            "员工考勤（1 行）",          // the table left behind
            "商品信息.颜色（Text(20)）", // columns of the workshop's own
            "商品信息.单价（Currency）",
            "客户信息.客户传真（Text(30)）",
            "kvt.ldb", // the old program may be running
        };
        for (const QString& e : expected)
            QVERIFY2(text.contains(e), qPrintable(e + QStringLiteral("\n") + text));
        if (!test::OnServer()) {
            QFile kept(LegacyReportPath(to));
            QVERIFY(kept.open(QIODevice::ReadOnly));
            QVERIFY(QString::fromUtf8(kept.readAll()).contains(text));
        }
    }

    /// Lines without a header are found, and the counter passes their bill number, whether the
    /// lines are read ahead (a bill number given twice needs them first) or only by the copy.
    void linesWithoutHeaderFoundEitherWay_data() {
        QTest::addColumn<std::function<void(QByteArray&)>>("edit");
        QTest::addColumn<QString>("counter");
        using Edit = std::function<void(QByteArray&)>;
        QTest::newRow("read ahead") << Edit() << "改为 100001";
        // The second header of bill 10 (client 2) numbered 45 instead: no number is given twice.
        QTest::newRow("read by the copy") << Edit([](QByteArray& b) {
            const qsizetype at = b.indexOf(QByteArray::fromHex("0a00000002000000"));
            QVERIFY(at > 0);
            b[at] = 45;
        }) << "改为 100000";
    }
    void linesWithoutHeaderFoundEitherWay() {
        QFETCH(std::function<void(QByteArray&)>, edit);
        QFETCH(QString, counter);
        const QString old = oldFile(QStringLiteral("quirks.mdb"), edit);
        const CopyReport report = CopyDatabase(old, target(old));
        const QString text = report.sourceReport.join(QLatin1Char('\n'));
        QVERIFY2(text.contains(QStringLiteral("单据 99999：有明细，但没有这张单据的单据头")), qPrintable(text));
        QVERIFY2(text.contains(counter), qPrintable(text));
    }

    /// A text that is no number, in a number column: the cell left NULL, its text in the report.
    void textThatIsNoNumberKeptInTheReport() {
        // A line's 埋地 "20" stands before its 门框附加 "单边门线" (UTF-16); it becomes "2x".
        const QString old = oldFile(QStringLiteral("quirks.mdb"), [](QByteArray& b) {
            const QByteArray text = QByteArray::fromHex("320030005553b98fe895bf7e"); // 20单边门线
            const qsizetype at = b.indexOf(text);
            QVERIFY(at > 0);
            b[at + 2] = 'x';
        });
        const QString to = target(old);
        const CopyReport report = CopyDatabase(old, to);
        QVERIFY2(
            report.sourceReport.join(QLatin1Char('\n')).contains(QStringLiteral("单据明细.埋地 的文本“2x”不是数字")),
            qPrintable(report.sourceReport.join(QLatin1Char('\n'))));
        Database::Open(to);
        DataQuery q;
        q.SetSql(QStringLiteral("select count(*) from 单据明细 where 埋地 is null"));
        q.Open();
        QCOMPARE(q.ValueAt(1, 0).toLongLong(), qint64(20)); // 17 empty texts, 2 NULLs, the one "2x"
    }

    void refusedWithoutATarget_data() {
        QTest::addColumn<std::function<void(QByteArray&)>>("edit");
        QTest::addColumn<QString>("message");
        using Edit = std::function<void(QByteArray&)>;
        QTest::newRow("cut short") << Edit([](QByteArray& b) { b.chop(1000); }) << "不完整";
        QTest::newRow("no database") << Edit([](QByteArray& b) { b.fill('x'); }) << "也不是旧程序的数据库文件";
        QTest::newRow("lacks 客户信息") << Edit([](QByteArray& b) {
            const QByteArray from = QByteArray::fromHex("a25b3762e14f6f60"); // 客户信息 in UTF-16LE
            const QByteArray to = QByteArray::fromHex("a25b3762448d9965");   // 客户资料
            b.replace(from, to);
        }) << "缺少旧程序的表：客户信息";
    }
    void refusedWithoutATarget() {
        QFETCH(std::function<void(QByteArray&)>, edit);
        QFETCH(QString, message);
        const QString old = oldFile(QStringLiteral("quirks.mdb"), edit);
        const QString to = target(old);
        QString error;
        try {
            CopyDatabase(old, to);
        } catch (const StoreError& e) {
            error = e.message();
        }
        QVERIFY2(error.contains(message), qPrintable(error));
        if (!test::OnServer()) {
            QVERIFY(!QFile::exists(to));
        } else {
            Database::Open(to);
            DataQuery q;
            q.SetSql(QStringLiteral("select count(*) from 历史单据"));
            q.Open();
            QCOMPARE(q.ValueAt(1, 0).toLongLong(), qint64(0));
        }
    }

    /// kvtcopy with the old file as its source: the report ends what it prints.
    void theProgram() {
        const QString old = oldFile(QStringLiteral("quirks.mdb"));
        QProcess p;
        p.start(QStringLiteral(KVT_COPY_PROGRAM), {old, target(old)});
        QVERIFY(p.waitForFinished(60000));
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        QCOMPARE(p.exitCode(), 0);
        QVERIFY2(out.startsWith(QStringLiteral("历史单据：41 行，校验和一致")), qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("\n旧程序数据库导入报告\n")), qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("改为 100001")), qPrintable(out));
        // New keys continue past the largest copied one, a deleted product's gap kept.
        QVERIFY2(out.contains(QStringLiteral("自动编号：单据明细 141、商品信息 12、客户信息 38，一致")), qPrintable(out));
    }
};

QTEST_GUILESS_MAIN(TestStoreImport)
#include "test_store_import.moc"
