// kvtweb over real HTTPS on 127.0.0.1: who may in, what is refused and that a refusal writes
// nothing, the sizes a save computes (those of the bill window), and saves that meet a line
// changed meanwhile in the office or by another phone.

#include "WebClient.h"
#include "app/DataLocation.h"
#include "bill/test_bill_support.h"
#include "support/TestDatabase.h"
#include "web/Accounts.h"
#include "web/Certificate.h"
#include "web/Pages.h"

#include <QSettings>

using namespace kvt;
using namespace kvt::test;
using kvt::web::accountNames;
using kvt::web::escapeHtml;

namespace {

const QString kName = QStringLiteral("李工");
const QString kPassword = QStringLiteral("门框-password1");
const QString Q = QStringLiteral("\"");

} // namespace

class TestWebServer : public QObject {
    Q_OBJECT
    QTemporaryDir* m_dir = nullptr;
    FakeDialogs* m_dialogs = nullptr;
    KvtWeb* m_web = nullptr;
    Phone* m_phone = nullptr;
    qint64 m_client = 0, m_product = 0;

    static QString program() { return QStringLiteral(KVT_WEB_PROGRAM); }
    QString folder() const { return m_dir->path(); }

    static QString line(qint64 id, const QString& fields) {
        return Scalar(QStringLiteral("select %1 from 单据明细 where 门框ID=%2").arg(fields).arg(id));
    }
    /// The form of a bill page posting the sizes given (line key, width, height).
    static QList<std::pair<QString, QString>> sizeForm(const Phone& phone,
                                                       const QList<std::tuple<qint64, QString, QString>>& lines) {
        QList<std::pair<QString, QString>> f;
        for (const auto& [id, w, h] : lines)
            f << std::pair{QStringLiteral("v%1").arg(id), phone.fingerprint(id)}
              << std::pair{QStringLiteral("w%1").arg(id), w} << std::pair{QStringLiteral("h%1").arg(id), h};
        return f;
    }

    Phone* newPhone() {
        auto* p = new Phone(m_web->port, m_web->certificate());
        if (!p->login(kName, kPassword)) {
            delete p;
            return nullptr;
        }
        return p;
    }

private slots:
    void initTestCase() {
        m_dir = new QTemporaryDir;
        m_dialogs = new FakeDialogs;
        const QString location = FreshDatabaseFor(m_dir->filePath(QStringLiteral("kvt.db")));
        if (OnServer()) {
            QSettings ini(m_dir->filePath(QStringLiteral("kvt.ini")), QSettings::IniFormat);
            ini.setValue(QStringLiteral("database/connection"), location);
        }
        CreateForms(location);
        m_client = addClient(QStringLiteral("王五"), QStringLiteral("c1"));
        const QString w = Q + QStringLiteral("现量宽") + Q, h = Q + QStringLiteral("现量高") + Q;
        // The glass formulas read the leaf sizes: the order of the computation shows in them.
        m_product =
            addProduct(QStringLiteral("木门"), QStringLiteral("A1"),
                       {"", "", w + "-6", h + "-12.5", "(" + Q + "门扇宽" + Q + "-8)/2", h + "/(" + w + "-" + w + ")"});
        const QByteArray twice = (kPassword + '\n' + kPassword + '\n').toUtf8();
        QString out;
        QCOMPARE(runKvtWeb(program(), {QStringLiteral("--data-dir=") + folder(), QStringLiteral("--add-user"), kName},
                           twice, &out),
                 0);
        m_web = new KvtWeb;
        QVERIFY(m_web->start(program(), folder()));
        m_phone = newPhone();
        QVERIFY(m_phone);
    }
    void cleanupTestCase() {
        delete m_phone;
        delete m_web;
        DestroyForms();
        delete m_dialogs;
        delete m_dir;
    }

