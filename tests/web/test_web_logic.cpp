// The web page's rules without a socket: sessions and their end, the login throttle's counting,
// which typed sizes a save takes, and the escaping of text put into a page.

#include "web/Accounts.h"
#include "web/Measure.h"
#include "web/Pages.h"
#include "web/Sessions.h"
#include "web/WebSite.h"

#include <QtTest>

using namespace kvt::web;

namespace {
constexpr qint64 kMinute = 60 * 1000;
constexpr qint64 kStart = 1'800'000'000'000;
} // namespace

class TestWebLogic : public QObject {
    Q_OBJECT
private slots:
    void sessionEnds_data() {
        QTest::addColumn<qint64>("after");
        QTest::addColumn<bool>("loggedOut");
        QTest::addColumn<bool>("alive");
        QTest::newRow("at once") << qint64(0) << false << true;
        QTest::newRow("a minute before 12 hours") << Sessions::kLifetime - kMinute << false << true;
        QTest::newRow("at 12 hours") << Sessions::kLifetime << false << false;
        QTest::newRow("a day later") << 24 * 60 * kMinute << false << false;
        QTest::newRow("logged out") << kMinute << true << false;
    }
    void sessionEnds() {
        QFETCH(qint64, after);
        QFETCH(bool, loggedOut);
        Sessions sessions;
        const QByteArray token = sessions.open(QStringLiteral("李工"), kStart);
        const QByteArray other = sessions.open(QStringLiteral("张工"), kStart);
        if (loggedOut)
            sessions.close(token);
        const auto found = sessions.find(token, kStart + after);
        QTEST(found.has_value(), "alive");
        if (found) {
            QCOMPARE(found->name, QStringLiteral("李工"));
            QVERIFY(!tokensEqual(found->formToken, sessions.find(other, kStart)->formToken));
        }
        // An ended session stays ended when the clock is set back.
        QTEST(sessions.find(token, kStart).has_value(), "alive");
        QVERIFY(!sessions.find(token + "x", kStart));
        QVERIFY(!sessions.find(QByteArray(), kStart));
    }

    void tokensCompare_data() {
        QTest::addColumn<QByteArray>("a");
        QTest::addColumn<QByteArray>("b");
        QTest::addColumn<bool>("equal");
        QTest::newRow("same") << QByteArray("abcdef") << QByteArray("abcdef") << true;
        QTest::newRow("last differs") << QByteArray("abcdef") << QByteArray("abcdeg") << false;
        QTest::newRow("prefix") << QByteArray("abcdef") << QByteArray("abc") << false;
        QTest::newRow("both empty") << QByteArray() << QByteArray() << false;
    }
    void tokensCompare() {
        QFETCH(QByteArray, a);
        QFETCH(QByteArray, b);
        QTEST(tokensEqual(a, b), "equal");
    }

    void throttle_data() {
        QTest::addColumn<QList<qint64>>("failures"); // minutes after the start, all for 李工 from .10
        QTest::addColumn<qint64>("triedAt");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("blocked");
        const QList<qint64> five = {0, 1, 2, 3, 4};
        QTest::newRow("four") << QList<qint64>{0, 1, 2, 3} << qint64(5) << "李工"
                              << "10.0.0.10" << false;
        QTest::newRow("five") << five << qint64(5) << "李工"
                              << "10.0.0.10" << true;
        QTest::newRow("five, same name elsewhere") << five << qint64(5) << "李工"
                                                   << "10.0.0.11" << true;
        QTest::newRow("five, other name from there") << five << qint64(5) << "张工"
                                                     << "10.0.0.10" << true;
        QTest::newRow("five, other name elsewhere") << five << qint64(5) << "张工"
                                                    << "10.0.0.11" << false;
        QTest::newRow("five over more than ten minutes") << QList<qint64>{0, 3, 6, 9, 12} << qint64(13) << "李工"
                                                         << "10.0.0.10" << false;
        QTest::newRow("just before the block ends") << five << qint64(13) << "李工"
                                                    << "10.0.0.10" << true;
        QTest::newRow("ten minutes after the fifth") << five << qint64(14) << "李工"
                                                     << "10.0.0.10" << false;
    }
    void throttle() {
        QFETCH(QList<qint64>, failures);
        QFETCH(qint64, triedAt);
        QFETCH(QString, name);
        QFETCH(QString, address);
        LoginThrottle t;
        for (const qint64 m : failures)
            t.failed(QStringLiteral("李工"), QStringLiteral("10.0.0.10"), kStart + m * kMinute);
        QTEST(t.blocked(name, address, kStart + triedAt * kMinute), "blocked");
    }

