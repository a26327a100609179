#include "web/Sessions.h"

#include <sodium.h>

namespace kvt::web {

QByteArray randomToken(int bytes) {
    if (sodium_init() < 0)
        qFatal("libsodium cannot start");
    QByteArray raw(bytes, Qt::Uninitialized);
    randombytes_buf(raw.data(), size_t(raw.size()));
    return raw.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

bool tokensEqual(const QByteArray& a, const QByteArray& b) {
    return a.size() == b.size() && !a.isEmpty() && sodium_memcmp(a.constData(), b.constData(), size_t(a.size())) == 0;
}

QByteArray Sessions::open(const QString& name, qint64 now) {
    // Ended sessions are dropped here, so that the table does not grow over months of logins.
    for (auto it = m_sessions.begin(); it != m_sessions.end();)
        it = it->expires <= now ? m_sessions.erase(it) : std::next(it);
    const QByteArray token = randomToken();
    m_sessions.insert(token, Session{name, randomToken(), now + kLifetime});
    return token;
}

std::optional<Session> Sessions::find(const QByteArray& token, qint64 now) {
    const auto it = m_sessions.find(token);
    if (it == m_sessions.end())
        return std::nullopt;
    if (it->expires <= now) {
        m_sessions.erase(it);
        return std::nullopt;
    }
    return *it;
}

void Sessions::close(const QByteArray& token) {
    m_sessions.remove(token);
}

bool LoginThrottle::blockedKey(const QString& key, qint64 now) {
    const auto it = m_records.constFind(key);
    return it != m_records.constEnd() && it->blockedUntil > now;
}

void LoginThrottle::failedKey(const QString& key, qint64 now) {
    Record& r = m_records[key];
    r.failures.removeIf([&](qint64 t) { return t <= now - kWindow; });
    r.failures << now;
    if (r.failures.size() >= kTries) {
        r.blockedUntil = now + kWindow;
        r.failures.clear();
    }
}

bool LoginThrottle::blocked(const QString& name, const QString& address, qint64 now) {
    return blockedKey(QStringLiteral("n:") + name, now) || blockedKey(QStringLiteral("a:") + address, now);
}

void LoginThrottle::failed(const QString& name, const QString& address, qint64 now) {
    failedKey(QStringLiteral("n:") + name, now);
    failedKey(QStringLiteral("a:") + address, now);
    // Records that block nothing and count nothing recent are dropped as they come.
    m_records.removeIf([&](const QHash<QString, Record>::iterator& it) {
        return it->blockedUntil <= now && (it->failures.isEmpty() || it->failures.last() <= now - kWindow);
    });
}

} // namespace kvt::web
