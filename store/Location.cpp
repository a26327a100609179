// See Location.h. The server's connection is shown without its password as the server engine
// redacts it.
#include "store/Location.h"

#include "store/ServerEngine.h"

#include <QRegularExpression>

namespace kvt {

bool IsServerConnection(const QString& location)
{
    const QString t = location.trimmed();
    if (t.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
        t.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive))
        return true;
    // keyword=value pairs: "host=server dbname=kvt"
    static const QRegularExpression pair(QStringLiteral("^[A-Za-z_]+\\s*="));
    return pair.match(t).hasMatch();
}

QString DescribeLocation(const QString& location)
{
    return IsServerConnection(location) ? engine::RedactedConnection(location) : location;
}

} // namespace kvt