    void sizes_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("taken");
        for (const char* ok : {"905", "905.5", "1", "10000", " 2025 ", "0905", "10000.000", ""})
            QTest::newRow(ok) << QString::fromUtf8(ok) << true;
        for (const char* bad : {"0", "0.5", "10000.5", "10001", "-5", "+5", "1e3", "0x10", "9,05", "9 05", ".5", "5.",
                                "NaN", "inf", "９０５", "905.1234", "123456"})
            QTest::newRow(bad) << QString::fromUtf8(bad) << false;
    }
    void sizes() {
        QFETCH(QString, typed);
        QTEST(sizeProblem(typed).isEmpty(), "taken");
    }

    void escaping_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("escaped");
        QTest::newRow("markup") << "<script>x</script>"
                                << "&lt;script&gt;x&lt;/script&gt;";
        QTest::newRow("attribute breakout") << "\" onfocus='a'"
                                            << "&quot; onfocus=&#39;a&#39;";
        QTest::newRow("entity kept as text") << "&amp;"
                                             << "&amp;amp;";
        QTest::newRow("chinese untouched") << "门框×2"
                                           << "门框×2";
    }
    void escaping() {
        QFETCH(QString, text);
        QTEST(escapeHtml(text), "escaped");
    }

    void pageArgumentsAreNotReplacedTwice() {
        // A client named like a placeholder must not pull the address or the date into its place.
        MeasureBill bill;
        bill.id = 7;
        bill.client = QStringLiteral("%2%3%4");
        bill.address = QStringLiteral("东街");
        bill.date = QStringLiteral("2026-05-01");
        const QString page = QString::fromUtf8(billPage(bill, {}, QStringLiteral("%1"), "tok"));
        QVERIFY(page.contains(QStringLiteral("<b><bdi>%2%3%4</bdi></b>")));
        QVERIFY(page.contains(QStringLiteral("<span><bdi>%1</bdi></span>")));
        const QString list =
            QString::fromUtf8(listPage({bill}, QStringLiteral("%1"), false, QStringLiteral("u"), "tok"));
        QVERIFY(list.contains(QStringLiteral("><bdi>%2%3%4</bdi></a>")));
        QVERIFY(list.contains(QStringLiteral("value=\"%1\"")));
    }

    void databaseTextsIsolated_data() {
        QTest::addColumn<QString>("field");
        for (const char* f : {"client", "address", "date", "product", "buried", "remark", "user"})
            QTest::newRow(f) << QString::fromLatin1(f);
    }
    void databaseTextsIsolated() {
        // An unclosed right-to-left override in any text from the database ends with that text: the
        // page's own text after it is not turned around.
        QFETCH(QString, field);
        const QString evil = QStringLiteral("\u202E王五");
        MeasureBill bill;
        bill.id = 11;
        bill.client = field == QLatin1String("client") ? evil : QStringLiteral("张三");
        bill.address = field == QLatin1String("address") ? evil : QStringLiteral("东街");
        bill.date = field == QLatin1String("date") ? evil : QStringLiteral("2024-05-11");
        MeasureLine line;
        line.id = 5;
        line.hasProduct = true;
        line.product = field == QLatin1String("product") ? evil : QStringLiteral("木门");
        line.buried = field == QLatin1String("buried") ? evil : QStringLiteral("20");
        line.remark = field == QLatin1String("remark") ? evil : QStringLiteral("备注");
        line.lightWidth = QStringLiteral("900");
        line.lightHeight = QStringLiteral("2000");
        bill.lines = {line};
        const QString user = field == QLatin1String("user") ? evil : QStringLiteral("李工");
        for (const QByteArray& html :
             {billPage(bill, {}, user, "tok"), listPage({bill}, QString(), false, user, "tok")}) {
            const QString page = QString::fromUtf8(html);
            const qsizetype overrides = page.count(QChar(0x202E));
            if (field != QLatin1String("remark") && field != QLatin1String("buried"))
                QVERIFY(overrides > 0);
            QCOMPARE(page.count(QStringLiteral("<bdi>\u202E王五</bdi>")), overrides);
        }
    }

    void searchText_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("searched");
        QTest::addColumn<bool>("cut");
        QTest::newRow("plain") << "东街"
                               << "东街" << false;
        QTest::newRow("NUL inside") << QStringLiteral("东\0街") << "东街" << false;
        QTest::newRow("control characters") << "\t东\n街\x7f\x1b"
                                            << "东街" << false;
        QTest::newRow("right-to-left override kept") << "\u202E东"
                                                     << "\u202E东" << false;
        QTest::newRow("spaces around") << "  东街 5号 "
                                       << "东街 5号" << false;
        QTest::newRow("100 characters") << QString(100, QChar(u'长')) << QString(100, QChar(u'长')) << false;
        QTest::newRow("101 characters") << QString(101, QChar(u'长')) << QString(100, QChar(u'长')) << true;
        QTest::newRow("50,000 bytes") << QString(50000, QLatin1Char('a')) << QString(100, QLatin1Char('a')) << true;
        // A character outside the BMP is two UTF-16 units: never cut in half.
        QTest::newRow("pair at the cut") << QString(99, QLatin1Char('a')) + QStringLiteral("\U00020000b")
                                         << QString(99, QLatin1Char('a')) << true;
    }
    void searchText() {
        QFETCH(QString, typed);
        bool cut = false;
        QTEST(kvt::web::searchText(typed, &cut), "searched");
        QTEST(cut, "cut");
    }

    void passwordHash() {
        const QString hash = hashPassword(QStringLiteral("门框password"));
        QVERIFY(hash.startsWith(QStringLiteral("$argon2id$")));
        QVERIFY(!hash.contains(QStringLiteral("password")));
        QVERIFY(passwordMatches(hash, QStringLiteral("门框password")));
        QVERIFY(!passwordMatches(hash, QStringLiteral("门框passwor")));
        QVERIFY(!passwordMatches(hash.left(20), QStringLiteral("门框password")));
        QVERIFY(hashPassword(QStringLiteral("门框password")) != hash); // salted
    }
};

QTEST_GUILESS_MAIN(TestWebLogic)
#include "test_web_logic.moc"
