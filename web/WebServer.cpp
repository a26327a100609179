// kvtweb's listener, on libmicrohttpd (TLS through GnuTLS). One thread of the library reads and
// writes every connection; it never waits for the database. What one visitor can make it spend is
// bounded:
//
// - memory: a connection's request line and headers live in a pool of kPoolBytes, and past
//   headerBytes (targetBytes for the target) the request is answered 431 (414) without reading
//   further; a body past bodyBytes is answered 413, before it is read when its length is declared;
// - connections: at most `connections` in all and `connectionsPerAddress` from one address, well
//   under the open-files limit the service is given, so the server never runs out of descriptors;
// - time: a watchdog thread holds a deadline for each connection (handshake, request, idle) and
//   shuts a connection down at its deadline, however slowly it trickles in; the library's own
//   timeout (no traffic at all) is a backstop behind it.
//
// Requests are answered on a few worker threads, each with a database connection of its own: a
// complete request suspends its connection and goes to the workers' queue, and the worker resumes
// it with the answer. A save that waits for a lock another program holds keeps only its own worker;
// the pages go on on the others, and WebSite answers a save "busy" at once when several are waiting
// already, so the workers never all wait on the lock. Worker connections rather than a short busy
// time: a save that meets the office's save of a moment waits that moment and goes through instead
// of being refused.

#include "web/WebServer.h"

#include "store/Database.h"
#include "web/Pages.h"

#include <QUrl>

#include <microhttpd.h>

#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include <netinet/in.h>

namespace kvt::web {
namespace {

using Clock = std::chrono::steady_clock;

/// The library's memory per connection: the request line and headers (headerBytes at most of it)
/// and the answer's head; a request that does not fit is refused by the library itself.
constexpr size_t kPoolBytes = 32 * 1024;

/// One connection as the watchdog sees it.
struct Link {
    int fd = -1;
    /// Shut down at this time, when armed.
    Clock::time_point deadline;
    bool armed = false;
    /// The target of the request being read, as it came (the library's thread only).
    std::string target;
};

/// One request on its way: being read, with a worker, answered.
struct Exchange {
    enum State { Reading, Working, Answered, Refused };
    Request request;
    std::atomic<int> state{Reading};
    Reply reply;
};

Reply refusal(int status, const QString& title, const QString& message) {
    Reply r{status, messagePage(title, message, false), {}};
    // The rest of what was sent is not read: the connection ends with the answer.
    r.headers.append({QByteArrayLiteral("Connection"), QByteArrayLiteral("close")});
    return r;
}

} // namespace

class WebServer::Private {
public:
    Private(bool secure, const QString& database, const ServerLimits& limits)
        : site(secure), secure(secure), database(database), limits(limits) {}

    WebSite site;
    const bool secure;
    const QString database;
    const ServerLimits limits;
    QByteArray certificate, key;
    MHD_Daemon* daemon = nullptr;

    // The watchdog's connections and their deadlines.
    std::mutex linksLock;
    std::condition_variable linksChanged;
    std::unordered_set<Link*> links;
    bool watchdogStops = false;
    std::thread watchdog;

    // The workers' queue.
    std::mutex queueLock;
    std::condition_variable queued;
    std::deque<std::pair<MHD_Connection*, Exchange*>> queue;
    bool workersStop = false;
    std::vector<std::thread> workers;

    void arm(Link* link, int ms) {
        {
            const std::lock_guard lock(linksLock);
            link->deadline = Clock::now() + std::chrono::milliseconds(ms);
            link->armed = true;
        }
        linksChanged.notify_one();
    }
    void disarm(Link* link) {
        const std::lock_guard lock(linksLock);
        link->armed = false;
    }

    void watch() {
        std::unique_lock lock(linksLock);
        while (!watchdogStops) {
            const Clock::time_point now = Clock::now();
            Clock::time_point next = now + std::chrono::seconds(1);
            for (Link* l : links) {
                if (!l->armed)
                    continue;
                if (l->deadline <= now) {
                    // The library closes the socket only after it has told notifyConnection, which
                    // takes this lock: the descriptor is still this connection's.
                    ::shutdown(l->fd, SHUT_RDWR);
                    l->armed = false;
                } else {
                    next = std::min(next, l->deadline);
                }
            }
            linksChanged.wait_until(lock, next);
        }
    }

