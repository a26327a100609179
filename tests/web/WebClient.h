#pragma once
// The web page's tests: kvtweb started for real on 127.0.0.1 over a test's data folder, and a
// "phone" that talks HTTPS to it with Qt's network client, accepting kvtweb's own certificate
// (that one, no other) as a measurer does once; bills made for the page to show.

#include "store/DataQuery.h"

#include <QDate>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QTest>
#include <QTimer>

namespace kvt::test {

/// A saved bill of the client with one unmeasured line per product; the lines' keys in ids.
inline qint64 addBill(qint64 client, const QString& address, const QDate& date, const QList<qint64>& products,
                      QList<qint64>* ids = nullptr) {
    static qint64 next = 100;
    const qint64 bill = ++next;
    DataQuery header;
    header.SetSql(QStringLiteral("select * from 历史单据 where 单据ID=0"));
    header.Open();
    header.AppendRow();
    header.Field(QStringLiteral("单据ID")).setInteger(bill);
    header.Field(QStringLiteral("客户ID")).setInteger(client);
    header.Field(QStringLiteral("客户地址")).setString(address);
    header.Field(QStringLiteral("单据日期")).setString(date.toString(Qt::ISODate));
    header.Field(QStringLiteral("安装人员ID")).setInteger(client);
    header.Field(QStringLiteral("安装人员")).setString(QStringLiteral("刘师傅"));
    header.ApplyUpdates();
    DataQuery lines;
    lines.SetSql(QStringLiteral("select * from 单据明细 where 单据ID=%1").arg(bill));
    lines.Open();
    for (const qint64 p : products) {
        lines.AppendRow();
        const QStringList values = {
            QString::number(bill), QString::number(p), "1", "平板", "900", "2000", "20", "备注"};
        const QStringList fields = {"单据ID", "商品ID", "数量", "玻璃款式", "见光宽", "见光高", "埋地", "门框备注"};
        for (int i = 0; i < fields.size(); ++i)
            lines.Field(fields[i]).setString(values[i]);
    }
    lines.ApplyUpdates();
    if (ids) {
        ids->clear();
        for (int r = 1; r <= lines.RowCount(); ++r)
            *ids << lines.ValueAt(r, lines.FieldIndex(QStringLiteral("门框ID"))).toLongLong();
    }
    return bill;
}

/// The measured and computed sizes of a line, "现量宽 现量高 门扇宽 门扇高 玻璃宽 玻璃高".
inline QString sizes(qint64 id) {
    DataQuery q;
    q.SetSql(QStringLiteral("select 现量宽,现量高,门扇宽,门扇高,玻璃宽,玻璃高 from 单据明细 where 门框ID=%1").arg(id));
    q.Open();
    QStringList out;
    for (int c = 0; c < 6; ++c)
        out << q.TextAt(1, c);
    return out.join(QLatin1Char(' '));
}

/// A kvtweb process over a data folder; ended by its destructor.
class KvtWeb {
public:
    /// Starts `kvtweb --data-dir=folder --listen 127.0.0.1:0`, with environment (NAME=value) added
    /// to the test's; false when it did not come up.
    bool start(const QString& program, const QString& folder, const QStringList& extra = {},
               const QStringList& environment = {}) {
        m_folder = folder;
        m_process.setProgram(program);
        m_process.setEnvironment(QProcess::systemEnvironment() + environment);
        m_process.setArguments(QStringList{QStringLiteral("--data-dir=") + folder, QStringLiteral("--listen"),
                                           QStringLiteral("127.0.0.1:0")} +
                               extra);
        m_process.start();
        static const QRegularExpression url(QStringLiteral("127\\.0\\.0\\.1:([0-9]+)/"));
        for (int i = 0; i < 200 && m_process.state() != QProcess::NotRunning; ++i) {
            m_process.waitForReadyRead(100);
            m_out += m_process.readAllStandardOutput();
            const QRegularExpressionMatch m = url.match(QString::fromUtf8(m_out));
            if (m.hasMatch()) {
                port = quint16(m.captured(1).toUInt());
                return true;
            }
        }
        qWarning("kvtweb did not start: %s %s", m_out.constData(), m_process.readAllStandardError().constData());
        return false;
    }
    ~KvtWeb() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(5000))
                m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    /// Everything kvtweb wrote to standard error so far: its log.
    QString log() {
        m_err += m_process.readAllStandardError();
        return QString::fromUtf8(m_err);
    }
    QSslCertificate certificate() const {
        QFile f(m_folder + QStringLiteral("/kvtweb-certificate.pem"));
        return f.open(QIODevice::ReadOnly) ? QSslCertificate(f.readAll()) : QSslCertificate();
    }
    /// A line of /proc/PID/status of kvtweb, in kB ("VmRSS", "VmHWM"); -1 when not there.
    qint64 status(const QByteArray& name) const {
        QFile f(QStringLiteral("/proc/%1/status").arg(m_process.processId()));
        if (!f.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray& line : f.readAll().split('\n'))
            if (line.startsWith(name + ':'))
                return line.mid(name.size() + 1).trimmed().split(' ').value(0).toLongLong();
        return -1;
    }
    /// The descriptors kvtweb holds open.
    int openFiles() const {
        return int(QDir(QStringLiteral("/proc/%1/fd").arg(m_process.processId()))
                       .entryList(QDir::NoDotAndDotDot | QDir::System)
                       .size());
    }
    /// The processor time kvtweb has used so far, in clock ticks.
    qint64 cpuTicks() const {
        QFile f(QStringLiteral("/proc/%1/stat").arg(m_process.processId()));
        if (!f.open(QIODevice::ReadOnly))
            return -1;
        const QByteArray stat = f.readAll();
        // After the command's name in brackets: state is field 3, utime and stime fields 14 and 15.
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        return fields.value(11).toLongLong() + fields.value(12).toLongLong();
    }
    bool running() const { return m_process.state() == QProcess::Running; }
    quint16 port = 0;

private:
    QProcess m_process;
    QString m_folder;
    QByteArray m_out, m_err;
};

