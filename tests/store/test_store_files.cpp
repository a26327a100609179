#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "store/DataQuery.h"
#include "store/Database.h"

using namespace kvt;

class TestStoreFiles : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    int m_n = 0;

    QString freshPath() { return m_dir.filePath(QStringLiteral("t%1.db").arg(++m_n)); }
    static QString one(const QString& sql, const QString& field) {
        DataQuery q;
        q.SetSql(sql);
        q.Open();
        return q.RowCount() ? q.Field(field).asString() : QStringLiteral("<none>");
    }
    static int count(const QString& sql) {
        DataQuery q;
        q.SetSql(sql);
        q.Open();
        return q.RowCount();
    }

private slots:
    void init() {
        Database::Open(freshPath());
        Database::Exec(QStringLiteral("insert into 客户信息 (自定义编号,客户名) values (\"k1\",\"王五\")"));
        Database::Exec(QStringLiteral("insert into 客户信息 (自定义编号,客户名) values (\"k2\",\"老王家\")"));
        Database::Exec(QStringLiteral("insert into 客户信息 (自定义编号,客户名) values (\"k3\",\"李四\")"));
        Database::Exec(QStringLiteral("insert into 商品信息 (商品名称,自定义编号) values (\"平开门\",\"p1\")"));
        Database::Exec(QStringLiteral("insert into 历史单据 values (5,1,\"北街\",#2024-03-01#,2,\"老王家\")"));
        Database::Exec(QStringLiteral("insert into 历史单据 values (6,9,\"南街\",#3/2/2024#,2,\"老王家\")"));
        Database::Exec(QStringLiteral("insert into 单据明细 (单据ID,商品ID,见光宽,现量宽) values (5,1,850,0)"));
        Database::Exec(QStringLiteral("insert into 单据明细 (单据ID,商品ID,见光宽,现量宽) values (6,1,900.5,910)"));
    }
    void cleanup() { Database::Close(); }

    void newFileHasSchemaAndCounter() {
        QCOMPARE(one(QStringLiteral("select * from 系统设置 where ID=\"历史单据ID\""), QStringLiteral("值")),
                 QStringLiteral("1"));
        DataQuery q;
        q.SetSql(QStringLiteral("select * from 商品信息"));
        q.Open();
        QCOMPARE(q.FieldNames().at(0), QStringLiteral("商品名称"));
        QCOMPARE(q.FieldNames().at(3), QStringLiteral("自定义编号"));
        QCOMPARE(q.FieldNames().at(4), QStringLiteral("商品ID"));
    }

    void dialectStatements_data() {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("rows");
        const QString j =
            QStringLiteral("select * from 历史单据 left join 客户信息 on 历史单据.客户ID=客户信息.客户ID");
        QTest::newRow("list") << j + " order by 单据日期,单据ID" << 2;
        QTest::newRow("date and client") << j + "  where (单据日期 BETWEEN #2024-03-01# and #2024-03-01#) and "
                                                "(历史单据.客户ID=1) order by 单据日期,单据ID"
                                         << 1;
        QTest::newRow("client") << j + " where 历史单据.客户ID=9 order by 单据日期,单据ID" << 1;
        QTest::newRow("dates AND")
            << j + " where 单据日期 BETWEEN #2024-03-01# AND #2024-03-02# order by 单据日期,单据ID" << 2;
        QTest::newRow("dates m/d/y") << j + " where 单据日期 BETWEEN #3/2/2024# AND #3/2/2024#" << 1;
        QTest::newRow("bill") << j + " where 单据ID=5" << 1;
        QTest::newRow("lines") << "select * from 单据明细 where 单据ID=5 order by 门框ID" << 1;
        QTest::newRow("lines join") << "select * from 单据明细 left join 商品信息 on 单据明细.商品ID=商品信息.商品ID "
                                       "where 单据明细.单据ID=6 order by 门框ID"
                                    << 1;
        QTest::newRow("leaves undone")
            << "select 单据ID,商品名称,现量宽,现量高 from 单据明细 left join 商品信息 on "
               "单据明细.商品ID=商品信息.商品ID where (门扇宽=0) and (现量宽>0) order by 门框ID"
            << 1;
        QTest::newRow("unmeasured")
            << "select 历史单据.单据ID,见光宽,现量宽,单据日期,客户名,客户地址 from (历史单据 left join 单据明细 on "
               "历史单据.单据ID=单据明细.单据ID) left join 客户信息 on 历史单据.客户ID=客户信息.客户ID where "
               "(现量宽=0) and (见光宽)<>0 order by 历史单据.单据日期,历史单据.单据ID"
            << 1;
        QTest::newRow("counter") << "select * from 系统设置 where ID=\"历史单据ID\"" << 1;
        QTest::newRow("name like") << "select * from 客户信息 where 客户名 like \"%王%\" order by 客户名" << 2;
        QTest::newRow("brackets") << "select [客户名] from [客户信息] where [自定义编号]=\"k3\"" << 1;
        QTest::newRow("doubled quote") << "select * from 客户信息 where 客户名=\"a\"\"b\"" << 0;
    }
    void dialectStatements() {
        QFETCH(QString, sql);
        QFETCH(int, rows);
        QCOMPARE(count(sql), rows);
    }

    void joinedColumnNames() {
        DataQuery q;
        q.SetSql(QStringLiteral(
            "select * from 历史单据 left join 客户信息 on 历史单据.客户ID=客户信息.客户ID where 单据ID=5"));
        q.Open();
        QCOMPARE(q.Field(QStringLiteral("历史单据.客户ID")).asInteger(), 1);
        QCOMPARE(q.Field(QStringLiteral("客户信息.客户ID")).asInteger(), 1);
        QCOMPARE(q.Field(QStringLiteral("客户名")).asString(), QStringLiteral("王五"));
        QCOMPARE(q.Field(QStringLiteral("单据日期")).asString(), QStringLiteral("2024-03-01"));
        QCOMPARE(q.Field(QStringLiteral("安装人员ID")).asInteger(), 2);
        QVERIFY(q.IsReadOnly());
        // A bill whose client is gone is still listed, with empty client columns.
        QCOMPARE(one(QStringLiteral(
                         "select * from 历史单据 left join 客户信息 on 历史单据.客户ID=客户信息.客户ID where 单据ID=6"),
                     QStringLiteral("客户名")),
                 QString());
        q.SetSql(QStringLiteral(
            "select 历史单据.单据ID,见光宽 from 历史单据 left join 单据明细 on 历史单据.单据ID=单据明细.单据ID"));
        q.Open();
        QCOMPARE(q.FieldNames(), (QStringList{QStringLiteral("单据ID"), QStringLiteral("见光宽")}));
        QCOMPARE(q.Field(QStringLiteral("见光宽")).asString(), QStringLiteral("850"));
        QVERIFY_THROWS_EXCEPTION(StoreError, q.Field(QStringLiteral("nope")));
        QVERIFY_THROWS_EXCEPTION(StoreError, q.AppendRow());
    }

    void numbersAsText() {
        QCOMPARE(one(QStringLiteral("select * from 单据明细 where 单据ID=6"), QStringLiteral("见光宽")),
                 QStringLiteral("900.5"));
        QCOMPARE(one(QStringLiteral("select * from 单据明细 where 单据ID=6"), QStringLiteral("埋地")),
                 QStringLiteral("0"));
    }

    void badValuesRefused_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty number") << "数量"
                                      << "";
        QTest::newRow("text number") << "数量"
                                     << "abc";
        QTest::newRow("fraction integer") << "商品ID"
                                          << "1.5";
        QTest::newRow("text integer") << "单据ID"
                                      << "x";
    }
    void badValuesRefused() {
        QFETCH(QString, field);
        QFETCH(QString, text);
        DataQuery q;
        q.SetSql(QStringLiteral("select * from 单据明细"));
        q.Open();
        q.AppendRow();
        try {
            q.Field(field).setString(text);
            QFAIL("accepted");
        } catch (const StoreError& e) {
            QVERIFY2(e.message().contains(field) && e.message().contains(u'“' + text + u'”'), qPrintable(e.message()));
        }
    }

    void appendApplyOrderAndKeys() {
        DataQuery q;
        q.SetSql(QStringLiteral("select * from 单据明细"));
        q.Open();
        for (const char* w : {"100", "200"}) {
            q.AppendRow();
            q.Field(QStringLiteral("单据ID")).setString(QStringLiteral("7"));
            q.Field(QStringLiteral("见光宽")).setString(QString::fromLatin1(w));
        }
        q.ApplyUpdates();
        QVERIFY(!q.HasPendingChanges());
        q.MoveToRow(3);
        const qint64 first = q.Field(QStringLiteral("门框ID")).asInteger();
        q.MoveToRow(4);
        QVERIFY(q.Field(QStringLiteral("门框ID")).asInteger() > first);
        QCOMPARE(q.Field(QStringLiteral("现量宽")).asString(), QStringLiteral("0"));
        q.SetSql(QStringLiteral("select * from 单据明细 where 单据ID=7 order by 门框ID"));
        q.Open();
        QCOMPARE(q.Field(QStringLiteral("见光宽")).asString(), QStringLiteral("100"));
    }

    void editAndDeleteByKey() {
        DataQuery q;
        q.SetSql(QStringLiteral("select * from 系统设置 where ID=\"历史单据ID\""));
        q.Open();
        q.EditRow();
        q.Field(QStringLiteral("值")).setInteger(q.FieldAt(1).asInteger() + 1);
        q.ApplyUpdates();
        QCOMPARE(one(QStringLiteral("select * from 系统设置"), QStringLiteral("值")), QStringLiteral("2"));

        q.SetSql(QStringLiteral("select * from 客户信息 order by 客户名"));
        q.Open();
        q.DeleteRow();
        q.Close(); // dropped
        QCOMPARE(count(QStringLiteral("select * from 客户信息")), 3);
        q.Open();
        q.DeleteRow();
        q.ApplyUpdates();
        QCOMPARE(count(QStringLiteral("select * from 客户信息")), 2);
    }

    void applyIsAllOrNothing() {
        DataQuery q;
        q.SetSql(QStringLiteral("select * from 历史单据"));
        q.Open();
        q.AppendRow();
        q.Field(QStringLiteral("单据ID")).setInteger(8);
        q.AppendRow();
        q.Field(QStringLiteral("单据ID")).setInteger(5); // taken
        QVERIFY_THROWS_EXCEPTION(StoreError, q.ApplyUpdates());
        QVERIFY(q.HasPendingChanges());
        QCOMPARE(count(QStringLiteral("select * from 历史单据 where 单据ID=8")), 0);
    }

    void nestedScopes() {
        {
            TransactionScope outer;
            {
                TransactionScope inner;
                Database::Exec(QStringLiteral("delete from 客户信息 where 自定义编号=\"k1\""));
            } // rolled back
            Database::Exec(QStringLiteral("delete from 客户信息 where 自定义编号=\"k2\""));
            outer.Commit();
        }
        QCOMPARE(count(QStringLiteral("select * from 客户信息")), 2);
    }

    void hostileTexts_data() {
        QTest::addColumn<QString>("text");
        for (const char* t : {"a\"b", "a'b", "50%", "a_b", "a\\b", "\" or 1=1 or \"", "x\"; delete from 客户信息; --"})
            QTest::newRow(t) << QString::fromUtf8(t);
    }
    void hostileTexts() {
        QFETCH(QString, text);
        Database::Exec("insert into 客户信息 (自定义编号,客户名) values (" + SqlText(text) + "," +
                       SqlText("前" + text + "后") + ")");
        Database::Exec(QStringLiteral("insert into 客户信息 (自定义编号,客户名) values (\"z\",\"前a后\")"));
        QCOMPARE(one("select * from 客户信息 where 自定义编号=" + SqlText(text), QStringLiteral("自定义编号")), text);
        QCOMPARE(count("select * from 客户信息 where 客户名 like " + SqlContains(text)), 1);
        QCOMPARE(count(QStringLiteral("select * from 客户信息")), 5);
    }

    void foreignFilesRefused() {
        Database::Close();
        const QString junk = freshPath();
        QFile f(junk);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("this is no database at all, just some text that is long enough");
        f.close();
        QVERIFY_THROWS_EXCEPTION(StoreError, Database::Open(junk));
        QVERIFY(!Database::IsOpen());
        QVERIFY_THROWS_EXCEPTION(StoreError, Database::Open(m_dir.filePath(QStringLiteral("no/such/dir/x.db"))));
    }
};

QTEST_GUILESS_MAIN(TestStoreFiles)
#include "test_store_files.moc"