    void work() {
        bool open = false;
        for (;;) {
            std::pair<MHD_Connection*, Exchange*> job;
            {
                std::unique_lock lock(queueLock);
                queued.wait(lock, [this] { return workersStop || !queue.empty(); });
                if (queue.empty())
                    break;
                job = queue.front();
                queue.pop_front();
            }
            auto [connection, exchange] = job;
            if (!open) {
                try {
                    Database::Open(database);
                    open = true;
                } catch (const std::exception& e) {
                    logLine(QStringLiteral("出错 无法打开数据库：%1").arg(QString::fromUtf8(e.what())));
                }
            }
            exchange->reply =
                open ? site.handle(exchange->request)
                     : Reply{503,
                             messagePage(QStringLiteral("暂时不能使用"),
                                         QStringLiteral("数据库暂时不能使用，本次没有保存。请稍后再试。"), false),
                             {}};
            exchange->state.store(Exchange::Answered, std::memory_order_release);
            MHD_resume_connection(connection);
        }
        if (open) {
            try {
                Database::Close();
            } catch (const std::exception&) {
                // Closing at the end: nothing is left to be saved.
            }
        }
    }

    static Link* linkOf(MHD_Connection* connection) {
        const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
        return info ? static_cast<Link*>(info->socket_context) : nullptr;
    }

    MHD_Result answer(MHD_Connection* connection, const Reply& reply) {
        MHD_Response* response = MHD_create_response_from_buffer(
            size_t(reply.body.size()), const_cast<char*>(reply.body.constData()), MHD_RESPMEM_MUST_COPY);
        if (!response)
            return MHD_NO;
        MHD_add_response_header(response, "Content-Type", "text/html; charset=utf-8");
        for (const auto& [name, value] : reply.headers)
            MHD_add_response_header(response, name.constData(), value.constData());
        MHD_add_response_header(response, "Cache-Control", "no-store");
        MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
        MHD_add_response_header(response, "Referrer-Policy", "no-referrer");
        MHD_add_response_header(response, "Content-Security-Policy",
                                "default-src 'none'; style-src 'unsafe-inline'; form-action 'self'; "
                                "frame-ancestors 'none'; base-uri 'none'");
        const MHD_Result queuedAnswer = MHD_queue_response(connection, unsigned(reply.status), response);
        MHD_destroy_response(response);
        if (Link* link = linkOf(connection))
            arm(link, limits.requestMs);
        return queuedAnswer;
    }

    /// Refuses a request (too large) as soon as that is known.
    MHD_Result refuse(MHD_Connection* connection, Exchange* exchange, const Reply& reply) {
        exchange->state = Exchange::Refused;
        return answer(connection, reply);
    }

    static MHD_Result collectCookie(void* cls, MHD_ValueKind, const char* key, const char* value) {
        if (key && value && strcasecmp(key, "Cookie") == 0) {
            auto* cookie = static_cast<QByteArray*>(cls);
            if (!cookie->isEmpty())
                *cookie += "; ";
            *cookie += value;
        }
        return MHD_YES;
    }

