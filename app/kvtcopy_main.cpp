// kvtcopy SOURCE TARGET: copies a workshop's database between a file and a server (or two of
// either), or brings the old program's kvt.mdb across, into a target that holds no data yet; one
// line per table when done (and the old file's report), else the reason on stderr and exit code 1.
#include "store/StoreError.h"
#include "transfer/Copy.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <new>

namespace {

const char* const kUsage =
    "用法：kvtcopy 源数据库 目标数据库\n"
    "  每个数据库是一个数据库文件的路径（例如 kvt.db），或数据库服务器的连接字符串\n"
    "  （例如 'host=192.168.1.10 dbname=kvt user=office' 或 postgresql://office@server/kvt）。\n"
    "  把源数据库的全部单据、明细、商品、客户和设置复制到目标数据库；目标数据库必须还没有数据，\n"
    "  不存在的目标文件会新建。源数据库不会被修改。\n"
    "  源也可以是旧程序的数据库文件（例如 kvt.mdb）：导入后打印导入报告，目标是文件时报告另存在它旁边。\n";

void print(std::FILE* to, const QString& line)
{
    std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), to);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 1 && (args[0] == QLatin1String("--help") || args[0] == QLatin1String("-h"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (args.size() != 2) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    try {
        const kvt::CopyReport report = kvt::CopyDatabase(args[0], args[1]);
        for (const QString& line : report.Lines())
            print(stdout, line);
        return 0;
    } catch (const kvt::StoreError& e) {
        print(stderr, QStringLiteral("kvtcopy：") + e.message());
    } catch (const std::bad_alloc&) {
        print(stderr, QStringLiteral("kvtcopy：内存不足，没有复制。"));
    }
    return 1;
}
