#pragma once
// The measurer's web page's HTTP(S) listener: WebSite's answers over the network, with a limit and
// a time on everything a visitor can make it spend.

#include "web/WebSite.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include <memory>

namespace kvt::web {

/// What one visitor may make the server spend, and for how long.
struct ServerLimits {
    /// From the connection's opening until its first request line is in (the TLS handshake included).
    int handshakeMs = 10'000;
    /// From a request line until the request is whole, headers and body; and for sending an answer.
    int requestMs = 30'000;
    /// A connection kept open after an answer, until its next request line.
    int idleMs = 60'000;
    /// Connections open at once, in all and from one address (a phone opens a handful).
    int connections = 128;
    int connectionsPerAddress = 16;
    /// The request's target (path and query): 414 beyond.
    int targetBytes = 4096;
    /// The request line and headers together: 431 beyond.
    int headerBytes = 8192;
    /// A request's body: 413 beyond (the pages' forms are a few KB).
    int bodyBytes = 64 * 1024;
    /// Threads answering requests, each with a database connection of its own.
    int workers = 4;
};

class WebServer {
public:
    /// database: the location (a file or a server) each of the workers opens for itself.
    WebServer(bool secure, const QString& database, const ServerLimits& limits = {});
    /// Stops listening, answers the requests under way and closes every connection.
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;
    /// Serves HTTPS with this certificate and key, as PEM texts (before listen).
    void useCertificate(const QByteArray& certificatePem, const QByteArray& keyPem);
    /// Starts listening; gives the port (0 when the address cannot be bound or the certificate is
    /// refused).
    quint16 listen(const QHostAddress& address, quint16 port);

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace kvt::web
