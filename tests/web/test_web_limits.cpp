// kvtweb against one careless or hostile visitor, on real sockets on 127.0.0.1: requests too large,
// connections that never finish or never end, too many connections, a database another program
// holds. Throughout, a phone is answered and kvtweb's memory and descriptors stay bounded. The
// visitor comes from 127.0.0.2 (and further loopback addresses), the phone from 127.0.0.1. kvtweb's
// times are shortened through its environment so that the tests need not wait them out.

#include "WebClient.h"
#include "store/Database.h"
#include "web/Accounts.h"

#include <QElapsedTimer>
#include <QSslSocket>
#include <QTemporaryDir>

#include <memory>

using namespace kvt;
using namespace kvt::test;

namespace {

constexpr int kHandshakeMs = 1500, kRequestMs = 2500, kIdleMs = 3000;
/// How long a test waits for something kvtweb must do: far beyond its times, so only a fault fails.
constexpr int kPatience = 20000;
/// How long the phone may wait for a page: generous; the faults these tests pin made it wait
/// minutes or for ever.
constexpr int kPhoneWait = 5000;

/// The visitor: one connection from a loopback address of its own, TLS or bare TCP.
class Visitor {
public:
    /// Connects from `from`; with tls, finishes the handshake too. False when that failed.
    bool open(quint16 port, bool tls, const QString& from = QStringLiteral("127.0.0.2")) {
        m_socket.setPeerVerifyMode(QSslSocket::VerifyNone);
        if (!m_socket.bind(QHostAddress(from)))
            return false;
        if (tls) {
            m_socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
            return m_socket.waitForEncrypted(kPatience);
        }
        m_socket.connectToHost(QStringLiteral("127.0.0.1"), port);
        return m_socket.waitForConnected(kPatience);
    }
    /// Sends bytes; false once kvtweb stopped taking them (closed, or not reading for a while).
    bool send(const QByteArray& bytes) {
        if (m_socket.state() != QAbstractSocket::ConnectedState)
            return false;
        m_socket.write(bytes);
        while (m_socket.bytesToWrite() > 0)
            if (!m_socket.waitForBytesWritten(2000))
                return false;
        return m_socket.state() == QAbstractSocket::ConnectedState;
    }
    /// What came back until kvtweb closed the connection or waitMs passed.
    QByteArray readUntilClosed(int waitMs = kPatience) {
        QElapsedTimer t;
        t.start();
        while (m_socket.state() == QAbstractSocket::ConnectedState && t.elapsed() < waitMs)
            m_socket.waitForReadyRead(int(std::min<qint64>(200, waitMs - t.elapsed() + 1)));
        m_got += m_socket.readAll();
        return m_got;
    }
    /// The status of the first answer that came back (0 when none).
    int status() {
        m_got += m_socket.readAll();
        return m_got.startsWith("HTTP/1.") ? m_got.mid(9, 3).toInt() : 0;
    }
    /// Waits for the first answer's head, up to waitMs.
    int waitForStatus(int waitMs = kPatience) {
        QElapsedTimer t;
        t.start();
        while (!m_got.contains("\r\n\r\n") && t.elapsed() < waitMs &&
               m_socket.state() == QAbstractSocket::ConnectedState) {
            m_socket.waitForReadyRead(200);
            m_got += m_socket.readAll();
        }
        return status();
    }
    bool connected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }

private:
    QSslSocket m_socket;
    QByteArray m_got;
};

} // namespace

class TestWebLimits : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    std::unique_ptr<KvtWeb> m_web;
    std::unique_ptr<Phone> m_phone;
    QList<qint64> m_lines;
    qint64 m_bill = 0;
    qint64 m_peakAtStart = 0;

    bool phoneAnswered() {
        const Answer a = m_phone->get(QStringLiteral("/"), kPhoneWait);
        return a.status == 200 && a.body.contains(QStringLiteral("class=\"bill\""));
    }