    /// The request's head is in: checked against the limits, and read into exchange.
    MHD_Result begin(MHD_Connection* connection, const char* method, Exchange* exchange) {
        Link* link = linkOf(connection);
        const std::string target = link ? link->target : std::string();
        if (target.size() > size_t(limits.targetBytes))
            return refuse(
                connection, exchange,
                refusal(414, QStringLiteral("网址太长"), QStringLiteral("网址太长，请回到待测量页面重新打开。")));
        const MHD_ConnectionInfo* head = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_REQUEST_HEADER_SIZE);
        if (head && head->header_size > size_t(limits.headerBytes))
            return refuse(connection, exchange,
                          refusal(431, QStringLiteral("请求太大"), QStringLiteral("请求头太大，没有处理。")));
        if (const char* length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Content-Length")) {
            bool ok = false;
            const qint64 n = QByteArray(length).trimmed().toLongLong(&ok);
            if (!ok || n > limits.bodyBytes)
                return refuse(connection, exchange, tooLarge());
        }
        Request& r = exchange->request;
        r.method = method;
        const size_t question = target.find('?');
        r.path = QUrl::fromPercentEncoding(QByteArray::fromStdString(target.substr(0, question)));
        if (question != std::string::npos) {
            // Form-encoded, as the search box sends it: a + is a space.
            QByteArray query = QByteArray::fromStdString(target.substr(question + 1));
            query.replace('+', "%20");
            r.query = QUrlQuery(QString::fromLatin1(query));
        }
        MHD_get_connection_values(connection, MHD_HEADER_KIND, &Private::collectCookie, &r.cookie);
        if (const MHD_ConnectionInfo* client = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS))
            r.address = QHostAddress(client->client_addr).toString();
        return MHD_YES;
    }

    static Reply tooLarge() {
        return refusal(413, QStringLiteral("提交的内容太多"), QStringLiteral("提交的内容太多，没有保存。"));
    }

    MHD_Result access(MHD_Connection* connection, const char* method, const char* upload, size_t* uploadSize,
                      void** context) {
        auto* exchange = static_cast<Exchange*>(*context);
        if (!exchange) {
            exchange = new Exchange;
            *context = exchange;
            return begin(connection, method, exchange);
        }
        switch (exchange->state.load(std::memory_order_acquire)) {
        case Exchange::Refused:
            *uploadSize = 0; // the answer is queued: the rest is not kept
            return MHD_YES;
        case Exchange::Reading:
            break;
        case Exchange::Answered:
            return answer(connection, exchange->reply);
        default:
            return MHD_YES;
        }
        if (*uploadSize != 0) {
            if (exchange->request.body.size() + qint64(*uploadSize) > limits.bodyBytes) {
                // A body that did not say its length, grown past the limit.
                *uploadSize = 0;
                exchange->request.body.clear();
                return refuse(connection, exchange, tooLarge()) == MHD_YES ? MHD_YES : MHD_NO;
            }
            exchange->request.body.append(upload, qsizetype(*uploadSize));
            *uploadSize = 0;
            return MHD_YES;
        }
        // Whole: to a worker, the connection set aside until the answer.
        {
            const std::lock_guard lock(queueLock);
            if (workersStop)
                return MHD_NO;
            exchange->state = Exchange::Working;
            if (Link* link = linkOf(connection))
                disarm(link);
            MHD_suspend_connection(connection);
            queue.emplace_back(connection, exchange);
        }
        queued.notify_one();
        return MHD_YES;
    }

    static MHD_Result onAccess(void* cls, MHD_Connection* connection, const char*, const char* method, const char*,
                               const char* upload, size_t* uploadSize, void** context) {
        return static_cast<Private*>(cls)->access(connection, method, upload, uploadSize, context);
    }

    static void onCompleted(void* cls, MHD_Connection* connection, void** context, MHD_RequestTerminationCode) {
        delete static_cast<Exchange*>(*context);
        *context = nullptr;
        // Kept open for the next request: idle until its request line.
        if (Link* link = linkOf(connection))
            static_cast<Private*>(cls)->arm(link, static_cast<Private*>(cls)->limits.idleMs);
    }

    static void* onRequestLine(void* cls, const char* uri, MHD_Connection* connection) {
        if (Link* link = linkOf(connection)) {
            link->target = uri ? std::string(uri) : std::string();
            static_cast<Private*>(cls)->arm(link, static_cast<Private*>(cls)->limits.requestMs);
        }
        return nullptr;
    }

    static void onConnection(void* cls, MHD_Connection* connection, void** socketContext,
                             MHD_ConnectionNotificationCode code) {
        auto* d = static_cast<Private*>(cls);
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            auto* link = new Link;
            if (const MHD_ConnectionInfo* fd = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD))
                link->fd = fd->connect_fd;
            link->deadline = Clock::now() + std::chrono::milliseconds(d->limits.handshakeMs);
            link->armed = link->fd >= 0;
            *socketContext = link;
            {
                const std::lock_guard lock(d->linksLock);
                d->links.insert(link);
            }
            d->linksChanged.notify_one();
        } else if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
            auto* link = static_cast<Link*>(*socketContext);
            {
                const std::lock_guard lock(d->linksLock);
                d->links.erase(link);
            }
            delete link;
            *socketContext = nullptr;
        }
    }
};

