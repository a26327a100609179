#pragma once
// The measurer's web page as a server: the requests' rules (sessions, form tokens, the login
// throttle, the log lines) in WebSite, which answers a request without a socket, and its
// HTTP(S) listener in WebServer.

#include "web/Sessions.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrlQuery>

#include <functional>
#include <memory>

class QHttpServer;
class QSslCertificate;
class QSslKey;

namespace kvt::web {

struct Request {
    QByteArray method; // "GET", "POST"
    QString path;
    QUrlQuery query;
    QByteArray cookie; // the Cookie header
    QByteArray body;
    QString address; // the client's
};

struct Reply {
    int status = 200;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
};

class WebSite {
public:
    /// secure: the pages go over HTTPS (the session cookie is then Secure).
    explicit WebSite(bool secure);
    /// Answers one request on the open database.
    Reply handle(const Request& request);
    /// The clock the sessions and the throttle go by (milliseconds since the epoch).
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }

private:
    Reply login(const Request& request, qint64 now);
    Reply saveBill(const Request& request, const Session& session, qint64 billId);
    Reply showBill(qint64 billId, const Session& session, const QString& notice);
    bool m_secure;
    Sessions m_sessions;
    LoginThrottle m_throttle;
    std::function<qint64()> m_clock;
};

/// Writes one line to the log (standard error), with control characters taken out.
void logLine(const QString& line);

class WebServer : public QObject {
    Q_OBJECT
public:
    explicit WebServer(bool secure, QObject* parent = nullptr);
    ~WebServer() override;
    /// Serves HTTPS with this certificate and key (before listen).
    void useCertificate(const QSslCertificate& certificate, const QSslKey& key);
    /// Starts listening; gives the port (0 when the address cannot be bound).
    quint16 listen(const QHostAddress& address, quint16 port);

private:
    std::unique_ptr<QHttpServer> m_server;
    WebSite m_site;
};

} // namespace kvt::web
