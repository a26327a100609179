#pragma once
// Who is logged in on the web page, and who may try again: sessions held in memory (a restart
// logs everyone out), and the login throttle. Times are milliseconds since the epoch, given by
// the caller, so that expiry can be tried without waiting.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <optional>

namespace kvt::web {

/// A token of n random bytes, as URL-safe text.
QByteArray randomToken(int bytes = 32);
/// Compares two tokens in a time that does not depend on where they differ.
bool tokensEqual(const QByteArray& a, const QByteArray& b);

struct Session {
    QString name;
    /// The token every writing form of this session carries.
    QByteArray formToken;
    qint64 expires = 0;
};

class Sessions {
public:
    /// How long a session lasts from its login: 12 hours.
    static constexpr qint64 kLifetime = 12LL * 3600 * 1000;

    /// A new session for name; gives its cookie token.
    QByteArray open(const QString& name, qint64 now);
    /// The live session of a cookie token; an ended or unknown one is nullopt (and forgotten).
    std::optional<Session> find(const QByteArray& token, qint64 now);
    /// Ends a session (退出登录).
    void close(const QByteArray& token);

private:
    QHash<QByteArray, Session> m_sessions;
};

/// Five wrong passwords for one name, or from one address, within ten minutes block further tries
/// for that name, or from that address, for ten minutes from the fifth.
class LoginThrottle {
public:
    static constexpr int kTries = 5;
    static constexpr qint64 kWindow = 10LL * 60 * 1000;

    /// True while tries for name or from address are blocked.
    bool blocked(const QString& name, const QString& address, qint64 now);
    /// Counts a wrong password.
    void failed(const QString& name, const QString& address, qint64 now);

private:
    struct Record {
        QList<qint64> failures;
        qint64 blockedUntil = 0;
    };
    bool blockedKey(const QString& key, qint64 now);
    void failedKey(const QString& key, qint64 now);
    QHash<QString, Record> m_records;
};

} // namespace kvt::web