private slots:
    void initTestCase() {
        Database::Open(m_dir.filePath(QStringLiteral("kvt.db")));
        Database::Exec(QStringLiteral("insert into 客户信息 (客户名,自定义编号) values (\"王五\",\"c1\")"));
        Database::Exec(QStringLiteral("insert into 商品信息 (商品名称,自定义编号,门扇宽公式,门扇高公式) values "
                                      "(\"木门\",\"A1\",\"\"\"现量宽\"\"-6\",\"\"\"现量高\"\"-10\")"));
        m_bill = addBill(1, QStringLiteral("东街1号"), QDate(2026, 5, 1), {1, 1}, &m_lines);
        web::saveAccount(QStringLiteral("李工"), QStringLiteral("password1"));
        m_web = std::make_unique<KvtWeb>();
        QVERIFY(m_web->start(QStringLiteral(KVT_WEB_PROGRAM), m_dir.path(), {},
                             {QStringLiteral("KVTWEB_HANDSHAKE_MS=%1").arg(kHandshakeMs),
                              QStringLiteral("KVTWEB_REQUEST_MS=%1").arg(kRequestMs),
                              QStringLiteral("KVTWEB_IDLE_MS=%1").arg(kIdleMs)}));
        m_phone = std::make_unique<Phone>(m_web->port, m_web->certificate());
        QVERIFY(m_phone->login(QStringLiteral("李工"), QStringLiteral("password1")));
        QVERIFY(phoneAnswered());
        m_peakAtStart = m_web->status("VmHWM");
        QVERIFY(m_peakAtStart > 0);
    }
    void cleanupTestCase() {
        m_phone.reset();
        m_web.reset();
        Database::Close();
    }

    void tooLargeRefused_data() {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("stream"); // sent after the head, 64 KB at a time, up to 32 MB
        QTest::addColumn<int>("status");
        const QByteArray get = "GET /login HTTP/1.1\r\nHost: 127.0.0.1\r\n";
        QTest::newRow("target of 5 KB") << "GET /?q=" + QByteArray(5000, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n"
                                        << QByteArray() << 414;
        QTest::newRow("target of 50 KB") << "GET /?q=" + QByteArray(50000, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n"
                                         << QByteArray() << 414;
        QTest::newRow("headers of 9 KB") << get + "X-Pad: " + QByteArray(9000, 'a') + "\r\n\r\n" << QByteArray() << 431;
        QTest::newRow("header without end") << get + "X-Pad: " << QByteArray("aaaaaaaa") << 431;
        QTest::newRow("many headers") << get << QByteArray("X-Pad: a\r\n") << 431;
        QTest::newRow("body of 50 MB declared")
            << QByteArray("POST /login HTTP/1.1\r\nHost: x\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                          "Content-Length: 52428800\r\n\r\n")
            << QByteArray("name=aaaa") << 413;
        QTest::newRow("body without a length")
            << QByteArray("POST /login HTTP/1.1\r\nHost: x\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                          "Transfer-Encoding: chunked\r\n\r\n")
            << QByteArray("10000\r\n") + QByteArray(0x10000, 'a') + "\r\n"
            << 413;
    }
    void tooLargeRefused() {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, stream);
        Visitor visitor;
        QVERIFY(visitor.open(m_web->port, true));
        QVERIFY(visitor.send(head));
        bool tookAll = true;
        if (!stream.isEmpty()) {
            QByteArray chunk;
            while (chunk.size() < 64 * 1024)
                chunk += stream;
            for (int sent = 0; sent < 32 * 1024 * 1024 && tookAll; sent += int(chunk.size())) {
                tookAll = visitor.send(chunk);
                if (sent % (4 * 1024 * 1024) == 0)
                    QVERIFY(phoneAnswered()); // while the visitor sends
            }
            // kvtweb stopped reading long before the end.
            QVERIFY(!tookAll);
        }
        // Refused with the status, or (a body without a length) the connection ended without an answer.
        const int got = visitor.waitForStatus();
        QFETCH(int, status);
        if (QByteArray(QTest::currentDataTag()) == "body without a length")
            QVERIFY2(got == status || got == 0, QByteArray::number(got).constData());
        else
            QCOMPARE(got, status);
        QVERIFY(phoneAnswered());
        // What the visitor sent is not kept: kvtweb's peak of memory is about where it began.
        const qint64 peak = m_web->status("VmHWM");
        QVERIFY2(peak < m_peakAtStart + 24 * 1024,
                 qPrintable(QStringLiteral("%1 kB, %2 kB at the start").arg(peak).arg(m_peakAtStart)));
    }

    void connectionsThatNeverEnd_data() {
        QTest::addColumn<bool>("tls");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("trickle"); // sent every 200 ms until kvtweb closes
        const QByteArray get = "GET /login HTTP/1.1\r\nHost: x\r\n\r\n";
        QTest::newRow("no handshake") << false << QByteArray() << QByteArray();
        QTest::newRow("handshake, then nothing") << true << QByteArray() << QByteArray();
        QTest::newRow("kept alive after its answer") << true << get << QByteArray();
        QTest::newRow("HTTP/1.0 after its answer") << true << QByteArray("GET /login HTTP/1.0\r\n\r\n") << QByteArray();
        QTest::newRow("handshake trickled") << false << QByteArray() << QByteArray("\x16");
        QTest::newRow("headers trickled") << true << QByteArray("GET /login HTTP/1.1\r\n") << QByteArray("X: y\r\n");
        QTest::newRow("body trickled") << true
                                       << QByteArray("POST /login HTTP/1.1\r\nHost: x\r\nContent-Length: 60000\r\n\r\n")
                                       << QByteArray("a");
    }
    void connectionsThatNeverEnd() {
        QFETCH(bool, tls);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, trickle);
        Visitor visitor;
        QVERIFY(visitor.open(m_web->port, tls));
        if (!request.isEmpty())
            QVERIFY(visitor.send(request));
        if (request.endsWith("\r\n\r\n") && request.startsWith("GET"))
            QCOMPARE(visitor.waitForStatus(), 200);
        QVERIFY(phoneAnswered());
        QElapsedTimer t;
        t.start();
        if (!trickle.isEmpty()) {
            while (visitor.send(trickle) && t.elapsed() < kPatience)
                QTest::qWait(200);
        }
        visitor.readUntilClosed(int(kPatience - t.elapsed()));
        QVERIFY2(!visitor.connected(), "kvtweb kept the connection open");
        QVERIFY(phoneAnswered());
    }

    void connectionsCapped() {
        const int fdsBefore = m_web->openFiles();
        // One address opens many more than a phone would: the rest are turned away, the phone is not.
        std::vector<std::unique_ptr<Visitor>> held;
        for (int i = 0; i < 40; ++i) {
            held.push_back(std::make_unique<Visitor>());
            QVERIFY(held.back()->open(m_web->port, false));
        }
        QTest::qWait(300);
        int open = 0;
        for (auto& v : held) {
            v->readUntilClosed(1);
            open += v->connected() ? 1 : 0;
        }
        QVERIFY2(open <= 16, QByteArray::number(open).constData());
        QVERIFY(phoneAnswered());
        // Many addresses, beyond the cap in all: kvtweb holds no more descriptors than the cap
        // allows and does not spin while full.
        for (int a = 3; a < 15; ++a)
            for (int i = 0; i < 16; ++i) {
                held.push_back(std::make_unique<Visitor>());
                QVERIFY(held.back()->open(m_web->port, false, QStringLiteral("127.0.0.%1").arg(a)));
            }
        QTest::qWait(200);
        QVERIFY2(m_web->openFiles() <= fdsBefore + 128, QByteArray::number(m_web->openFiles()).constData());
        const qint64 ticks = m_web->cpuTicks();
        QTest::qWait(1000);
        QVERIFY2(m_web->cpuTicks() - ticks < 50, QByteArray::number(m_web->cpuTicks() - ticks).constData());
        QVERIFY(m_web->running());
        // Once their handshake time is over they are gone, and the phone is answered again.
        QElapsedTimer t;
        t.start();
        bool answered = false;
        while (!answered && t.elapsed() < 3 * kPatience)
            answered = phoneAnswered();
        QVERIFY(answered);
    }

    void lockedDatabaseKeepsOnlyTheSave() {
        m_phone->get(QStringLiteral("/bill/%1").arg(m_bill));
        const QString fingerprint = m_phone->fingerprint(m_lines[0]);
        QVERIFY(!fingerprint.isEmpty());
        const auto form = [&](const QString& width) {
            return QList<std::pair<QString, QString>>{{QStringLiteral("v%1").arg(m_lines[0]), fingerprint},
                                                      {QStringLiteral("w%1").arg(m_lines[0]), width},
                                                      {QStringLiteral("h%1").arg(m_lines[0]), QStringLiteral("2025")}};
        };
        auto second = std::make_unique<Phone>(m_web->port, m_web->certificate());
        auto third = std::make_unique<Phone>(m_web->port, m_web->certificate());
        QVERIFY(second->login(QStringLiteral("李工"), QStringLiteral("password1")));
        QVERIFY(third->login(QStringLiteral("李工"), QStringLiteral("password1")));
        second->get(QStringLiteral("/bill/%1").arg(m_bill));
        third->get(QStringLiteral("/bill/%1").arg(m_bill));
        QNetworkReply* first = nullptr;
        QNetworkReply* other = nullptr;
        Answer busy;
        {
            // Another program writes, and holds the lock while the phones save.
            TransactionScope program;
            Database::Exec(QStringLiteral("update 客户信息 set 客户名=\"王五\" where 客户ID=1"));
            first = m_phone->startPost(QStringLiteral("/bill/%1").arg(m_bill), form(QStringLiteral("905")));
            other = second->startPost(QStringLiteral("/bill/%1").arg(m_bill), form(QStringLiteral("906")));
            QTest::qWait(500);
            // One more save is told at once that the database is busy.
            busy = third->finish(third->startPost(QStringLiteral("/bill/%1").arg(m_bill), form(QStringLiteral("907"))),
                                 kPhoneWait);
            // Every page goes on meanwhile, the login page too.
            Phone newcomer(m_web->port, m_web->certificate());
            QCOMPARE(newcomer.get(QStringLiteral("/login"), kPhoneWait).status, 200);
            QCOMPARE(third->get(QStringLiteral("/bill/%1").arg(m_bill), kPhoneWait).status, 200);
            QCOMPARE(third->get(QStringLiteral("/"), kPhoneWait).status, 200);
            QVERIFY(!first->isFinished() && !other->isFinished());
            // The program lets go here, without writing.
        }
        const int a = m_phone->finish(first).status, b = second->finish(other).status;
        QCOMPARE(busy.status, 503);
        QVERIFY2(busy.body.contains(QStringLiteral("其他程序")), qPrintable(busy.body));
        // The two saves that waited go through in turn: the later finds the line changed by the first.
        QVERIFY2((a == 303 && b == 409) || (a == 409 && b == 303), qPrintable(QStringLiteral("%1 %2").arg(a).arg(b)));
        QCOMPARE(sizes(m_lines[0]).section(QLatin1Char(' '), 0, 1),
                 a == 303 ? QStringLiteral("905 2025") : QStringLiteral("906 2025"));
    }
};

QTEST_GUILESS_MAIN(TestWebLimits)
#include "test_web_limits.moc"
