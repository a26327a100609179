// kvtcut --instance FILE [--kerf K] [--trim T] [--time-limit S]: lays the pieces of a problem in the
// standard cutting-stock file onto as few bars as it can and prints the plan as one JSON object; on bad
// input, the reason in Chinese on stderr and exit code 1, nothing on stdout.
// kvtcut --from YYYY-MM-DD --to YYYY-MM-DD [--data-dir DIR]: the workshop's cutting list of the bills of
// those days (their lines not cut yet), from kvt.db or the server kvt.ini names, as one JSON object;
// the database is only read.
#include "app/DataLocation.h"
#include "cutting/Cutting.h"
#include "cutting/InstanceFile.h"
#include "query/CuttingList.h"
#include "store/Database.h"
#include "store/Engine.h"
#include "store/StoreError.h"

#include <QDate>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

namespace {

const char* const kUsage =
    "用法：kvtcut --instance 文件 [--kerf 锯缝] [--trim 修边] [--time-limit 秒数]\n"
    "      kvtcut --from 起始日期 --to 截止日期 [--data-dir 文件夹]\n"
    "  读标准下料问题文件（料的种数、原料长度，然后每种料一行“长度 数量”，单位毫米），\n"
    "  算出用原料最少的下料方案，以 JSON 打印。锯缝在同一根料的相邻两件之间各损耗一次，\n"
    "  修边在每根新料两端各切去一次（默认都是 0，可带一位小数）；--time-limit 限定整个计算的秒数\n"
    "  （默认 10），到时打印已找到的最好方案。\n"
    "  --from/--to（日期写成 YYYY-MM-DD）打印这段日期的单据中还没下料的部件的下料单（JSON），\n"
    "  读工作文件夹里的 kvt.db 或 kvt.ini 指定的服务器，不改动数据库。\n";

struct InstanceOptions {
    std::string path;
    kvt::cutting::Length kerf = 0;
    kvt::cutting::Length trim = 0;
    double timeLimit = 10;
};

// Reads the instance mode's options; false with the reason in `error`.
bool parseInstanceOptions(const std::vector<std::string>& args, InstanceOptions& options, std::string& error) {
    for (std::size_t i = 0; i < args.size(); i += 2) {
        const std::string& name = args[i];
        if (i + 1 >= args.size()) {
            error = "选项 " + name + " 缺少值。";
            return false;
        }
        const std::string& value = args[i + 1];
        if (name == "--instance") {
            options.path = value;
        } else if (name == "--kerf" || name == "--trim") {
            kvt::cutting::Length length = 0;
            if (!kvt::cutting::parseMillimetres(value, length)) {
                error = "选项 " + name + " 的值“" + value + "”不是毫米数（最多一位小数）。";
                return false;
            }
            (name == "--kerf" ? options.kerf : options.trim) = length;
        } else if (name == "--time-limit") {
            char* end = nullptr;
            const double seconds = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !std::isfinite(seconds) || seconds <= 0 || seconds > 1e6) {
                error = "选项 --time-limit 的值“" + value + "”不是正的秒数。";
                return false;
            }
            options.timeLimit = seconds;
        } else {
            error = "不认识的选项 " + name + "。";
            return false;
        }
    }
    if (options.path.empty()) {
        error = "缺少 --instance 文件。";
        return false;
    }
    return true;
}

int runInstance(const std::vector<std::string>& args) {
    InstanceOptions options;
    std::string error;
    kvt::cutting::Problem problem;
    if (parseInstanceOptions(args, options, error) && kvt::cutting::readInstance(options.path, problem, error)) {
        problem.kerf = options.kerf;
        problem.trim = options.trim;
        problem.timeLimitSeconds = options.timeLimit;
        error = kvt::cutting::problemError(problem);
    }
    if (!error.empty()) {
        std::fprintf(stderr, "kvtcut：%s\n", error.c_str());
        return 1;
    }
    const kvt::cutting::Plan plan = kvt::cutting::solve(problem);
    std::printf("%s\n", kvt::cutting::planJson(plan).c_str());
    return 0;
}

// The cutting list of the bills of some days, from the data folder's database, read only.
int runFrom(const std::vector<std::string>& args) {
    QDate from, to;
    QStringList location{QStringLiteral("kvtcut")};
    std::string error;
    for (std::size_t i = 0; i < args.size() && error.empty(); ++i) {
        const std::string& name = args[i];
        if (name.rfind("--data-dir=", 0) == 0) {
            location << QString::fromStdString(name);
            continue;
        }
        if (i + 1 >= args.size()) {
            error = "选项 " + name + " 缺少值。";
            break;
        }
        const QString value = QString::fromStdString(args[++i]);
        if (name == "--from" || name == "--to") {
            const QDate date = QDate::fromString(value, QStringLiteral("yyyy-MM-dd"));
            if (!date.isValid())
                error = "选项 " + name + " 的值“" + args[i] + "”不是 YYYY-MM-DD 格式的日期。";
            (name == "--from" ? from : to) = date;
        } else if (name == "--data-dir") {
            location << QStringLiteral("--data-dir=") + value;
        } else {
            error = "不认识的选项 " + name + "。";
        }
    }
    if (error.empty() && (!from.isValid() || !to.isValid()))
        error = "--from 和 --to 两个日期都要给出。";
    if (error.empty() && from > to)
        error = "起始日期在截止日期之后。";
    QString where;
    if (error.empty()) {
        QString problem;
        const QString path = kvt::DatabasePathFromArguments(location, &problem);
        where = path.isEmpty() ? QString() : kvt::DatabaseLocation(path, &problem);
        error = problem.toStdString();
    }
    if (!error.empty()) {
        std::fprintf(stderr, "kvtcut：%s\n", error.c_str());
        return 1;
    }
    try {
        // A file is opened only to read; a server as kvt opens it, then read in one read-only
        // transaction that sees one state of every table.
        if (kvt::IsServerConnection(where))
            kvt::Database::Open(where);
        else
            kvt::Database::OpenForReading(where);
        kvt::engine::Current().beginSnapshot();
        kvt::CuttingListFilter filter;
        filter.byDate = true;
        filter.from = from;
        filter.to = to;
        const QByteArray json = kvt::CuttingPlanJson(kvt::PlanCuttingList(filter));
        kvt::Database::Close();
        std::fwrite(json.constData(), 1, std::size_t(json.size()), stdout);
        return 0;
    } catch (const kvt::StoreError& e) {
        std::fprintf(stderr, "kvtcut：%s\n", e.what());
    }
    return 1;
}

// The program's modes by their first option.
int runKvtcut(const std::vector<std::string>& args) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!args.empty() && args[0] == "--instance")
        return runInstance(args);
    if (!args.empty() && (args[0] == "--from" || args[0] == "--to" || args[0].rfind("--data-dir", 0) == 0))
        return runFrom(args);
    std::fputs(kUsage, stderr);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return runKvtcut(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::bad_alloc&) {
        std::fputs("kvtcut：内存不足，没有算出方案。\n", stderr);
    }
    return 1;
}
