// kvtweb: the measurer's page on the workshop's network, over the same database kvt uses.
//
//   kvtweb [--data-dir=DIR] [--listen ADDRESS:PORT] [--insecure-http]
//   kvtweb [--data-dir=DIR] --add-user NAME | --remove-user NAME | --list-users
//
// KVTWEB_HANDSHAKE_MS, KVTWEB_REQUEST_MS and KVTWEB_IDLE_MS, when set, replace the listener's times
// (10, 30 and 60 seconds), so that the tests need not wait them out. SIGTERM or SIGINT stops it:
// the requests under way are answered first.

#include "app/DataLocation.h"
#include "store/Database.h"
#include "web/Accounts.h"
#include "web/Certificate.h"
#include "web/WebServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QSettings>
#include <QSslCertificate>
#include <QSslKey>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include <pthread.h>
#include <termios.h>
#include <unistd.h>

using namespace kvt;

namespace {

void say(FILE* to, const QString& text) {
    const QByteArray out = text.toUtf8() + '\n';
    std::fwrite(out.constData(), 1, size_t(out.size()), to);
    std::fflush(to);
}

int stop(const QString& why) {
    say(stderr, QStringLiteral("kvtweb：") + why);
    return 1;
}

/// One line from standard input, not echoed when it is a terminal.
bool readSecret(const QString& prompt, QString* out) {
    const bool terminal = isatty(STDIN_FILENO);
    termios saved{};
    if (terminal) {
        std::fputs(prompt.toUtf8().constData(), stderr);
        std::fflush(stderr);
        tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    const bool got = bool(std::getline(std::cin, line));
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fputs("\n", stderr);
    }
    *out = QString::fromStdString(line);
    return got;
}

int addUser(const QString& name) {
    const QString problem = web::accountNameProblem(name);
    if (!problem.isEmpty())
        return stop(problem);
    QString first, second;
    if (!readSecret(QStringLiteral("密码："), &first) || !readSecret(QStringLiteral("再输入一次："), &second))
        return stop(QStringLiteral("没有读到密码，账号没有保存。"));
    if (first != second)
        return stop(QStringLiteral("两次输入的密码不一样，账号没有保存。"));
    if (first.size() < web::kMinPasswordLength)
        return stop(QStringLiteral("密码至少要%1个字符，账号没有保存。").arg(web::kMinPasswordLength));
    const bool existed = web::accountHash(name).has_value();
    web::saveAccount(name, first);
    say(stdout,
        existed ? QStringLiteral("已为“%1”设置新密码。").arg(name) : QStringLiteral("已添加账号“%1”。").arg(name));
    return 0;
}

/// The key file in whichever form it holds.
QSslKey readKey(const QByteArray& pem) {
    for (const QSsl::KeyAlgorithm a : {QSsl::Ec, QSsl::Rsa}) {
        QSslKey key(pem, a);
        if (!key.isNull())
            return key;
    }
    return QSslKey();
}

/// A time in milliseconds from the environment, or fallback when it is not set or no positive number.
int timeFromEnvironment(const char* name, int fallback) {
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue(name, &ok);
    return ok && ms > 0 ? ms : fallback;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption dataDir(QStringLiteral("data-dir"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption listen(QStringLiteral("listen"), QString(), QStringLiteral("ADDRESS:PORT"),
                                    QStringLiteral("0.0.0.0:8443"));
    const QCommandLineOption insecure(QStringLiteral("insecure-http"));
    const QCommandLineOption addUserOption(QStringLiteral("add-user"), QString(), QStringLiteral("NAME"));
    const QCommandLineOption removeUser(QStringLiteral("remove-user"), QString(), QStringLiteral("NAME"));
    const QCommandLineOption listUsers(QStringLiteral("list-users"));
    parser.addOptions({dataDir, listen, insecure, addUserOption, removeUser, listUsers});
    const QString usage = QStringLiteral("用法：kvtweb [--data-dir=文件夹] [--listen 地址:端口] [--insecure-http]\n"
                                         "      kvtweb [--data-dir=文件夹] --add-user 用户名 | --remove-user 用户名 | "
                                         "--list-users");
    if (!parser.parse(app.arguments()))
        return stop(parser.errorText() + QLatin1Char('\n') + usage);
    if (!parser.positionalArguments().isEmpty())
        return stop(QStringLiteral("不认识的参数：") + parser.positionalArguments().join(QLatin1Char(' ')) +
                    QLatin1Char('\n') + usage);

    QStringList locationArguments{app.arguments().value(0)};
    if (parser.isSet(dataDir))
        locationArguments << QStringLiteral("--data-dir=") + parser.value(dataDir);
    QString problem;
    const QString databasePath = DatabasePathFromArguments(locationArguments, &problem);
    if (databasePath.isEmpty())
        return stop(problem);
    const QString folder = QFileInfo(databasePath).absolutePath();
    const QString location = DatabaseLocation(databasePath, &problem);
    if (location.isEmpty())
        return stop(problem);

    // Checked before the database opens: a mistyped address must not wait for a server.
    const QString listenText = parser.value(listen);
    const qsizetype colon = listenText.lastIndexOf(QLatin1Char(':'));
    bool portOk = false;
    const uint port = listenText.mid(colon + 1).toUInt(&portOk);
    QString host = listenText.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    const QHostAddress address(host);
    const bool serving = !parser.isSet(addUserOption) && !parser.isSet(removeUser) && !parser.isSet(listUsers);
    if (serving && (colon < 0 || !portOk || port > 65535 || address.isNull()))
        return stop(QStringLiteral("--listen 要写成 地址:端口，如 0.0.0.0:8443，而不是“%1”。").arg(listenText));

    QString databaseShown;
    try {
        if (!IsServerConnection(location) && !QDir().mkpath(folder))
            return stop(QStringLiteral("无法建立数据文件夹“%1”").arg(QDir::toNativeSeparators(folder)));
        Database::Open(location);
        if (parser.isSet(listUsers)) {
            for (const QString& name : web::accountNames())
                say(stdout, name);
            return 0;
        }
        if (parser.isSet(removeUser)) {
            const QString name = parser.value(removeUser);
            if (!web::removeAccount(name))
                return stop(QStringLiteral("没有账号“%1”。").arg(name));
            say(stdout, QStringLiteral("已删除账号“%1”。").arg(name));
            return 0;
        }
        if (parser.isSet(addUserOption))
            return addUser(parser.value(addUserOption));
        databaseShown = Database::Describe();
    } catch (const std::exception& e) {
        return stop(QString::fromUtf8(e.what()));
    }

    const bool secure = !parser.isSet(insecure);
    web::ServerLimits limits;
    limits.handshakeMs = timeFromEnvironment("KVTWEB_HANDSHAKE_MS", limits.handshakeMs);
    limits.requestMs = timeFromEnvironment("KVTWEB_REQUEST_MS", limits.requestMs);
    limits.idleMs = timeFromEnvironment("KVTWEB_IDLE_MS", limits.idleMs);
    // The listener's threads are started with these blocked: the main thread alone takes them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // The workers open connections of their own.
    Database::Close();
    web::WebServer server(secure, location, limits);
    QString fingerprint;
    if (secure) {
        const QSettings ini(QDir(folder).filePath(QStringLiteral("kvt.ini")), QSettings::IniFormat);
        const QString named = ini.value(QStringLiteral("web/certificate")).toString();
        const QString namedKey = ini.value(QStringLiteral("web/key")).toString();
        if (named.isEmpty() != namedKey.isEmpty())
            return stop(QStringLiteral("kvt.ini 的 [web] 里 certificate 和 key 要一起给出。"));
        const QDir base(folder);
        const QString certPath =
            base.absoluteFilePath(named.isEmpty() ? QStringLiteral("kvtweb-certificate.pem") : named);
        const QString keyPath = base.absoluteFilePath(namedKey.isEmpty() ? QStringLiteral("kvtweb-key.pem") : namedKey);
        web::PemFiles pem;
        if (!named.isEmpty()) {
            for (const auto& [path, target] : {std::pair{certPath, &pem.certificate}, std::pair{keyPath, &pem.key}}) {
                QFile f(path);
                if (!f.open(QIODevice::ReadOnly))
                    return stop(QStringLiteral("无法读取“%1”：%2").arg(path, f.errorString()));
                *target = f.readAll();
            }
        } else if (const QString why = web::loadOrMakeCertificate(certPath, keyPath, &pem); !why.isEmpty()) {
            return stop(why);
        }
        const QList<QSslCertificate> certs = QSslCertificate::fromData(pem.certificate, QSsl::Pem);
        const QSslKey key = readKey(pem.key);
        if (certs.isEmpty())
            return stop(QStringLiteral("“%1”里没有可用的证书。").arg(certPath));
        if (key.isNull())
            return stop(QStringLiteral("“%1”里没有可用的私钥。").arg(keyPath));
        server.useCertificate(pem.certificate, pem.key);
        fingerprint = QString::fromLatin1(certs.first().digest(QCryptographicHash::Sha256).toHex(':').toUpper());
        say(stderr, QStringLiteral("kvtweb：证书 %1（SHA-256 指纹 %2）").arg(certPath, fingerprint));
    } else {
        say(stderr, QStringLiteral("kvtweb：注意，没有加密（--insecure-http）：密码和尺寸在网络上明文传送，"
                                   "只应在测试时这样用。"));
    }
    const quint16 bound = server.listen(address, quint16(port));
    if (bound == 0)
        return stop(QStringLiteral("无法在 %1 上监听（端口已被占用，没有权限，或证书不能用）。").arg(listenText));
    const QString shownHost =
        address.protocol() == QAbstractSocket::IPv6Protocol ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    say(stdout, QStringLiteral("kvtweb：%1://%2:%3/ 数据库 %4")
                    .arg(secure ? QStringLiteral("https") : QStringLiteral("http"), shownHost, QString::number(bound),
                         databaseShown));
    int signal = 0;
    sigwait(&stopSignals, &signal);
    say(stderr, QStringLiteral("kvtweb：停止"));
    return 0;
}