WebServer::WebServer(bool secure, const QString& database, const ServerLimits& limits)
    : d(std::make_unique<Private>(secure, database, limits)) {}

WebServer::~WebServer() {
    if (d->daemon) {
        // No new connections; the requests with the workers are answered, then every connection ends.
        MHD_quiesce_daemon(d->daemon);
    }
    {
        const std::lock_guard lock(d->queueLock);
        d->workersStop = true;
    }
    d->queued.notify_all();
    for (std::thread& t : d->workers)
        t.join();
    if (d->daemon)
        MHD_stop_daemon(d->daemon);
    {
        const std::lock_guard lock(d->linksLock);
        d->watchdogStops = true;
    }
    d->linksChanged.notify_all();
    if (d->watchdog.joinable())
        d->watchdog.join();
}

void WebServer::useCertificate(const QByteArray& certificatePem, const QByteArray& keyPem) {
    d->certificate = certificatePem;
    d->key = keyPem;
}

quint16 WebServer::listen(const QHostAddress& address, quint16 port) {
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    const bool six = address.protocol() == QAbstractSocket::IPv6Protocol;
    if (six) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(port);
        const Q_IPV6ADDR a = address.toIPv6Address();
        std::memcpy(&v6.sin6_addr, &a, sizeof a);
    } else {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(port);
        v4.sin_addr.s_addr = htonl(address.toIPv4Address());
    }
    const ServerLimits& l = d->limits;
    // The library's own timeout counts only silence, in whole seconds: behind the watchdog's.
    const int backstopMs = std::max({l.handshakeMs, l.requestMs, l.idleMs});
    std::vector<MHD_OptionItem> options = {
        {MHD_OPTION_SOCK_ADDR, 0, six ? static_cast<void*>(&v6) : static_cast<void*>(&v4)},
        {MHD_OPTION_CONNECTION_LIMIT, l.connections, nullptr},
        {MHD_OPTION_PER_IP_CONNECTION_LIMIT, l.connectionsPerAddress, nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, backstopMs / 1000 + 2, nullptr},
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, intptr_t(kPoolBytes), nullptr},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&Private::onCompleted), d.get()},
        {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&Private::onConnection), d.get()},
        {MHD_OPTION_URI_LOG_CALLBACK, reinterpret_cast<intptr_t>(&Private::onRequestLine), d.get()},
    };
    if (d->secure) {
        options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(d->key.constData())});
        options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(d->certificate.constData())});
    }
    options.push_back({MHD_OPTION_END, 0, nullptr});
    const unsigned flags = MHD_USE_AUTO_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME | (d->secure ? MHD_USE_TLS : 0) |
                           (six ? MHD_USE_IPv6 : 0);
    d->watchdog = std::thread([this] { d->watch(); });
    for (int i = 0; i < std::max(1, l.workers); ++i)
        d->workers.emplace_back([this] { d->work(); });
    d->daemon = MHD_start_daemon(flags, port, nullptr, nullptr, &Private::onAccess, d.get(), MHD_OPTION_ARRAY,
                                 options.data(), MHD_OPTION_END);
    if (!d->daemon)
        return 0;
    const MHD_DaemonInfo* bound = MHD_get_daemon_info(d->daemon, MHD_DAEMON_INFO_BIND_PORT);
    return bound ? bound->port : 0;
}

} // namespace kvt::web
