// How a held result keeps its values: every kind of value read back as stored, texts that
// grow and shrink under edits, keys changed before a save, and results of many rows.

#include "store/CellTable.h"
#include "store/DataQuery.h"
#include "store/Database.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace kvt;

namespace {

QString longText(int n)
{
    QString s;
    s.reserve(n);
    for (int i = 0; i < n; ++i)
        s += i % 3 ? QChar(u'门' + i % 7) : QChar(u'a' + i % 26);
    return s;
}

int count(const QString& sql)
{
    DataQuery q;
    q.SetSql(sql);
    q.Open();
    return q.RowCount();
}

QVariant one(const QString& sql)
{
    DataQuery q;
    q.SetSql(sql);
    q.Open();
    return q.RowCount() ? q.ValueAt(1, 0) : QVariant(QStringLiteral("<no row>"));
}

} // namespace

class TestStoreCells : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    int m_case = 0;

private slots:
    void init()
    {
        Database::Open(m_dir.filePath(QStringLiteral("cells%1.db").arg(++m_case)));
        Database::Exec(QStringLiteral("create table 杂项 (ID INTEGER PRIMARY KEY, 值, 旁边 TEXT)"));
        for (int i = 1; i <= 4; ++i)
            Database::Exec(QStringLiteral("insert into 客户信息 (客户ID,客户名,客户电话,客户备注) values "
                                          "(%1,\"客户%1\",\"1380000000%1\",%2)")
                               .arg(i)
                               .arg(SqlText(longText(40 + i))));
    }

    void cleanup() { Database::Close(); }

    void valuesReadBackAsStored_data()
    {
        QTest::addColumn<QString>("literal");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("text");
        const QVariant none;
        QTest::newRow("null") << "NULL" << none << "";
        QTest::newRow("empty text") << "\"\"" << QVariant(QString()) << "";
        QTest::newRow("zero") << "0" << QVariant(qint64(0)) << "0";
        QTest::newRow("zero as text") << "\"0\"" << QVariant(QStringLiteral("0")) << "0";
        QTest::newRow("largest integer") << "9223372036854775807" << QVariant(qint64(9223372036854775807))
                                         << "9223372036854775807";
        QTest::newRow("negative integer") << "-42" << QVariant(qint64(-42)) << "-42";
        QTest::newRow("number") << "-0.25" << QVariant(-0.25) << "-0.25";
        QTest::newRow("eight bytes") << "\"12345678\"" << QVariant(QStringLiteral("12345678")) << "12345678";
        QTest::newRow("nine bytes") << "\"123456789\"" << QVariant(QStringLiteral("123456789")) << "123456789";
        QTest::newRow("two characters") << "\"磨砂\"" << QVariant(QStringLiteral("磨砂")) << "磨砂";
        QTest::newRow("three characters") << "\"王建国\"" << QVariant(QStringLiteral("王建国")) << "王建国";
        QTest::newRow("outside the basic plane") << "\"𠀀门😀\"" << QVariant(QStringLiteral("𠀀门😀")) << "𠀀门😀";
        QTest::newRow("long text") << SqlText(longText(100000)) << QVariant(longText(100000)) << longText(100000);
    }

    void valuesReadBackAsStored()
    {
        QFETCH(QString, literal);
        QFETCH(QVariant, value);
        QFETCH(QString, text);
        // Neighbours of both storage forms around the value, in the same row and the next.
        Database::Exec(QStringLiteral("insert into 杂项 (值,旁边) values (%1,\"左\")").arg(literal));
        Database::Exec(QStringLiteral("insert into 杂项 (值,旁边) values (%1,%2)").arg(literal, SqlText(longText(30))));
        DataQuery q;
        q.SetSql(QStringLiteral("select * from 杂项 order by ID"));
        q.Open();
        QCOMPARE(q.RowCount(), 2);
        for (int row = 1; row <= 2; ++row) {
            const QVariant got = q.ValueAt(row, 1);
            QCOMPARE(got.isValid(), value.isValid());
            if (value.isValid()) {
                QCOMPARE(got.typeId(), value.typeId());
                QCOMPARE(got, value);
            }
            QCOMPARE(q.TextAt(row, 1), text);
        }
        QCOMPARE(q.Field(QStringLiteral("值")).isNull(), !value.isValid());
        QCOMPARE(q.TextAt(1, 2), QStringLiteral("左"));
        QCOMPARE(q.TextAt(2, 2), longText(30));
        QVERIFY(q.FindRow(QStringLiteral("旁边"), longText(30)));
        QCOMPARE(q.CurrentRow(), 2);
        if (value.isValid()) {
            q.MoveFirst();
            QVERIFY(q.FindRow(QStringLiteral("值"), value));
            QCOMPARE(q.CurrentRow(), 1);
        }
    }

    void textEditsGrowAndShrink_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<bool>("toNull");
        QTest::newRow("short to long") << "王" << longText(5000) << false;
        QTest::newRow("long to short") << longText(5000) << "李" << false;
        QTest::newRow("long to longer") << longText(20) << longText(21) << false;
        QTest::newRow("nine bytes to eight") << "王建国"
                                             << "12345678" << false;
        QTest::newRow("to empty") << "王建国"
                                  << "" << false;
        QTest::newRow("empty to text") << ""
                                       << "老王" << false;
        QTest::newRow("to null") << longText(20) << "" << true;
    }

    void textEditsGrowAndShrink()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(bool, toNull);
        Database::Exec(QStringLiteral("update 客户信息 set 客户名=%1 where 客户ID=2").arg(SqlText(before)));
        DataQuery q;
        q.SetSql(QStringLiteral("select * from 客户信息 order by 客户ID"));
        q.Open();
        const int name = q.FieldIndex(QStringLiteral("客户名"));
        const int note = q.FieldIndex(QStringLiteral("客户备注"));
        QCOMPARE(q.TextAt(2, name), before);
        q.MoveToRow(2);
        q.EditRow();
        if (toNull)
            q.Field(QStringLiteral("客户名")).setNull();
        else
            q.Field(QStringLiteral("客户名")).setString(after);
        // Another edit through the pool must not disturb the first.
        q.SetTextAt(3, note, longText(7));

        auto check = [&](DataQuery& r) {
            QCOMPARE(r.ValueAt(2, name).isValid(), !toNull);
            QCOMPARE(r.TextAt(2, name), after);
            QCOMPARE(r.TextAt(2, note), longText(42));
            QCOMPARE(r.TextAt(1, name), QStringLiteral("客户1"));
            QCOMPARE(r.TextAt(3, name), QStringLiteral("客户3"));
            QCOMPARE(r.TextAt(3, note), longText(7));
            QCOMPARE(r.TextAt(4, note), longText(44));
        };
        check(q);
        QCOMPARE(q.StateOf(2), RowState::Modified);
        q.ApplyUpdates();
        check(q);
        DataQuery again;
        again.SetSql(q.Sql());
        again.Open();
        check(again);
    }

    void savedKeyStaysAndFindsItsRow()
    {
        DataQuery q;
        q.SetSql(QStringLiteral("select * from 客户信息 order by 客户ID"));
        q.Open();
        q.EditRow();
        // A saved row's key is what other tables refer to it by: it cannot be changed.
        QVERIFY_THROWS_EXCEPTION(StoreError, q.Field(QStringLiteral("客户ID")).setInteger(50));
        QVERIFY_THROWS_EXCEPTION(StoreError, q.Field(QStringLiteral("客户ID")).setNull());
        q.Field(QStringLiteral("客户ID")).setInteger(1); // the key it has is accepted
        q.Field(QStringLiteral("客户名")).setString(QStringLiteral("改号"));
        q.ApplyUpdates();
        QCOMPARE(one(QStringLiteral("select 客户名 from 客户信息 where 客户ID=1")), QVariant(QStringLiteral("改号")));

        // After the save the row is found by its key, both for a change and a removal.
        q.EditRow();
        q.Field(QStringLiteral("客户名")).setString(QStringLiteral("再改"));
        q.ApplyUpdates();
        QCOMPARE(one(QStringLiteral("select 客户名 from 客户信息 where 客户ID=1")), QVariant(QStringLiteral("再改")));
        q.MoveToRow(2);
        q.EditRow();
        q.Field(QStringLiteral("客户名")).setString(QStringLiteral("删前改"));
        q.DeleteRow();
        q.MoveToRow(1);
        q.DeleteRow();
        q.ApplyUpdates();
        QCOMPARE(count(QStringLiteral("select * from 客户信息")), 2);
        QCOMPARE(count(QStringLiteral("select * from 客户信息 where 客户ID in (1,2)")), 0);
    }

    void pendingChangesFollowTheRows()
    {
        DataQuery q;
        q.SetSql(QStringLiteral("select * from 客户信息 order by 客户ID"));
        q.Open();
        q.AppendRow();
        QVERIFY(q.HasPendingChanges());
        q.DeleteRow(); // the new row goes away unsaved
        QVERIFY(!q.HasPendingChanges());
        q.MoveToRow(1);
        q.EditRow();
        q.Field(QStringLiteral("客户名")).setString(QStringLiteral("甲"));
        q.Field(QStringLiteral("客户电话")).setString(QStringLiteral("乙"));
        QVERIFY(q.HasPendingChanges());
        q.ApplyUpdates();
        QVERIFY(!q.HasPendingChanges());
        QCOMPARE(q.StateOf(1), RowState::Unchanged);
        q.AppendRow();
        q.Field(QStringLiteral("客户名")).setString(longText(300));
        q.ApplyUpdates();
        QVERIFY(!q.HasPendingChanges());
        QCOMPARE(q.TextAt(5, q.FieldIndex(QStringLiteral("客户名"))), longText(300));
        QVERIFY(q.ValueAt(5, 0).toLongLong() > 4);
    }

    // The pool of a result's texts grows in blocks; every text reads back whole wherever it fell:
    // across block ends, longer than the next block, filling one exactly, and added after a trim.
    void pooledTextsReadBack_data()
    {
        QTest::addColumn<QList<int>>("lengths");
        QTest::addColumn<int>("trimAfter"); // the text after which the pool is trimmed (-1: never)
        QTest::newRow("many across block ends") << QList<int>(3000, 37) << -1;
        QTest::newRow("longer than the next block") << QList<int>{9, 4090, 20000, 9, 70000, 12} << -1;
        QTest::newRow("filling blocks exactly") << QList<int>{4096, 9, 8183, 16384, 9} << -1;
        QTest::newRow("added after a trim") << QList<int>{100, 200, 300, 9, 5000, 9} << 2;
        QTest::newRow("trimmed when full") << QList<int>{4096, 9, 9} << 0;
    }
    void pooledTextsReadBack()
    {
        QFETCH(QList<int>, lengths);
        QFETCH(int, trimAfter);
        CellTable cells(1);
        std::vector<std::string> texts;
        for (int i = 0; i < lengths.size(); ++i) {
            std::string t(size_t(lengths[i]), char('a' + i % 26));
            t.front() = char('A' + i % 26);
            cells.setText(cells.addSlot(), 0, t.data(), t.size());
            texts.push_back(std::move(t));
            if (i == trimAfter)
                cells.trim();
        }
        cells.trim();
        for (quint32 slot = 0; slot < quint32(texts.size()); ++slot) {
            const QByteArrayView v = cells.text(slot, 0);
            QCOMPARE(std::string(v.data(), size_t(v.size())), texts[slot]);
        }
    }

    void manyRows()
    {
        Database::Exec(QStringLiteral("insert into 单据明细 (单据ID,见光宽,门框备注) "
                                      "with recursive n(i) as (select 1 union all select i+1 from n where i<3000) "
                                      "select 9, i, case when i%2 then 'x' else 'long note number ' || i end from n"));
        DataQuery q;
        q.SetSql(QStringLiteral("select * from 单据明细 where 单据ID=9 order by 门框ID"));
        q.Open();
        QCOMPARE(q.RowCount(), 3000);
        const int width = q.FieldIndex(QStringLiteral("见光宽"));
        const int note = q.FieldIndex(QStringLiteral("门框备注"));
        for (int row : {1, 2, 127, 128, 129, 256, 257, 1024, 2999, 3000}) {
            QCOMPARE(q.TextAt(row, width), QString::number(row));
            QCOMPARE(q.TextAt(row, note),
                     row % 2 ? QStringLiteral("x") : QStringLiteral("long note number %1").arg(row));
        }

        q.MoveToRow(1000);
        q.DeleteRow();
        q.MoveToRow(1);
        q.DeleteRow();
        q.SetTextAt(2000, note, longText(50));
        q.AppendRow();
        q.Field(QStringLiteral("单据ID")).setInteger(9);
        q.Field(QStringLiteral("见光宽")).setString(QStringLiteral("5000"));
        q.Field(QStringLiteral("门框备注")).setString(QStringLiteral("末"));
        QCOMPARE(q.RowCount(), 2999);
        QCOMPARE(q.TextAt(1, width), QStringLiteral("2"));
        QCOMPARE(q.TextAt(998, width), QStringLiteral("999"));
        QCOMPARE(q.TextAt(999, width), QStringLiteral("1001"));
        QCOMPARE(q.StateOf(2000), RowState::Modified);
        QCOMPARE(q.StateOf(2999), RowState::Inserted);
        QVERIFY(q.FindRow(QStringLiteral("见光宽"), 2500));
        QCOMPARE(q.CurrentRow(), 2498);
        QVERIFY(!q.FindRow(QStringLiteral("见光宽"), 1000));
        q.ApplyUpdates();

        q.Open();
        QCOMPARE(q.RowCount(), 2999);
        QCOMPARE(q.TextAt(2000, note), longText(50));
        QCOMPARE(q.TextAt(2000, width), QStringLiteral("2002"));
        QCOMPARE(q.TextAt(2999, note), QStringLiteral("末"));
        QCOMPARE(q.TextAt(2998, note), QStringLiteral("long note number 3000"));
    }
};

QTEST_GUILESS_MAIN(TestStoreCells)
#include "test_store_cells.moc"
