#pragma once
// The measurer's web page's rules: sessions, form tokens, the login throttle, the search box, the
// save and the log lines, answering a request without a socket. The listener is WebServer.

#include "web/Measure.h"
#include "web/Sessions.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrlQuery>

#include <atomic>
#include <functional>
#include <mutex>

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

/// The search box's text as the list searches for it: control characters taken out, trimmed, cut
/// at kSearchLength characters (cut tells whether it was).
QString searchText(const QString& typed, bool* cut = nullptr);

class WebSite {
public:
    /// How many saves may be under way at once (each waits for the database as long as another
    /// program holds it); one more is answered "busy" at once, so that the others' pages go on.
    static constexpr int kSavesAtOnce = 2;

    /// secure: the pages go over HTTPS (the session cookie is then Secure).
    explicit WebSite(bool secure);
    /// Answers one request on the calling thread's open database. Several threads may call it at
    /// once, each with a database of its own.
    Reply handle(const Request& request);
    /// The clock the sessions and the throttle go by (milliseconds since the epoch); set before use.
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }

private:
    Reply login(const Request& request, qint64 now);
    Reply saveBill(const Request& request, const Session& session, qint64 billId);
    Reply showBill(qint64 billId, const Session& session, const QString& notice);
    bool m_secure;
    /// Guards m_sessions and m_throttle (never held while the database or a hash is at work).
    std::mutex m_lock;
    Sessions m_sessions;
    LoginThrottle m_throttle;
    std::atomic<int> m_saving{0};
    std::function<qint64()> m_clock;
};

/// Writes one line to the log (standard error), with control characters taken out.
void logLine(const QString& line);

} // namespace kvt::web