    void accounts_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");
        QTest::newRow("passwords differ") << QStringList{"--add-user", "张工"} << "password1\npassword2\n"
                                          << 1 << "不一样";
        QTest::newRow("password too short") << QStringList{"--add-user", "张工"} << "short7c\nshort7c\n"
                                            << 1 << "至少要8个字符";
        QTest::newRow("name with a space") << QStringList{"--add-user", "张 工"} << "password1\npassword1\n"
                                           << 1 << "空格";
        QTest::newRow("no password given") << QStringList{"--add-user", "张工"} << "" << 1 << "没有读到密码";
        QTest::newRow("remove unknown") << QStringList{"--remove-user", "赵工"} << "" << 1 << "没有账号";
        QTest::newRow("list") << QStringList{"--list-users"} << "" << 0 << kName;
    }
    void accounts() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, input);
        QString out;
        QTEST(runKvtWeb(program(), QStringList{QStringLiteral("--data-dir=") + folder()} + arguments, input.toUtf8(),
                        &out),
              "exitCode");
        QFETCH(QString, said);
        QVERIFY2(out.contains(said), qPrintable(out));
        QCOMPARE(accountNames(), QStringList{kName});
        const QString hash = Scalar(QStringLiteral("select 密码散列 from 网页账号"));
        QVERIFY2(hash.startsWith(QStringLiteral("$argon2id$")) && !hash.contains(QStringLiteral("password")),
                 qPrintable(hash));
    }

    void loginCookieAndLog() {
        Phone phone(m_web->port, m_web->certificate());
        const Answer a = phone.post(QStringLiteral("/login"), {{"name", kName}, {"password", kPassword}}, false);
        QCOMPARE(a.status, 303);
        for (const char* attribute : {"; HttpOnly", "; Secure", "; SameSite=Strict", "; Path=/"})
            QVERIFY2(a.setCookie.contains(attribute), a.setCookie.constData());
        QTRY_VERIFY(m_web->log().contains(QStringLiteral("登录 用户=李工 地址=127.0.0.1")));
        QVERIFY(!m_web->log().contains(kPassword));
    }

    void refusedWithoutSession_data() {
        QTest::addColumn<QByteArray>("cookie");
        QTest::newRow("no cookie") << QByteArray();
        QTest::newRow("forged cookie") << QByteArray("kvtweb=AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA");
        QTest::newRow("cookie of another name") << QByteArray("session=x");
        QTest::newRow("ended at 退出登录") << QByteArray("logged-out");
    }
    void refusedWithoutSession() {
        QFETCH(QByteArray, cookie);
        QList<qint64> ids;
        const qint64 bill = addBill(m_client, QStringLiteral("北街2号"), QDate(2026, 5, 1), {m_product}, &ids);
        QVERIFY(m_phone->get(QStringLiteral("/bill/%1").arg(bill)).status == 200);
        const auto form = sizeForm(*m_phone, {{ids[0], "905", "2025"}});

        Phone other(m_web->port, m_web->certificate());
        if (cookie == "logged-out") {
            QVERIFY(other.login(kName, kPassword));
            QCOMPARE(other.post(QStringLiteral("/logout"), {}).status, 303);
            QCOMPARE(other.get(QStringLiteral("/")).location, QByteArray("/login"));
        } else {
            other.cookie = cookie;
            other.formToken = m_phone->formToken; // a token seen elsewhere does not stand in for a session
        }
        for (const QString& path :
             {QStringLiteral("/"), QStringLiteral("/bill/%1").arg(bill), QStringLiteral("/nothing")}) {
            const Answer a = other.get(path);
            QCOMPARE(a.status, 303);
            QCOMPARE(a.location, QByteArray("/login"));
        }
        const Answer saved = other.post(QStringLiteral("/bill/%1").arg(bill), form);
        QCOMPARE(saved.status, 403);
        QVERIFY(!saved.body.contains(QStringLiteral("905")));
        QCOMPARE(sizes(ids[0]), QStringLiteral("0 0 0 0 0 0"));
    }

    void refusedWithoutFormToken_data() {
        QTest::addColumn<QString>("token");
        QTest::newRow("missing") << "(none)";
        QTest::newRow("empty") << "";
        QTest::newRow("another session's") << "(other)";
        QTest::newRow("forged") << "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA";
    }
    void refusedWithoutFormToken() {
        QFETCH(QString, token);
        QList<qint64> ids;
        const qint64 bill = addBill(m_client, QStringLiteral("北街3号"), QDate(2026, 5, 2), {m_product}, &ids);
        QCOMPARE(m_phone->get(QStringLiteral("/bill/%1").arg(bill)).status, 200);
        auto form = sizeForm(*m_phone, {{ids[0], "905", "2025"}});
        std::unique_ptr<Phone> other;
        if (token == QLatin1String("(other)")) {
            other.reset(newPhone());
            QVERIFY(other);
            token = other->formToken;
        }
        if (token != QLatin1String("(none)"))
            form.append({QStringLiteral("token"), token});
        const Answer a = m_phone->post(QStringLiteral("/bill/%1").arg(bill), form, false);
        QCOMPARE(a.status, 403);
        QCOMPARE(sizes(ids[0]), QStringLiteral("0 0 0 0 0 0"));
        QCOMPARE(m_phone->post(QStringLiteral("/logout"), {}, false).status, 403); // 退出登录 is a form too
        QCOMPARE(m_phone->get(QStringLiteral("/")).status, 200);
    }

    void refusedSizes_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        const QString range = QStringLiteral("须在1到10000毫米之间"), number = QStringLiteral("不是数字");
        QTest::newRow("zero") << "0" << range;
        QTest::newRow("just over") << "10000.5" << range;
        QTest::newRow("letters") << "abc" << number;
        QTest::newRow("exponent") << "1e3" << number;
        QTest::newRow("negative") << "-5" << number;
        QTest::newRow("comma") << "9,05" << number;
        QTest::newRow("html") << "<b>9</b>\"x" << number;
        QTest::newRow("sql") << "1;delete from 单据明细" << number;
    }
    void refusedSizes() {
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QList<qint64> ids;
        const qint64 bill =
            addBill(m_client, QStringLiteral("西街4号"), QDate(2026, 5, 3), {m_product, m_product}, &ids);
        m_phone->get(QStringLiteral("/bill/%1").arg(bill));
        const Answer a = m_phone->post(QStringLiteral("/bill/%1").arg(bill),
                                       sizeForm(*m_phone, {{ids[0], "905", "2025"}, {ids[1], "905", typed}}));
        QCOMPARE(a.status, 422);
        // The message stands next to the refused field, which shows what was typed, as text.
        const QString field = QStringLiteral("name=\"h%1\" inputmode=\"decimal\" autocomplete=\"off\" value=\"%2\">"
                                             "<span class=\"error\">%3")
                                  .arg(ids[1])
                                  .arg(escapeHtml(typed), message);
        QVERIFY2(a.body.contains(field), qPrintable(a.body));
        QVERIFY(!a.body.contains(QStringLiteral("<b>9")));
        // Nothing of the bill is written, not even its good line.
        QCOMPARE(sizes(ids[0]), QStringLiteral("0 0 0 0 0 0"));
        QCOMPARE(countRows(QStringLiteral("select * from 单据明细 where 单据ID=%1").arg(bill)), 2);
    }

    void typedTextShownAsText_data() {
        QTest::addColumn<QString>("search");
        QTest::addColumn<int>("bills");
        QTest::newRow("markup") << "<script>" << 1;
        QTest::newRow("quote and or") << "\" or 1=1 --" << 0;
        QTest::newRow("apostrophe") << "'x" << 1;
        QTest::newRow("percent") << "%" << 0;
        QTest::newRow("underscore") << "_" << 0;
        QTest::newRow("client name") << "<i>" << 1;
    }
    void typedTextShownAsText() {
        QFETCH(QString, search);
        QFETCH(int, bills);
        static qint64 client = addClient(QStringLiteral("<i>赵</i>"), QStringLiteral("c9"));
        static qint64 bill =
            addBill(client, QStringLiteral("<script>alert(1)</script> & 'x'"), QDate(2026, 5, 4), {m_product});
        const Answer a = m_phone->get(QStringLiteral("/?q=") + QString::fromLatin1(QUrl::toPercentEncoding(search)));
        QCOMPARE(a.status, 200);
        QCOMPARE(int(a.body.count(QStringLiteral("class=\"bill\""))), bills);
        QVERIFY(!a.body.contains(QStringLiteral("<script")) && !a.body.contains(QStringLiteral("<i>")));
        QVERIFY(a.body.contains(QStringLiteral("value=\"%1\"").arg(escapeHtml(search))));
        const Answer page = m_phone->get(QStringLiteral("/bill/%1").arg(bill));
        QVERIFY(page.body.contains(QStringLiteral("&lt;i&gt;赵&lt;/i&gt;")));
        QVERIFY(page.body.contains(QStringLiteral("&lt;script&gt;alert(1)&lt;/script&gt; &amp; &#39;x&#39;")));
    }

    void searchBoxTakesAnyText_data() {
        QTest::addColumn<QByteArray>("query"); // as it stands in the address
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("bills");
        QTest::addColumn<QString>("notice");
        const QString tooLong = QStringLiteral("搜索内容太长");
        QTest::newRow("NUL inside") << QByteArray("%E8%A5%BF%00%E8%A1%97") << 200 << 1 << QString();
        QTest::newRow("control characters") << QByteArray("%0D%0A%E8%A5%BF%1B%E8%A1%97%09") << 200 << 1 << QString();
        QTest::newRow("spaces as +") << QByteArray("+%E8%A5%BF%E8%A1%97+") << 200 << 1 << QString();
        QTest::newRow("150 characters") << QByteArray("%E8%A5%BF").repeated(150) << 200 << 0 << tooLong;
        QTest::newRow("address of 50,000 bytes") << QByteArray(50000, 'a') << 414 << 0 << QString();
    }
    void searchBoxTakesAnyText() {
        QFETCH(QByteArray, query);
        static const qint64 bill =
            addBill(m_client, QStringLiteral("西街%1号").arg(QDateTime::currentMSecsSinceEpoch()), QDate(2026, 5, 9),
                    {m_product});
        Q_UNUSED(bill);
        const QString before = m_web->log();
        const Answer a = m_phone->get(QStringLiteral("/?q=") + QString::fromLatin1(query));
        QTEST(a.status, "status");
        QFETCH(int, bills);
        if (a.status == 200)
            QVERIFY(a.body.count(QStringLiteral("class=\"bill\"")) >= bills);
        QFETCH(QString, notice);
        if (!notice.isEmpty())
            QVERIFY2(a.body.contains(notice), qPrintable(a.body));
        // Nothing went wrong in the database.
        QTest::qWait(100);
        QVERIFY(!m_web->log().mid(before.size()).contains(QStringLiteral("出错")));
        QCOMPARE(m_phone->get(QStringLiteral("/")).status, 200);
    }

    void sameFormSentTwice_data() {
        QTest::addColumn<bool>("atOnce");
        QTest::newRow("one after the other") << false;
        QTest::newRow("both at once") << true;
    }
    void sameFormSentTwice() {
        // A second tap, or the page sent again: this phone's own save, not someone else's change.
        QFETCH(bool, atOnce);
        QList<qint64> ids;
        const qint64 bill =
            addBill(m_client, QStringLiteral("南街12号"), QDate(2026, 6, 9), {m_product, m_product}, &ids);
        m_phone->get(QStringLiteral("/bill/%1").arg(bill));
        const auto form = sizeForm(*m_phone, {{ids[0], "905", "2025"}, {ids[1], "", ""}});
        const QString path = QStringLiteral("/bill/%1").arg(bill);
        Answer first, second;
        if (atOnce) {
            QNetworkReply* a = m_phone->startPost(path, form);
            QNetworkReply* b = m_phone->startPost(path, form);
            first = m_phone->finish(a);
            second = m_phone->finish(b);
        } else {
            first = m_phone->post(path, form);
            second = m_phone->post(path, form);
        }
        QCOMPARE(first.status, 303);
        QCOMPARE(second.status, 303);
        QCOMPARE(second.location, QStringLiteral("/bill/%1?saved=1").arg(bill).toLatin1());
        QVERIFY(m_phone->get(QString::fromLatin1(second.location)).body.contains(QStringLiteral("已保存1行")));
        QCOMPARE(sizes(ids[0]).section(' ', 0, 1), QStringLiteral("905 2025"));
        QTRY_VERIFY(m_web->log().contains(QStringLiteral("单据=%1 行数=0 已保存过=1").arg(bill)));
        // Sent again after the office changed the line to other sizes, it is refused as before.
        Database::Exec(QStringLiteral("update 单据明细 set 现量宽=950 where 门框ID=%1").arg(ids[0]));
        QCOMPARE(m_phone->post(path, form).status, 409);
        QCOMPARE(sizes(ids[0]).section(' ', 0, 1), QStringLiteral("950 2025"));
    }

    void saveComputesAsTheBillWindow() {
        QList<qint64> ids;
        const qint64 bill =
            addBill(m_client, QStringLiteral("南街5号"), QDate(2026, 6, 1), {m_product, m_product}, &ids);
        m_phone->get(QStringLiteral("/bill/%1").arg(bill));
        const Answer a = m_phone->post(QStringLiteral("/bill/%1").arg(bill),
                                       sizeForm(*m_phone, {{ids[0], "905.5", " 2025 "}, {ids[1], "", ""}}));
        QCOMPARE(a.status, 303);
        QCOMPARE(a.location, QStringLiteral("/bill/%1?saved=1").arg(bill).toLatin1());
        QTRY_VERIFY(m_web->log().contains(QStringLiteral("保存 用户=李工 地址=127.0.0.1 单据=%1 行数=1").arg(bill)));

        // The same sizes typed into the bill window's door-leaf view of the other line.
        openSavedBill(bill, true);
        billGrid()->setFocus();
        gotoCell(7, 2);
        typeInGrid(QStringLiteral("905.5"));
        pressEnterInGrid();
        gotoCell(8, 2);
        typeInGrid(QStringLiteral("2025"));
        pressEnterInGrid();
        QStringList shown;
        for (int c = 7; c <= 12; ++c)
            shown << billGrid()->Cells(c, 2);
        QCOMPARE(sizes(ids[0]), shown.join(QLatin1Char(' ')));
        QCOMPARE(sizes(ids[0]), QStringLiteral("905.5 2025 900 2012 446 0"));
        billForm()->ButtonSave->click();
        QVERIFY(!billForm()->isVisible());
    }

    void unchangedSizesAreNotWrittenAgain() {
        // A door-leaf width set by hand in the office is not computed over by a page sent back as shown.
        QList<qint64> ids;
        const qint64 bill = addBill(m_client, QStringLiteral("南街9号"), QDate(2026, 6, 5), {m_product}, &ids);
        Database::Exec(
            QStringLiteral("update 单据明细 set 现量宽=905,现量高=2025,门扇宽=880 where 门框ID=%1").arg(ids[0]));
        const Answer page = m_phone->get(QStringLiteral("/bill/%1").arg(bill));
        QVERIFY(page.body.contains(QStringLiteral("value=\"905\"")) &&
                page.body.contains(QStringLiteral("value=\"2025\"")));
        const Answer a =
            m_phone->post(QStringLiteral("/bill/%1").arg(bill), sizeForm(*m_phone, {{ids[0], "905.0", "2025"}}));
        QCOMPARE(a.location, QStringLiteral("/bill/%1?saved=0").arg(bill).toLatin1());
        QVERIFY(m_phone->get(QString::fromLatin1(a.location)).body.contains(QStringLiteral("单据没有改动")));
        QCOMPARE(sizes(ids[0]), QStringLiteral("905 2025 880 0 0 0"));
    }

    void measuredLinesLeaveTheList() {
        QList<qint64> ids;
        const QString address = QStringLiteral("东街%1号").arg(QDateTime::currentMSecsSinceEpoch());
        const qint64 bill = addBill(m_client, address, QDate(2026, 7, 1), {m_product, m_product}, &ids);
        const QString search = QStringLiteral("/?q=") + QString::fromLatin1(QUrl::toPercentEncoding(address));
        QCOMPARE(m_phone->get(search).body.count(QStringLiteral("<li>")), 2);
        for (int i = 0; i < 2; ++i) {
            m_phone->get(QStringLiteral("/bill/%1").arg(bill));
            QCOMPARE(m_phone->post(QStringLiteral("/bill/%1").arg(bill), sizeForm(*m_phone, {{ids[i], "905", "2025"}}))
                         .status,
                     303);
            QCOMPARE(m_phone->get(search).body.count(QStringLiteral("<li>")), 1 - i);
        }
        QVERIFY(!m_phone->get(search).body.contains(QStringLiteral("class=\"bill\"")));
    }

    void lineSavedInTheOfficeMeanwhile() {
        QList<qint64> ids;
        const qint64 bill =
            addBill(m_client, QStringLiteral("中街6号"), QDate(2026, 6, 2), {m_product, m_product}, &ids);
        m_phone->get(QStringLiteral("/bill/%1").arg(bill));
        const auto form = sizeForm(*m_phone, {{ids[0], "905", "2025"}, {ids[1], "906", "2026"}});

        openSavedBill(bill, true);
        billGrid()->setFocus();
        gotoCell(7, 1);
        typeInGrid(QStringLiteral("950"));
        pressEnterInGrid();
        billForm()->ButtonSave->click();
        QVERIFY(!billForm()->isVisible());

        const Answer a = m_phone->post(QStringLiteral("/bill/%1").arg(bill), form);
        QCOMPARE(a.status, 409);
        QCOMPARE(sizes(ids[0]), QStringLiteral("950 0 944 0 468 0"));
        QCOMPARE(sizes(ids[1]), QStringLiteral("0 0 0 0 0 0"));
        // The changed line shows what the office saved; the other keeps what was typed.
        QVERIFY(a.body.contains(
            QStringLiteral("name=\"w%1\" inputmode=\"decimal\" autocomplete=\"off\" value=\"950\"").arg(ids[0])));
        QVERIFY(a.body.contains(
            QStringLiteral("name=\"w%1\" inputmode=\"decimal\" autocomplete=\"off\" value=\"906\"").arg(ids[1])));
        QVERIFY(a.body.contains(QStringLiteral("class=\"line bad\" id=\"l%1\"").arg(ids[0])));
        // Sent again from the page now shown, it goes through.
        QCOMPARE(m_phone
                     ->post(QStringLiteral("/bill/%1").arg(bill),
                            sizeForm(*m_phone, {{ids[0], "950", "2025"}, {ids[1], "906", "2026"}}))
                     .status,
                 303);
        QCOMPARE(sizes(ids[1]), QStringLiteral("906 2026 900 2014 446 0"));
    }

    void sameBillFromTwoPhones() {
        QList<qint64> ids;
        const qint64 bill = addBill(m_client, QStringLiteral("中街7号"), QDate(2026, 6, 3), {m_product}, &ids);
        std::unique_ptr<Phone> second(newPhone());
        QVERIFY(second);
        m_phone->get(QStringLiteral("/bill/%1").arg(bill));
        second->get(QStringLiteral("/bill/%1").arg(bill));
        const auto first = sizeForm(*m_phone, {{ids[0], "905", "2025"}});
        const auto other = sizeForm(*second, {{ids[0], "915", "2035"}});
        // Both sent before either answer is read: one goes through, the other finds the line changed.
        QNetworkReply* fromFirst = m_phone->startPost(QStringLiteral("/bill/%1").arg(bill), first);
        QNetworkReply* fromSecond = second->startPost(QStringLiteral("/bill/%1").arg(bill), other);
        const int a = m_phone->finish(fromFirst).status, b = second->finish(fromSecond).status;
        QVERIFY2((a == 303 && b == 409) || (a == 409 && b == 303), qPrintable(QStringLiteral("%1 %2").arg(a).arg(b)));
        QCOMPARE(line(ids[0], QStringLiteral("现量宽")), a == 303 ? QStringLiteral("905") : QStringLiteral("915"));
        QCOMPARE(line(ids[0], QStringLiteral("现量高")), a == 303 ? QStringLiteral("2025") : QStringLiteral("2035"));
    }

    void engineFailureShownWithoutItsMessage() {
        QList<qint64> ids;
        const qint64 bill = addBill(m_client, QStringLiteral("中街8号"), QDate(2026, 6, 4), {m_product}, &ids);
        m_phone->get(QStringLiteral("/bill/%1").arg(bill));
        CreateRefusingTrigger(QStringLiteral("web_refuses"), QStringLiteral("before update"),
                              QStringLiteral("单据明细"), QStringLiteral("规则拒绝了这次修改XYZ"));
        const Answer a =
            m_phone->post(QStringLiteral("/bill/%1").arg(bill), sizeForm(*m_phone, {{ids[0], "905", "2025"}}));
        DropTrigger(QStringLiteral("web_refuses"), QStringLiteral("单据明细"));
        QCOMPARE(a.status, 503);
        QVERIFY(a.body.contains(QStringLiteral("本次没有保存")));
        QVERIFY(!a.body.contains(QStringLiteral("XYZ")) && !a.body.contains(QStringLiteral("trigger")));
        QTRY_VERIFY(m_web->log().contains(QStringLiteral("规则拒绝了这次修改XYZ")));
        QCOMPARE(sizes(ids[0]), QStringLiteral("0 0 0 0 0 0"));
        // The next save goes through: the failed one left no transaction open.
        m_phone->get(QStringLiteral("/bill/%1").arg(bill));
        QCOMPARE(
            m_phone->post(QStringLiteral("/bill/%1").arg(bill), sizeForm(*m_phone, {{ids[0], "905", "2025"}})).status,
            303);
    }

    void pagesStaySmall() {
        for (int i = 0; i < 40; ++i)
            addBill(m_client, QString(200, QChar(u'长')), QDate(2027, 1, 1), {m_product, m_product, m_product});
        const Answer a = m_phone->get(QStringLiteral("/"));
        QCOMPARE(a.status, 200);
        QCOMPARE(int(a.body.count(QStringLiteral("class=\"bill\""))), 30);
        QVERIFY(a.body.contains(QStringLiteral("只列出最新的30张单据")));
        QVERIFY2(a.body.toUtf8().size() < 100 * 1024, QByteArray::number(a.body.toUtf8().size()).constData());
    }

    void certificateAndPlainHttp_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("made at the first start") << "made";
        QTest::newRow("named in kvt.ini") << "named";
        QTest::newRow("plain HTTP") << "insecure";
    }
    void certificateAndPlainHttp() {
        QFETCH(QString, how);
        QTemporaryDir data;
        QSettings ini(data.filePath(QStringLiteral("kvt.ini")), QSettings::IniFormat);
        if (OnServer())
            ini.setValue(QStringLiteral("database/connection"), Database::Path());
        else
            QVERIFY(QFile::copy(Database::Path(), data.filePath(QStringLiteral("kvt.db"))));
        QSslCertificate named;
        if (how == QLatin1String("named")) {
            const web::PemFiles pem = web::makeSelfSignedCertificate({QStringLiteral("127.0.0.1")});
            for (const auto& [file, text] : {std::pair{"own.crt", pem.certificate}, std::pair{"own.key", pem.key}}) {
                QFile f(data.filePath(QString::fromLatin1(file)));
                QVERIFY(f.open(QIODevice::WriteOnly) && f.write(text) == text.size());
            }
            ini.setValue(QStringLiteral("web/certificate"), QStringLiteral("own.crt"));
            ini.setValue(QStringLiteral("web/key"), QStringLiteral("own.key"));
            named = QSslCertificate(pem.certificate);
        }
        ini.sync();
        // kvt itself still starts on a kvt.ini that holds kvtweb's lines.
        QString problem;
        QVERIFY2(!DatabaseLocation(data.filePath(QStringLiteral("kvt.db")), &problem).isEmpty(), qPrintable(problem));

        KvtWeb web;
        QVERIFY(web.start(program(), data.path(),
                          how == QLatin1String("insecure") ? QStringList{QStringLiteral("--insecure-http")}
                                                           : QStringList{}));
        const QString made = data.filePath(QStringLiteral("kvtweb-key.pem"));
        if (how == QLatin1String("insecure")) {
            QTRY_VERIFY(web.log().contains(QStringLiteral("没有加密（--insecure-http）")));
            QVERIFY(!QFile::exists(made));
            return;
        }
        QCOMPARE(QFile::exists(made), how == QLatin1String("made"));
        if (how == QLatin1String("made"))
            QCOMPARE(QFile::permissions(made) &
                         ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser),
                     QFile::Permissions());
        const QSslCertificate served = how == QLatin1String("named") ? named : web.certificate();
        Phone phone(web.port, served);
        QCOMPARE(phone.get(QStringLiteral("/login")).status, 200);
        Phone doubting(web.port, QSslCertificate(web::makeSelfSignedCertificate({}).certificate));
        QCOMPARE(doubting.get(QStringLiteral("/login")).status, 0); // another certificate is not accepted
        QVERIFY(!web.log().contains(QStringLiteral("没有加密")));
    }

    void sixthWrongPasswordIsRefused() {
        // A kvtweb of its own: its throttle blocks this address for ten minutes.
        KvtWeb web;
        QVERIFY(web.start(program(), folder()));
        Phone phone(web.port, web.certificate());
        for (int i = 0; i < 5; ++i)
            QCOMPARE(
                phone.post(QStringLiteral("/login"), {{"name", kName}, {"password", "wrong-secret"}}, false).status,
                401);
        const Answer sixth = phone.post(QStringLiteral("/login"), {{"name", kName}, {"password", kPassword}}, false);
        QCOMPARE(sixth.status, 429);
        QVERIFY(sixth.setCookie.isEmpty());
        QVERIFY(sixth.body.contains(QStringLiteral("十分钟后再试")));
        QCOMPARE(phone.post(QStringLiteral("/login"), {{"name", "张工"}, {"password", kPassword}}, false).status, 429);
        QTRY_COMPARE(web.log().count(QStringLiteral("登录失败 用户=李工 地址=127.0.0.1")), 5);
        QTRY_COMPARE(web.log().count(QStringLiteral("登录暂停")), 2);
        QVERIFY(!web.log().contains(QStringLiteral("wrong-secret")) && !web.log().contains(kPassword));
    }
};

QTEST_MAIN(TestWebServer)
#include "test_web_server.moc"
