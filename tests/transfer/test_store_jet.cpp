// The old program's database files read as they were written: every value of the test files
// against its JSON record, and files that are no database of it, cut short, damaged or encrypted
// refused with a message that says which, by their content and not their name.

#include "store/StoreError.h"
#include "transfer/JetSource.h"

#include "LegacyFiles.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace kvt;

class TestStoreJet : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    /// A copy of quirks.mdb under another name, changed by edit.
    QString hostile(const QString& name, const std::function<void(QByteArray&)>& edit) {
        const QString path = m_dir.filePath(name);
        test::WriteLegacyCopy(QStringLiteral("quirks.mdb"), path, edit);
        return path;
    }

private slots:
    void everyValueAsWritten_data() { test::AddLegacyFileRows(); }
    void everyValueAsWritten() {
        QFETCH(QString, file);
        const QJsonObject record = test::LegacyRecord(file);
        JetSource source(test::LegacyFile(file));
        QStringList expectedTables = record.keys();
        expectedTables.removeAll(QStringLiteral("notes"));
        expectedTables
            << record[QStringLiteral("notes")].toObject()[QStringLiteral("other_tables")].toVariant().toStringList();
        QStringList tables = source.tables();
        tables.sort();
        expectedTables.sort();
        QCOMPARE(tables, expectedTables);
        for (const QString& table : record.keys()) {
            if (table == QLatin1String("notes"))
                continue;
            const QJsonObject t = record[table].toObject();
            const QJsonArray names = t[QStringLiteral("columns")].toArray();
            const QJsonArray types = t[QStringLiteral("types")].toArray();
            const std::vector<SourceColumn> columns = source.columns(table);
            QStringList got, want;
            for (const SourceColumn& c : columns)
                got << c.name;
            for (const QJsonValue& n : names)
                want << n.toString();
            QCOMPARE(got, want);
            QCOMPARE(source.rowCount(table), qint64(t[QStringLiteral("count")].toInt()));
            const QJsonArray rows = t[QStringLiteral("rows")].toArray();
            qint64 r = 0;
            source.readRows(table, [&](const SourceRow& row) {
                const QJsonArray expected = rows[int(r)].toArray();
                for (int c = 0; c < int(row.size()); ++c) {
                    // An exact decimal arrives as its text ("989.5"), the record has the number.
                    const QVariant& v = row[size_t(c)];
                    const bool exact = columns[size_t(c)].kind == ColumnKind::Exact && !v.isNull();
                    const QString a = test::Canonical(exact ? QVariant(v.toString().toDouble()) : v);
                    const QString b = test::Canonical(expected[c], types[c].toString());
                    if (a != b)
                        qWarning("%s row %lld %s", qPrintable(table), r + 1, qPrintable(want[c]));
                    [&] { QCOMPARE(a, b); }();
                }
                ++r;
                return !QTest::currentTestFailed();
            });
            QCOMPARE(r, qint64(rows.size()));
        }
    }

    /// The kind each Jet type is read as; a number column made as Text stays text at this level.
    void kindsOfTheOldTypes() {
        JetSource source(test::LegacyFile(QStringLiteral("quirks.mdb")));
        QMap<QString, ColumnKind> kinds;
        for (const SourceColumn& c : source.columns(QStringLiteral("单据明细")))
            kinds[c.name] = c.kind;
        QCOMPARE(kinds[QStringLiteral("数量")], ColumnKind::Integer);
        QCOMPARE(kinds[QStringLiteral("见光宽")], ColumnKind::Real);
        QCOMPARE(kinds[QStringLiteral("现量宽")], ColumnKind::Exact);
        QCOMPARE(kinds[QStringLiteral("玻璃宽")], ColumnKind::Exact);
        QCOMPARE(kinds[QStringLiteral("埋地")], ColumnKind::Text);
        QCOMPARE(kinds[QStringLiteral("门框备注")], ColumnKind::Text);
    }

    void recognisedByContent() {
        QFile::copy(test::LegacyFile(QStringLiteral("accdb.accdb")), m_dir.filePath(QStringLiteral("daten.bin")));
        QVERIFY(JetSource::IsJetFile(m_dir.filePath(QStringLiteral("daten.bin"))));
        QCOMPARE(JetSource(m_dir.filePath(QStringLiteral("daten.bin"))).rowCount(QStringLiteral("历史单据")),
                 qint64(25));
        QVERIFY(!JetSource::IsJetFile(test::LegacyFile(QStringLiteral("quirks.json"))));
    }

    void badFilesRefused_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<std::function<void(QByteArray&)>>("edit");
        QTest::addColumn<QString>("message");
        using Edit = std::function<void(QByteArray&)>;
        QTest::newRow("text named kvt.mdb")
            << "kvt.mdb" << Edit([](QByteArray& b) { b = "单据,客户\n1,2\n"; }) << "不是旧程序的数据库文件";
        QTest::newRow("signature changed")
            << "sig.mdb" << Edit([](QByteArray& b) { b[4] = 'X'; }) << "不是旧程序的数据库文件";
        QTest::newRow("Access 97 format") << "jet3.mdb" << Edit([](QByteArray& b) { b[0x14] = 0; }) << "Access 97";
        QTest::newRow("cut inside a page") << "cut.mdb" << Edit([](QByteArray& b) { b.chop(100); }) << "不完整";
        QTest::newRow("cut at a page, tables gone")
            << "half.mdb" << Edit([](QByteArray& b) { b.truncate(b.size() / 4096 / 2 * 4096); }) << "已损坏";
        QTest::newRow("catalogue overwritten")
            << "catalog.mdb" << Edit([](QByteArray& b) { b.replace(2 * 4096, 4096, QByteArray(4096, '\0')); })
            << "已损坏";
        QTest::newRow("encrypted with a key not known")
            << "key.mdb" << Edit([](QByteArray& b) { b[0x3e] = char(b[0x3e] ^ 0x55); }) << "已加密";
        QTest::newRow("stripes over the data pages") << "stripes.mdb" << Edit([](QByteArray& b) {
            for (qsizetype p = 3 * 4096; p + 4096 <= b.size(); p += 2 * 4096)
                b.replace(p + 100, 40, QByteArray(40, '\xff'));
        }) << "已损坏";
        QTest::newRow("bytes changed in the pages") << "noise.mdb" << Edit([](QByteArray& b) {
            quint32 x = 1;
            for (int i = 0; i < 200; ++i) {
                x = x * 1103515245u + 12345u;
                b[4096 + qsizetype(x % quint32(b.size() - 4096))] = char(x >> 24);
            }
        }) << "已损坏";
    }
    void badFilesRefused() {
        QFETCH(QString, name);
        QFETCH(std::function<void(QByteArray&)>, edit);
        QFETCH(QString, message);
        const QString path = hostile(name, edit);
        QString error;
        try {
            JetSource source(path);
            for (const QString& table : source.tables())
                source.readRows(table, [](const SourceRow&) { return true; });
        } catch (const StoreError& e) {
            error = e.message();
        }
        QVERIFY2(error.contains(message), qPrintable(error));
        QVERIFY2(error.contains(name), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestStoreJet)
#include "test_store_jet.moc"
