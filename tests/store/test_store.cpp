// The store on a real database file: the statements the windows issue, result column names,
// value conversion, pending changes and their all-or-nothing writing, safe typed texts.

#include "store/DataQuery.h"
#include "store/Database.h"
#include "store/Engine.h"
#include "store/SqlDialect.h"
#include "support/ServerConnectionForTest.h"
#include "support/TestDatabase.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace kvt;

class TestStore : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    int m_case = 0;

    static int count(const QString& sql)
    {
        DataQuery q;
        q.SetSql(sql);
        q.Open();
        return q.RowCount();
    }

private slots:
    void init()
    {
        Database::Open(test::FreshDatabaseFor(m_dir.filePath(QStringLiteral("kvt%1.db").arg(++m_case))));
        Database::Exec(QStringLiteral("insert into 客户信息 (自定义编号,客户名) values (\"1\",\"王建国\")"));
        Database::Exec(QStringLiteral("insert into 客户信息 (自定义编号,客户名) values (\"2\",\"老王\")"));
        Database::Exec(QStringLiteral("insert into 客户信息 (自定义编号,客户名) values (\"3\",\"李\"\"引号\"\"\")"));
        Database::Exec(QStringLiteral("insert into 客户信息 (自定义编号,客户名) values (\"4\",\"100%_a\\b'c\")"));
        Database::Exec(QStringLiteral("insert into 商品信息 (商品名称,自定义编号,外框宽公式) values "
                                      "(\"单开门框\",\"101\",\"\"\"见光宽\"\"+40\")"));
        Database::Exec(QStringLiteral("insert into 历史单据 (单据ID,客户ID,客户地址,单据日期,安装人员ID,安装人员) values "
                                      "(5,1,\"文三路\",#2021-01-14#,2,\"老王\")"));
        Database::Exec(QStringLiteral("insert into 历史单据 (单据ID,客户ID,客户地址,单据日期,安装人员ID,安装人员) values "
                                      "(6,99,\"无客户\",#1/20/2021#,2,\"老王\")"));
        Database::Exec(QStringLiteral("insert into 单据明细 (单据ID,商品ID,见光宽,现量宽,门扇宽) values (5,1,900,0,0)"));
        Database::Exec(QStringLiteral("insert into 单据明细 (单据ID,商品ID,见光宽,现量宽,门扇宽) values (5,1,800,830,0)"));
    }

    void cleanup() { Database::Close(); }

    void statementsOfTheWindows_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("rows");
        QTest::newRow("bill list") << "select * from 历史单据 left join 客户信息 on 历史单据.客户ID=客户信息.客户ID "
                                      "order by 单据日期,单据ID" << 2;
        QTest::newRow("dates and client") << "select * from 历史单据 left join 客户信息 on 历史单据.客户ID=客户信息.客户ID  "
                                             "where (单据日期 BETWEEN #2021-01-14# and #2021-01-14#) and "
                                             "(历史单据.客户ID=1) order by 单据日期,单据ID" << 1;
        QTest::newRow("dates upper AND") << "select * from 历史单据 left join 客户信息 on 历史单据.客户ID=客户信息.客户ID "
                                            "where 单据日期 BETWEEN #2021-01-15# AND #2021-01-20# order by 单据日期,单据ID"
                                         << 1;
        QTest::newRow("month first dates") << "select * from 历史单据 where 单据日期 BETWEEN #1/1/2021# and #1/31/2021#"
                                           << 2;
        QTest::newRow("one bill") << "select * from 历史单据 left join 客户信息 on 历史单据.客户ID=客户信息.客户ID "
                                     "where 单据ID=5" << 1;
        QTest::newRow("lines") << "select * from 单据明细 where 单据ID=5 order by 门框ID" << 2;
        QTest::newRow("lines with goods") << "select * from 单据明细 left join 商品信息 on 单据明细.商品ID=商品信息.商品ID "
                                             "where 单据明细.单据ID=5 order by 门框ID" << 2;
        QTest::newRow("leaves not cut") << "select 单据ID,商品名称,现量宽,现量高 from 单据明细 left join 商品信息 on "
                                           "单据明细.商品ID=商品信息.商品ID where (门扇宽=0) and (现量宽>0) order by 门框ID"
                                        << 1;
        QTest::newRow("unmeasured") << "select 历史单据.单据ID,见光宽,现量宽,单据日期,客户名,客户地址 "
                                       "from (历史单据 left join 单据明细 on 历史单据.单据ID=单据明细.单据ID) left join "
                                       "客户信息 on 历史单据.客户ID=客户信息.客户ID where (现量宽=0) and (见光宽)<>0 order by "
                                       "历史单据.单据日期,历史单据.单据ID" << 1;
        QTest::newRow("counter") << "select * from 系统设置 where ID=\"历史单据ID\"" << 1;
        QTest::newRow("like") << "select * from 客户信息 where 客户名 like \"%王%\" order by 客户名" << 2;
        QTest::newRow("bracketed column") << "select [客户名] from 客户信息 where [自定义编号]=\"1\"" << 1;
    }

    void statementsOfTheWindows()
    {
        QFETCH(QString, sql);
        QFETCH(int, rows);
        QCOMPARE(count(sql), rows);
    }

    void joinedNamesAreQualifiedOnlyWhenShared()
    {
        DataQuery q;
        q.SetSql(QStringLiteral("select * from 历史单据 left join 客户信息 on 历史单据.客户ID=客户信息.客户ID where 单据ID=5"));
        q.Open();
        QCOMPARE(q.Field(QStringLiteral("历史单据.客户ID")).asInteger(), 1);
        QCOMPARE(q.Field(QStringLiteral("客户信息.客户ID")).asInteger(), 1);
        QCOMPARE(q.Field(QStringLiteral("客户名")).asString(), QStringLiteral("王建国"));
        QCOMPARE(q.Field(QStringLiteral("单据日期")).asString(), QStringLiteral("2021-01-14"));
        QCOMPARE(q.Field(QStringLiteral("单据日期")).asDate(), QDate(2021, 1, 14));
        QCOMPARE(q.Field(QStringLiteral("安装人员ID")).asInteger(), 2);
        QVERIFY(q.FieldIndex(QStringLiteral("客户ID")) < 0);
        QVERIFY_THROWS_EXCEPTION(StoreError, q.Field(QStringLiteral("客户ID")));
        QVERIFY(q.IsReadOnly());
        QVERIFY_THROWS_EXCEPTION(StoreError, q.EditRow());

        q.SetSql(QStringLiteral("select 历史单据.单据ID,客户名 from 历史单据 left join 客户信息 on "
                                "历史单据.客户ID=客户信息.客户ID where 单据ID=6"));
        q.Open();
        QCOMPARE(q.FieldNames(), QStringList({"单据ID", "客户名"}));
        // The client of bill 6 is gone: still listed, client columns empty.
        QVERIFY(q.Field(QStringLiteral("客户名")).isNull());
        QCOMPARE(q.Field(QStringLiteral("客户名")).asString(), QString());
    }

    // Columns are named alike on both engines: expressions by their text, as the file's engine does.
    void expressionColumnsNamedByTheirText()
    {
        DataQuery q;
        q.SetSql(QStringLiteral("select count(*), max( 门框ID ), 1, \"合计\", 单据ID, round(sum(见光宽)/3, 1), "
                                "max(见光宽) is null, sum(现量宽) as 合计宽 from 单据明细 group by 单据ID order by 单据ID"));
        q.Open();
        QCOMPARE(q.FieldNames(), (QStringList{"count(*)", "max( 门框ID )", "1", "'合计'", "单据ID",
                                              "round(sum(见光宽)/3, 1)", "max(见光宽) is null", "合计宽"}));
        QCOMPARE(q.TextAt(1, 0), QStringLiteral("2"));
        QCOMPARE(q.TextAt(1, 5), QStringLiteral("566.7"));
        QCOMPARE(q.TextAt(1, 7), QStringLiteral("830"));
    }

    // A maintainer renames a column: the next result carries the new name and can still be changed.
    void renamedColumnReadAfresh()
    {
        QCOMPARE(count(QStringLiteral("select * from 客户信息")), 4); // names read once before the change
        Database::Exec(QStringLiteral("alter table 客户信息 rename column 客户备注 to 备注"));
        DataQuery q;
        q.SetSql(QStringLiteral("select * from 客户信息 where 自定义编号=\"1\""));
        q.Open();
        QCOMPARE(q.FieldNames().last(), QStringLiteral("备注"));
        q.EditRow();
        q.Field(QStringLiteral("备注")).setString(QStringLiteral("改名以后"));
        q.ApplyUpdates();
        QCOMPARE(count(QStringLiteral("select * from 客户信息 where 备注=\"改名以后\"")), 1);
    }

    void numbersReadAsPlainText_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("read");
        QTest::newRow("whole") << "850" << "850";
        QTest::newRow("half") << "850.5" << "850.5";
        QTest::newRow("trailing zeros") << "850.50" << "850.5";
        QTest::newRow("spaces") << " 12 " << "12";
        QTest::newRow("negative") << "-3" << "-3";
        QTest::newRow("leading zeros") << "0850" << "850";
        QTest::newRow("no whole part") << ".5" << "0.5";
        QTest::newRow("no fraction") << "5." << "5";
        QTest::newRow("exponent") << "8.5e2" << "850";
        QTest::newRow("plus sign") << "+7" << "7";
        QTest::newRow("shortest exact") << "0.1" << "0.1";
        QTest::newRow("full-width spaces kept out") << "\u3000" "12" << "12";
        QTest::newRow("whole beyond digits kept exact") << "1e16" << "10000000000000000";
        QTest::newRow("negative zero") << "-0" << "0";
    }

    void numbersReadAsPlainText()
    {
        QFETCH(QString, typed);
        QFETCH(QString, read);
        DataQuery q;
        q.SetSql(QStringLiteral("select * from 单据明细"));
        q.Open();
        q.AppendRow();
        q.Field(QStringLiteral("单据ID")).setString(QStringLiteral("7"));
        q.Field(QStringLiteral("数量")).setString(typed);
        q.ApplyUpdates();
        q.SetSql(QStringLiteral("select * from 单据明细 where 单据ID=7"));
        q.Open();
        QCOMPARE(q.Field(QStringLiteral("数量")).asString(), read);
        // The grid's and the web page's readings give the same text.
        const int c = q.FieldIndex(QStringLiteral("数量"));
        QCOMPARE(q.TextAt(1, c), read);
        QByteArray utf8 = "x";
        q.AppendTextAt(1, c, utf8);
        QCOMPARE(utf8, "x" + read.toUtf8());
    }

    // Typed dates: the form the program writes, the others a clerk types, and what is no date.
    void datesReadAsTheyAreMeant_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("read"); // "" when refused
        QTest::newRow("as written") << "2021-01-14" << "2021-01-14";
        QTest::newRow("short month and day") << "2021-1-5" << "2021-01-05";
        QTest::newRow("slashes") << "2021/1/5" << "2021-01-05";
        QTest::newRow("with a time") << "2021-01-14 08:30" << "2021-01-14";
        QTest::newRow("leap day") << "2024-02-29" << "2024-02-29";
        QTest::newRow("no such day") << "2021-02-29" << "";
        QTest::newRow("month 13") << "2021-13-01" << "";
        QTest::newRow("year 0") << "0000-01-01" << "";
        QTest::newRow("letters") << "2021-0a-01" << "";
    }

    void datesReadAsTheyAreMeant()
    {
        QFETCH(QString, typed);
        QFETCH(QString, read);
        DataQuery q;
        q.SetSql(QStringLiteral("select * from 历史单据 where 单据ID=5"));
        q.Open();
        q.EditRow();
        try {
            q.Field(QStringLiteral("单据日期")).setString(typed);
        } catch (const StoreError& e) {
            QVERIFY2(read.isEmpty(), qPrintable(e.message()));
            QVERIFY2(e.message().contains(QStringLiteral("单据日期")), qPrintable(e.message()));
            return;
        }
        QVERIFY2(!read.isEmpty(), "accepted");
        q.ApplyUpdates();
        q.Open();
        QCOMPARE(q.Field(QStringLiteral("单据日期")).asString(), read);
    }

    void badValuesAreRefusedWithTheirName_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty number") << "数量" << "";
        QTest::newRow("letters") << "见光宽" << "abc";
        QTest::newRow("integer with fraction") << "商品ID" << "1.5";
        QTest::newRow("empty integer") << "单据ID" << "";
        QTest::newRow("lone sign") << "见光宽" << "-";
        QTest::newRow("two signs") << "见光宽" << "--8";
        QTest::newRow("exponent alone") << "见光宽" << "e5";
        QTest::newRow("beyond a double") << "见光宽" << "1e400";
        QTest::newRow("two points") << "见光宽" << "8.0.1";
        QTest::newRow("full-width digits") << "见光宽" << "８００";
    }

    void badValuesAreRefusedWithTheirName()
    {
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
            QVERIFY2(e.message().contains(field), qPrintable(e.message()));
        }
    }

    void appendedLinesKeepTheirOrder()
    {
        DataQuery q;
        q.SetSql(QStringLiteral("select * from 单据明细"));
        q.Open();
        for (const char* w : {"700", "710", "720"}) {
            q.AppendRow();
            q.Field(QStringLiteral("单据ID")).setString(QStringLiteral("8"));
            q.Field(QStringLiteral("见光宽")).setString(QString::fromLatin1(w));
            q.PostRow();
        }
        q.ApplyUpdates();
        // Keys read back, increasing, and unset numbers took their default.
        QCOMPARE(q.RowCount(), 5);
        q.MoveToRow(5);
        const qint64 last = q.Field(QStringLiteral("门框ID")).asInteger();
        q.MoveToRow(3);
        QVERIFY(q.Field(QStringLiteral("门框ID")).asInteger() < last);
        QCOMPARE(q.Field(QStringLiteral("埋地")).asString(), QStringLiteral("0"));
        q.SetSql(QStringLiteral("select * from 单据明细 where 单据ID=8 order by 门框ID"));
        q.Open();
        QStringList widths;
        for (q.MoveFirst(); !q.Eof(); q.MoveNext())
            widths << q.Field(QStringLiteral("见光宽")).asString();
        QCOMPARE(widths, QStringList({"700", "710", "720"}));
    }

    // A key given by hand moves the engine's next key past it, on both engines.
    void keyGivenByHandMovesTheNextKey()
    {
        Database::Exec(QStringLiteral("insert into 客户信息 (客户ID,客户名) values (50,\"手填\")"));
        DataQuery q;
        q.SetSql(QStringLiteral("select * from 客户信息 where 客户ID>=50"));
        q.Open();
        q.AppendRow();
        q.Field(QStringLiteral("客户名")).setString(QStringLiteral("新"));
        q.ApplyUpdates();
        QCOMPARE(q.Field(QStringLiteral("客户ID")).asInteger(), 51);
        // A removed key is not given again.
        Database::Exec(QStringLiteral("delete from 客户信息 where 客户ID=51"));
        q.Open();
        q.AppendRow();
        q.Field(QStringLiteral("客户名")).setString(QStringLiteral("再新"));
        q.ApplyUpdates();
        QCOMPARE(q.Field(QStringLiteral("客户ID")).asInteger(), 52);
    }

    // Rows written in a transaction that rolls back move a server's numbering all the same: what the
    // engine marks before is where its numbering stands again afterwards, on either engine.
    void numberingPutBackAfterARollback_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("insert");
        QTest::newRow("clients") << "客户信息" << "客户ID" << "insert into 客户信息 (客户名) values (\"回滚\")";
        QTest::newRow("products") << "商品信息" << "商品ID" << "insert into 商品信息 (商品名称) values (\"回滚\")";
        QTest::newRow("lines") << "单据明细" << "门框ID" << "insert into 单据明细 (单据ID,商品ID) values (5,1)";
    }
    void numberingPutBackAfterARollback()
    {
        QFETCH(QString, table);
        QFETCH(QString, key);
        QFETCH(QString, insert);
        engine::Engine& e = engine::Current();
        const qint64 before = e.numberingPosition(table, key);
        QVERIFY(before > 0);
        const std::vector<engine::NumberingMark> marks = e.numberingBeyondRollback({{table, key, 0}});
        {
            TransactionScope scope;
            Database::Exec(insert);
            Database::Exec(insert);
        }
        e.putNumberingBack(marks);
        QCOMPARE(e.numberingPosition(table, key), before);
        Database::Exec(insert);
        QCOMPARE(count(QStringLiteral("select * from %1 where %2=%3").arg(table, key).arg(before + 1)), 1);
    }

    void changesWaitForApply()
    {
        DataQuery q;
        q.SetSql(QStringLiteral("select * from 单据明细 where 单据ID=5 order by 门框ID"));
        q.Open();
        q.MoveToRow(1);
        q.DeleteRow();
        q.EditRow();
        q.Field(QStringLiteral("见光宽")).setString(QStringLiteral("1"));
        QVERIFY(q.HasPendingChanges());
        q.Close();
        QCOMPARE(count(QStringLiteral("select * from 单据明细 where 单据ID=5")), 2);
        QCOMPARE(count(QStringLiteral("select * from 单据明细 where 见光宽=1")), 0);

        q.Open();
        q.MoveToRow(2);
        q.EditRow();
        q.Field(QStringLiteral("现量宽")).setString(QStringLiteral("845"));
        q.MoveToRow(1);
        q.DeleteRow();
        q.ApplyUpdates();
        QCOMPARE(count(QStringLiteral("select * from 单据明细 where 单据ID=5")), 1);
        QCOMPARE(count(QStringLiteral("select * from 单据明细 where 现量宽=845")), 1);
    }

    void applyIsAllOrNothing()
    {
        DataQuery q;
        q.SetSql(QStringLiteral("select * from 历史单据"));
        q.Open();
        q.AppendRow();
        q.Field(QStringLiteral("单据ID")).setString(QStringLiteral("9"));
        q.AppendRow();
        q.Field(QStringLiteral("单据ID")).setString(QStringLiteral("5")); // taken
        QVERIFY_THROWS_EXCEPTION(StoreError, q.ApplyUpdates());
        QCOMPARE(count(QStringLiteral("select * from 历史单据 where 单据ID=9")), 0);
        QVERIFY(q.HasPendingChanges());
        // Mended, the same changes go through.
        q.Field(QStringLiteral("单据ID")).setString(QStringLiteral("10"));
        q.ApplyUpdates();
        QCOMPARE(count(QStringLiteral("select * from 历史单据")), 4);
    }

    void outerScopeRollsBackApplies()
    {
        {
            TransactionScope scope;
            DataQuery q;
            q.SetSql(QStringLiteral("select * from 系统设置 where ID=\"历史单据ID\""));
            q.Open();
            q.EditRow();
            q.Field(QStringLiteral("值")).setInteger(q.FieldAt(1).asInteger() + 1);
            q.ApplyUpdates();
            {
                TransactionScope inner;
                Database::Exec(QStringLiteral("delete from 单据明细 where 单据ID=5"));
            } // inner rolled back, outer goes on
            QCOMPARE(count(QStringLiteral("select * from 单据明细 where 单据ID=5")), 2);
        } // never committed
        DataQuery q;
        q.SetSql(QStringLiteral("select * from 系统设置 where ID=\"历史单据ID\""));
        q.Open();
        QCOMPARE(q.FieldAt(1).asInteger(), 1);
    }

    // Scopes within scopes, written as a script: [ opens a scope, w writes the next client (1, 2, ...),
    // c commits the innermost scope, r rolls it back. On a server the control of a scope waits for
    // its first statement, and a scope that wrote nothing sends nothing at all.
    void nestedScopes_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("kept");
        QTest::newRow("inner committed") << "[w[wcc"
                                         << "1,2";
        QTest::newRow("inner rolled back") << "[w[wrc"
                                           << "1";
        QTest::newRow("inner rolled back before writing") << "[w[rwc"
                                                          << "1,2";
        QTest::newRow("inner wrote nothing") << "[[cwc"
                                             << "1";
        QTest::newRow("outer rolled back") << "[w[wcr"
                                           << "";
        QTest::newRow("siblings") << "[[wc[wrwc"
                                  << "1,3";
        QTest::newRow("middle of three rolled back") << "[w[w[wcrc"
                                                     << "1";
        QTest::newRow("innermost rolled back") << "[[w[wrcc"
                                               << "1";
        QTest::newRow("innermost alone written, all committed") << "[[[wccc"
                                                                << "1";
        QTest::newRow("nothing written, then a transaction") << "[c[wc"
                                                             << "1";
        QTest::newRow("nothing written, rolled back") << "[[cr[wc"
                                                      << "1";
        QTest::newRow("many applies in one") << "[[wc[wc[wc[wcc"
                                             << "1,2,3,4";
        QTest::newRow("rolled back, then again") << "[[wr[wcc"
                                                 << "2";
        QTest::newRow("written between siblings") << "[[wcw[wcc"
                                                  << "1,2,3";
    }

    void nestedScopes() {
        QFETCH(QString, script);
        QFETCH(QString, kept);
        const QString where = QStringLiteral(" where 客户名 like \"脚本%\"");
        std::vector<std::unique_ptr<TransactionScope>> open;
        int written = 0;
        for (const QChar step : script) {
            if (step == QLatin1Char('[')) {
                open.push_back(std::make_unique<TransactionScope>());
            } else if (step == QLatin1Char('w')) {
                Database::Exec(QStringLiteral("insert into 客户信息 (自定义编号,客户名) values (\"%1\",\"脚本%1\")")
                                   .arg(++written));
            } else {
                if (step == QLatin1Char('c'))
                    open.back()->Commit();
                open.pop_back();
            }
        }
        QVERIFY(open.empty());
        // Read on a new connection: what was committed is there, and nothing was left open.
        Database::Close();
        Database::Open(test::DatabaseFor(m_dir.filePath(QStringLiteral("kvt%1.db").arg(m_case))));
        DataQuery q;
        q.SetSql(QStringLiteral("select 自定义编号 from 客户信息") + where + QStringLiteral(" order by 自定义编号"));
        q.Open();
        QStringList got;
        for (int r = 1; r <= q.RowCount(); ++r)
            got << q.TextAt(r, 0);
        QCOMPARE(got.join(QLatin1Char(',')), kept);
    }

    // The server ended this workstation's connection (a restart, an administrator). A transaction that
    // had sent nothing yet starts on a new connection and is saved; one that had is gone, says so, and
    // leaves nothing, and the next one connects again.
    void connectionDroppedOnTheServer_data() {
        QTest::addColumn<bool>("inside");
        QTest::newRow("between transactions") << false;
        QTest::newRow("inside a transaction") << true;
    }

    void connectionDroppedOnTheServer() {
        if (!test::OnServer())
            QSKIP("a file has no connection to lose");
        QFETCH(bool, inside);
        auto dropOurConnection = [] {
            test::ServerConnectionForTest other;
            QCOMPARE(other.exec(QStringLiteral("select pg_terminate_backend(pid) from pg_stat_activity where "
                                               "application_name='kvt'")),
                     QString());
            for (int i = 0; i < 500; ++i) {
                other.exec(QStringLiteral("select count(*) from pg_stat_activity where application_name='kvt'"));
                if (other.lastValue() == QLatin1String("0"))
                    return;
                QTest::qWait(10);
            }
            QFAIL("the server did not end the connection");
        };
        const QString insert = QStringLiteral("insert into 客户信息 (自定义编号,客户名) values (\"%1\",\"断开\")");
        if (!inside) {
            dropOurConnection();
            TransactionScope scope;
            Database::Exec(insert.arg(11));
            Database::Exec(insert.arg(12));
            scope.Commit();
            QCOMPARE(count(QStringLiteral("select * from 客户信息 where 客户名=\"断开\"")), 2);
            return;
        }
        {
            TransactionScope scope;
            Database::Exec(insert.arg(11));
            dropOurConnection();
            try {
                TransactionScope apply;
                Database::Exec(insert.arg(12));
                QFAIL("a statement on a dropped connection went through");
            } catch (const StoreError& e) {
                QVERIFY2(e.message().startsWith(QStringLiteral("与数据库服务器的连接已断开，本次修改没有保存。")),
                         qPrintable(e.message()));
            }
            QVERIFY_THROWS_EXCEPTION(StoreError, scope.Commit());
        }
        QCOMPARE(count(QStringLiteral("select * from 客户信息 where 客户名=\"断开\"")), 0);
        Database::Exec(insert.arg(13));
        QCOMPARE(count(QStringLiteral("select * from 客户信息 where 客户名=\"断开\"")), 1);
    }

    // A row written back or deleted was once found by reading the whole table on the server: a bill's
    // save took seconds on a workshop's years of lines.
    void writtenBackRowsAreFoundByTheirKey_data()
    {
        QTest::addColumn<bool>("deleting");
        QTest::newRow("changed") << false;
        QTest::newRow("deleted") << true;
    }

    void writtenBackRowsAreFoundByTheirKey()
    {
        if (!test::OnServer())
            QSKIP("the file's engine reaches a row by its key with or without NULL-safe matching");
        QFETCH(bool, deleting);
        Database::Exec(QStringLiteral("insert into 单据明细 (单据ID,见光宽) select g,800 from generate_series(100,3100) g"));
        Database::Exec(QStringLiteral("analyze 单据明细"));
        DataQuery q;
        q.SetSql(QStringLiteral("select * from 单据明细 where 单据ID=2000"));
        q.Open();
        QCOMPARE(q.RowCount(), 1);
        if (deleting) {
            q.DeleteRow();
        } else {
            q.EditRow();
            q.Field(QStringLiteral("见光宽")).setString(QStringLiteral("805"));
        }
        // The server counts the table's scans read through, its own in the open transaction included.
        auto tableReadsThrough = [] {
            DataQuery stats;
            stats.SetSql(QStringLiteral("select seq_scan from pg_stat_xact_user_tables where relname='单据明细' and "
                                    "schemaname=current_schema()"));
            stats.Open();
            return stats.FieldAt(0).asInteger();
        };
        TransactionScope scope;
        const qint64 before = tableReadsThrough();
        q.ApplyUpdates();
        QCOMPARE(tableReadsThrough() - before, qint64(0));
        QCOMPARE(count(QStringLiteral("select * from 单据明细 where 单据ID=2000 and 见光宽=805")), deleting ? 0 : 1);
        QCOMPARE(count(QStringLiteral("select * from 单据明细 where 单据ID=2000")), deleting ? 0 : 1);
        scope.Commit();
    }

    void typedTextsKeepTheirMeaning_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("exact");
        QTest::addColumn<int>("contains");
        QTest::newRow("plain") << "王" << 0 << 2;
        QTest::newRow("double quote") << "李\"引号\"" << 1 << 1;
        QTest::newRow("lone quote") << "\"" << 0 << 1;
        QTest::newRow("percent") << "%" << 0 << 1;
        QTest::newRow("underscore") << "_" << 0 << 1;
        QTest::newRow("backslash") << "\\" << 0 << 1;
        QTest::newRow("single quote") << "'" << 0 << 1;
        QTest::newRow("all of them") << "100%_a\\b'c" << 1 << 1;
        QTest::newRow("injection") << "\" or 1=1 or \"" << 0 << 0;
        QTest::newRow("hash") << "#1/1/2021#" << 0 << 0;
        QTest::newRow("empty") << "" << 0 << 4;
    }

    void typedTextsKeepTheirMeaning()
    {
        QFETCH(QString, typed);
        QFETCH(int, exact);
        QFETCH(int, contains);
        QCOMPARE(count(QStringLiteral("select * from 客户信息 where 客户名=") + SqlText(typed)), exact);
        QCOMPARE(count(QStringLiteral("select * from 客户信息 where 客户名 like ") + SqlContains(typed)), contains);
    }

    // like matches ASCII letters regardless of case and every other character exactly, on both engines.
    void likeFoldsOnlyAsciiLetters_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("matches");
        QTest::newRow("ascii, other case") << "MDF-Board" << "mdf-b" << true;
        QTest::newRow("ascii, same case") << "mdf" << "mdf" << true;
        QTest::newRow("accented, other case") << "Ärger" << "ärg" << false;
        QTest::newRow("accented, same case") << "ärger" << "ärg" << true;
        QTest::newRow("full-width letters") << "ＡＢ门" << "ａｂ" << false;
        QTest::newRow("chinese") << "王建国" << "建" << true;
    }

    void likeFoldsOnlyAsciiLetters()
    {
        QFETCH(QString, stored);
        QFETCH(QString, typed);
        QFETCH(bool, matches);
        Database::Exec(QStringLiteral("insert into 客户信息 (自定义编号,客户名) values (\"like\",%1)").arg(SqlText(stored)));
        QCOMPARE(count(QStringLiteral("select * from 客户信息 where 自定义编号=\"like\" and 客户名 like ") +
                       SqlContains(typed)),
                 matches ? 1 : 0);
    }

    void findRowAndPositions()
    {
        DataQuery q;
        q.SetSql(QStringLiteral("select * from 商品信息 "));
        q.Open();
        QCOMPARE(q.FieldAt(0).name(), QStringLiteral("商品名称"));
        QCOMPARE(q.FieldAt(3).asString(), QStringLiteral("101"));
        QCOMPARE(q.FieldAt(2).asString(), QStringLiteral("\"见光宽\"+40"));
        QVERIFY(q.FindRow(QStringLiteral("商品ID"), 1));
        QVERIFY(!q.FindRow(QStringLiteral("商品ID"), 99));
        QCOMPARE(q.CurrentRow(), 1);
    }

    void closedQueryAndBadStatementsFail()
    {
        DataQuery q;
        QVERIFY_THROWS_EXCEPTION(StoreError, q.Field(QStringLiteral("x")));
        q.SetSql(QStringLiteral("select * from 没有的表"));
        QVERIFY_THROWS_EXCEPTION(StoreError, q.Open());
        q.SetSql(QStringLiteral("select * from 客户信息 where 客户名=\"没有结束"));
        QVERIFY_THROWS_EXCEPTION(StoreError, q.Open());
        q.SetSql(QStringLiteral("delete from 单据明细 where 单据ID=5"));
        QVERIFY_THROWS_EXCEPTION(StoreError, q.Open()); // returns no rows: nothing run
        QCOMPARE(count(QStringLiteral("select * from 单据明细")), 2);
        QCOMPARE(q.Execute(), 2);
        QCOMPARE(count(QStringLiteral("select * from 单据明细")), 0);
        // A table change after a delete reports no rows of its own.
        q.SetSql(QStringLiteral("create table 备用 (a integer)"));
        QCOMPARE(q.Execute(), 0);
        q.SetSql(QStringLiteral("select * from 客户信息"));
        QCOMPARE(q.Execute(), 0);
    }

    void dialectTranslation_data()
    {
        QTest::addColumn<QString>("ours");
        QTest::addColumn<QString>("sqlite");
        QTest::newRow("text") << "a=\"x\"\"y\"" << "a='x\"y'";
        QTest::newRow("apostrophe in text") << "a=\"it's\"" << "a='it''s'";
        QTest::newRow("date ymd") << "#2021-1-4#" << "'2021-01-04'";
        QTest::newRow("date mdy") << "#12/31/2020#" << "'2020-12-31'";
        QTest::newRow("hash inside text") << "\"#1#\"" << "'#1#'";
        QTest::newRow("bracket") << "[客户名]" << "\"客户名\"";
        QTest::newRow("single-quoted text stays") << "a='it''s' and b=''" << "a='it''s' and b=''";
        QTest::newRow("text after a comment") << "a=1 -- it's\nand b=\"x\"" << "a=1 -- it's\nand b='x'";
        QTest::newRow("text inside a block comment") << "a=1 /* \"x\" */" << "a=1 /* \"x\" */";
    }

    void dialectRefusals_data()
    {
        QTest::addColumn<QString>("ours");
        QTest::newRow("single quote not closed") << "a='x";
        QTest::newRow("quotes even only with the comment's") << "-- it's\na='x";
        QTest::newRow("date not closed") << "a=#2021-1-4";
    }

    void dialectRefusals()
    {
        QFETCH(QString, ours);
        QVERIFY_THROWS_EXCEPTION(StoreError, TranslateToSqlite(ours));
    }

    void dialectTranslation()
    {
        QFETCH(QString, ours);
        QFETCH(QString, sqlite);
        QCOMPARE(TranslateToSqlite(ours), sqlite);
    }

    void dialectTranslationForTheServer_data()
    {
        QTest::addColumn<QString>("ours");
        QTest::addColumn<QString>("server");
        QTest::newRow("names quoted, texts single") << "select * from 系统设置 where ID=\"历史单据ID\""
                                                    << "select * from \"系统设置\" where \"ID\"='历史单据ID'";
        QTest::newRow("name in any case") << "select id from 系统设置" << "select \"ID\" from \"系统设置\"";
        QTest::newRow("table.column") << "历史单据.客户ID=客户信息.客户ID"
                                      << "\"历史单据\".\"客户ID\"=\"客户信息\".\"客户ID\"";
        QTest::newRow("date") << "单据日期 BETWEEN #1/2/2021# AND #2021-2-3#"
                              << "\"单据日期\" BETWEEN '2021-01-02' AND '2021-02-03'";
        QTest::newRow("like") << "客户名 like \"%王%\" ESCAPE \"\\\"" << "\"客户名\" ilike '%王%' ESCAPE '\\'";
        QTest::newRow("not like") << "客户名 NOT LIKE \"a\"" << "\"客户名\" NOT ilike 'a'";
        QTest::newRow("bracket") << "[面积(㎡)]" << "\"面积(㎡)\"";
        QTest::newRow("expressions named by their text")
            << "select count(*), max( 门框ID ), 1, \"合计\", 单据ID, 单据明细.数量, a.* from 单据明细"
            << "select count(*) as \"count(*)\", max( \"门框ID\" ) as \"max( 门框ID )\", 1 as \"1\", '合计' as \"'合计'\", "
               "\"单据ID\", \"单据明细\".\"数量\", a.* from \"单据明细\"";
        QTest::newRow("named expressions stay") << "select sum(数量) 块数, a+1 as b, x is null from t"
                                                << "select sum(\"数量\") 块数, a+1 as b, x is null as \"x is null\" from t";
        QTest::newRow("alias keeps case") << "select count(*) as Lines from 单据明细 order by lines"
                                          << "select count(*) as \"Lines\" from \"单据明细\" order by \"Lines\" nulls first";
        QTest::newRow("cast type") << "select cast(数量 as INTEGER) from 单据明细"
                                   << "select cast(\"数量\" as INTEGER) as \"cast(数量 as INTEGER)\" from \"单据明细\"";
        QTest::newRow("ifnull") << "ifnull(客户名,\"\")" << "coalesce(\"客户名\",'')";
        QTest::newRow("round") << "select round(round(a*b,4)/10000) as x"
                               << "select round((round((a*b)::numeric,4)::float8/10000)::numeric)::float8 as x";
        QTest::newRow("round named by its text") << "select round(a)" << "select round((a)::numeric)::float8 as \"round(a)\"";
        QTest::newRow("order nulls") << "order by 单据日期,单据ID desc, a nulls last limit 3"
                                     << "order by \"单据日期\" nulls first,\"单据ID\" desc nulls last, a nulls last limit 3";
        QTest::newRow("order by a call") << "order by coalesce(a,b) desc, f(c)"
                                         << "order by coalesce(a,b) desc nulls last, f(c) nulls first";
        QTest::newRow("order inside") << "select (select max(a) as m from t order by b) x order by 2 desc"
                                      << "select (select max(a) as m from t order by b nulls first) x order by 2 desc nulls last";
        QTest::newRow("words in texts stay") << "\"like ID order by\"" << "'like ID order by'";
        QTest::newRow("comment stays") << "select 1 as a -- like ID\n" << "select 1 as a -- like ID\n";
        QTest::newRow("subquery named") << "select a from (select 1 as a) order by a"
                                        << "select a from (select 1 as a) as kvt_subquery1 order by a nulls first";
        QTest::newRow("subquery with a name") << "select * from (select 1 as a) x, (select 2 as b) as y"
                                              << "select * from (select 1 as a) x, (select 2 as b) as y";
        QTest::newRow("joined tables in brackets") << "from (历史单据 left join 客户信息 on 1=1) where 2=2"
                                                   << "from (\"历史单据\" left join \"客户信息\" on 1=1) where 2=2";
        QTest::newRow("for update stays") << "select * from 系统设置 for update"
                                          << "select * from \"系统设置\" for update";
    }

    void dialectTranslationForTheServer()
    {
        QFETCH(QString, ours);
        QFETCH(QString, server);
        QCOMPARE(TranslateToPostgres(ours), server);
    }

    void lockingReadOnAFile()
    {
        // A file's writer holds the whole file: a locking read is an ordinary one there.
        QCOMPARE(TranslateToSqlite(QStringLiteral("select * from 系统设置 where ID=\"历史单据ID\" FOR  UPDATE")),
                 QStringLiteral("select * from 系统设置 where ID='历史单据ID'"));
        QCOMPARE(count(QStringLiteral("select * from 系统设置 for update")), 1);
    }

    void twoConnectionsShareTheFile()
    {
        // A second program on the same database sees what the first wrote, and its writes wait.
        const QString path = Database::Path();
        Database::Exec(QStringLiteral("insert into 历史单据 (单据ID) values (20)"));
        QProcess other;
        if (test::OnServer())
            other.start(QStringLiteral("psql"), {QStringLiteral("-qAtc"),
                                                 QStringLiteral("insert into 历史单据 (\"单据ID\") values (21);"
                                                                "select count(*) from 历史单据;"),
                                                 path});
        else
            other.start(QStringLiteral("sqlite3"), {path, QStringLiteral("insert into 历史单据 (单据ID) values (21);"
                                                                         "select count(*) from 历史单据;")});
        QVERIFY(other.waitForFinished(20000));
        QCOMPARE(other.readAllStandardOutput().trimmed(), QByteArray("4"));
        QCOMPARE(count(QStringLiteral("select * from 历史单据")), 4);
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "test_store.moc"
