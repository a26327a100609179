#include "app/DataLocation.h"

#include "store/Database.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace kvt {

QString DatabasePathFromArguments(const QStringList& arguments, QString* error)
{
    QCommandLineParser parser;
    const QCommandLineOption dataDir(QStringLiteral("data-dir"), QString(), QStringLiteral("DIR"));
    parser.addOption(dataDir);
    QString problem;
    if (!parser.parse(arguments))
        problem = parser.errorText();
    else if (!parser.positionalArguments().isEmpty())
        problem = QStringLiteral("不认识的参数：") + parser.positionalArguments().join(QLatin1Char(' '));
    else if (parser.isSet(dataDir) && parser.value(dataDir).isEmpty())
        problem = QStringLiteral("--data-dir 后面没有给出文件夹");
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return QString();
    }
    const QString file = QStringLiteral("kvt.db");
    if (!parser.isSet(dataDir))
        return file;
    QString dir = parser.value(dataDir);
    if (dir == QStringLiteral("~") || dir.startsWith(QStringLiteral("~/")))
        dir = QDir::homePath() + dir.mid(1);
    return QDir(dir).filePath(file);
}

QString DatabaseLocation(const QString& databasePath, QString* error)
{
    const QString ini = QFileInfo(databasePath).absoluteDir().filePath(QStringLiteral("kvt.ini"));
    const QFileInfo info(ini);
    if (!info.exists())
        return databasePath;
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return QString();
    };
    const QString shown = QDir::toNativeSeparators(ini);
    if (!info.isFile() || !info.isReadable())
        return fail(QStringLiteral("无法读取配置文件“%1”。").arg(shown));
    QSettings settings(ini, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError)
        return fail(QStringLiteral("配置文件“%1”的格式不对，无法读取。").arg(shown));
    const QString key = QStringLiteral("database/connection");
    // The web page's certificate and key are kvtweb's; every program of the folder reads the file.
    const QStringList known = {key, QStringLiteral("web/certificate"), QStringLiteral("web/key")};
    QStringList unknown;
    for (const QString& k : settings.allKeys())
        if (!known.contains(k))
            unknown << k;
    if (!unknown.isEmpty())
        return fail(QStringLiteral("配置文件“%1”中有不认识的设置：%2。（只认识 [database] 下的 connection，"
                                   "[web] 下的 certificate 和 key）")
                        .arg(shown, unknown.join(QStringLiteral("、"))));
    if (!settings.contains(key))
        return databasePath;
    // A value with commas (several hosts) is read as a list: it is one connection string.
    const QVariant value = settings.value(key);
    const QString connection = (value.typeId() == QMetaType::QStringList ? value.toStringList().join(QLatin1Char(','))
                                                                          : value.toString())
                                   .trimmed();
    if (connection.isEmpty())
        return fail(QStringLiteral("配置文件“%1”中 connection 后面没有给出数据库服务器。").arg(shown));
    if (!IsServerConnection(connection))
        return fail(QStringLiteral("配置文件“%1”中的 connection 不是数据库服务器的连接字符串"
                                   "（应为“host=服务器 dbname=数据库 user=用户”或“postgresql://用户@服务器/数据库”）。")
                        .arg(shown));
    return connection;
}

} // namespace kvt
