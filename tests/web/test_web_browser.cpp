// A measurer's road in a real browser: headless Chromium logs in to kvtweb, opens a bill, types
// two sizes and saves; the database then holds them with the sizes computed from them.

#include "WebClient.h"
#include "store/Database.h"
#include "web/Accounts.h"

#include <QTemporaryDir>

using namespace kvt;
using namespace kvt::test;

class TestWebBrowser : public QObject {
    Q_OBJECT
private slots:
    void measurerTypesTwoSizes() {
        QTemporaryDir dir;
        Database::Open(dir.filePath(QStringLiteral("kvt.db")));
        Database::Exec(QStringLiteral("insert into 客户信息 (客户名,自定义编号) values (\"王五\",\"c1\")"));
        Database::Exec(QStringLiteral("insert into 商品信息 (商品名称,自定义编号,门扇宽公式,门扇高公式) values "
                                      "(\"木门\",\"A1\",\"\"\"现量宽\"\"-6\",\"\"\"现量高\"\"-10\")"));
        QList<qint64> ids;
        const qint64 bill = addBill(1, QStringLiteral("东街1号"), QDate(2026, 5, 1), {1, 1}, &ids);
        web::saveAccount(QStringLiteral("李工"), QStringLiteral("password1"));

        KvtWeb web;
        QVERIFY(web.start(QStringLiteral(KVT_WEB_PROGRAM), dir.path()));
        QProcess browser;
        browser.start(QStringLiteral("python3"),
                      {QStringLiteral(KVT_BROWSER_CHECK), QStringLiteral("https://127.0.0.1:%1").arg(web.port),
                       QStringLiteral("李工"), QStringLiteral("password1"), QString::number(bill),
                       QStringLiteral("%1=905,2025").arg(ids[1])});
        QVERIFY(browser.waitForFinished(120000));
        QVERIFY2(browser.exitCode() == 0, browser.readAllStandardError().constData());
        QCOMPARE(sizes(ids[1]), QStringLiteral("905 2025 899 2015 0 0"));
        QCOMPARE(sizes(ids[0]), QStringLiteral("0 0 0 0 0 0"));
        QTRY_VERIFY(web.log().contains(QStringLiteral("保存 用户=李工 地址=127.0.0.1 单据=%1 行数=1").arg(bill)));
        Database::Close();
    }
};

QTEST_GUILESS_MAIN(TestWebBrowser)
#include "test_web_browser.moc"