/// Runs kvtweb once with standard input given; its exit code, output in out.
inline int runKvtWeb(const QString& program, const QStringList& arguments, const QByteArray& input = {},
                     QString* out = nullptr) {
    QProcess p;
    p.start(program, arguments);
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000))
        return -1;
    if (out)
        *out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
    return p.exitCode();
}

struct Answer {
    int status = 0;
    QString body;
    QByteArray location;
    QByteArray setCookie;
};

/// One phone: its own session cookie, the last page's form token.
class Phone {
public:
    Phone(quint16 port, const QSslCertificate& accepted) : m_port(port), m_accepted(accepted) {
        m_net.setProxy(QNetworkProxy::NoProxy);
        m_net.setCookieJar(new NoJar);
    }

    Answer get(const QString& pathAndQuery) { return send(pathAndQuery, nullptr); }
    /// The same, given up after waitMs (status 0 then).
    Answer get(const QString& pathAndQuery, int waitMs) { return finish(start(pathAndQuery, nullptr), waitMs); }
    /// Posts a form; the session's form token goes with it unless withToken is false.
    Answer post(const QString& path, const QList<std::pair<QString, QString>>& fields, bool withToken = true) {
        return finish(startPost(path, fields, withToken));
    }
    /// Sends a form without waiting for the answer (finish() waits), so that phones can send at once.
    QNetworkReply* startPost(const QString& path, QList<std::pair<QString, QString>> fields, bool withToken = true) {
        if (withToken)
            fields.append({QStringLiteral("token"), formToken});
        QByteArray body;
        for (const auto& [k, v] : fields)
            body += (body.isEmpty() ? "" : "&") + QUrl::toPercentEncoding(k) + '=' + QUrl::toPercentEncoding(v);
        return start(path, &body);
    }
    /// Waits for the answer to a request sent, up to waitMs (status 0 when none came by then).
    Answer finish(QNetworkReply* reply, int waitMs = 30000) {
        if (!reply->isFinished()) {
            QEventLoop loop;
            QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
            QTimer::singleShot(waitMs, &loop, &QEventLoop::quit);
            loop.exec();
        }
        if (!reply->isFinished())
            reply->abort();
        Answer a;
        a.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        a.body = QString::fromUtf8(reply->readAll());
        a.location = reply->rawHeader("Location");
        a.setCookie = reply->rawHeader("Set-Cookie");
        reply->deleteLater();
        static const QRegularExpression token(QStringLiteral("name=\"token\" value=\"([^\"]+)\""));
        const QString t = token.match(a.body).captured(1);
        if (!t.isEmpty())
            formToken = t;
        if (!a.body.isEmpty())
            m_last = a.body;
        return a;
    }
    /// Logs in; true when a session cookie came back.
    bool login(const QString& name, const QString& password) {
        const Answer a = post(QStringLiteral("/login"),
                              {{QStringLiteral("name"), name}, {QStringLiteral("password"), password}}, false);
        if (a.status != 303 || !a.setCookie.startsWith("kvtweb="))
            return false;
        cookie = a.setCookie.left(a.setCookie.indexOf(';'));
        get(QStringLiteral("/")); // the form token of the session
        return !formToken.isEmpty();
    }
    /// The fingerprint field of a line on the last page.
    QString fingerprint(qint64 lineId) const {
        const QRegularExpression re(QStringLiteral("name=\"v%1\" value=\"([^\"]+)\"").arg(lineId));
        return re.match(m_last).captured(1);
    }

    QByteArray cookie;
    QString formToken;

private:
    class NoJar : public QNetworkCookieJar {
    public:
        QList<QNetworkCookie> cookiesForUrl(const QUrl&) const override { return {}; }
        bool setCookiesFromUrl(const QList<QNetworkCookie>&, const QUrl&) override { return false; }
    };

    QNetworkReply* start(const QString& pathAndQuery, const QByteArray* body) {
        QNetworkRequest request(QUrl(QStringLiteral("https://127.0.0.1:%1%2").arg(m_port).arg(pathAndQuery)));
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        if (!cookie.isEmpty())
            request.setRawHeader("Cookie", cookie);
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
        QNetworkReply* reply = body ? m_net.post(request, *body) : m_net.get(request);
        QObject::connect(reply, &QNetworkReply::sslErrors, reply, [this, reply](const QList<QSslError>& errors) {
            for (const QSslError& e : errors)
                if (e.certificate() != m_accepted)
                    return;
            reply->ignoreSslErrors(errors);
        });
        return reply;
    }
    Answer send(const QString& pathAndQuery, const QByteArray* body) { return finish(start(pathAndQuery, body)); }
    QNetworkAccessManager m_net;
    quint16 m_port;
    QSslCertificate m_accepted;
    QString m_last;
};

} // namespace kvt::test
