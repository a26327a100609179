#include "expcalc/FunctionLibrary.h"

#include "expcalc/ExpressionCheck.h"
#include "expcalc/NumberText.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace kvt::expcalc {

namespace {

// The 15-digit constant of the degree conversions and pi to full extended precision for the areas.
constexpr long double Pi15 = 3.14159265358979L;
constexpr long double PiFull = 3.141592653589793238462643383279502884L;
constexpr long double TwoTo63 = 9223372036854775808.0L;

enum class Fn {
    Sqrt,
    Abs,
    Exp,
    Power,
    Sin,
    Cos,
    Tan,
    Arcsin,
    Arccos,
    Arctan,
    Degrad,
    Raddeg,
    Costh,
    STria,
    SCirc,
    SEllip,
    SRect,
    SPoly,
    Log2,
    Log10,
    LogN,
    Ln,
    Int,
    Trunc,
    Round,
    Roundto,
    Frac,
    Mod,
    Max,
    Min,
    Sum,
    Avg,
    Stddev,
    Sn,
    Sqn,
    Intax,
    Arcintax,
    Morrep,
    Pdisplanes,
    Pdisspace,
    PLine,
    PPlanes
};

struct FnName {
    std::string_view name;
    Fn fn;
};

// Dispatch by the lower-case name.
constexpr FnName Dispatch[] = {
    {"sqrt", Fn::Sqrt},
    {"abs", Fn::Abs},
    {"exp", Fn::Exp},
    {"power", Fn::Power},
    {"sin", Fn::Sin},
    {"cos", Fn::Cos},
    {"tan", Fn::Tan},
    {"arcsin", Fn::Arcsin},
    {"arccos", Fn::Arccos},
    {"arctan", Fn::Arctan},
    {"degrad", Fn::Degrad},
    {"raddeg", Fn::Raddeg},
    {"costh", Fn::Costh},
    {"s_tria", Fn::STria},
    {"s_circ", Fn::SCirc},
    {"s_ellip", Fn::SEllip},
    {"s_rect", Fn::SRect},
    {"s_poly", Fn::SPoly},
    {"log2", Fn::Log2},
    {"log10", Fn::Log10},
    {"logn", Fn::LogN},
    {"ln", Fn::Ln},
    {"int", Fn::Int},
    {"trunc", Fn::Trunc},
    {"round", Fn::Round},
    {"roundto", Fn::Roundto},
    {"frac", Fn::Frac},
    {"mod", Fn::Mod},
    {"max", Fn::Max},
    {"min", Fn::Min},
    {"sum", Fn::Sum},
    {"avg", Fn::Avg},
    {"stddev", Fn::Stddev},
    {"sn", Fn::Sn},
    {"sqn", Fn::Sqn},
    {"intax", Fn::Intax},
    {"arcintax", Fn::Arcintax},
    {"morrep", Fn::Morrep},
    {"pdisplanes", Fn::Pdisplanes},
    {"pdisspace", Fn::Pdisspace},
    {"p_line", Fn::PLine},
    {"p_planes", Fn::PPlanes},
};

enum class Status { Ok, Reported, Fault };

bool isWhole(long double v) {
    return std::isfinite(v) && std::trunc(v) == v;
}

// Item n of a list without spaces.
std::string_view itemView(std::string_view list, int n) {
    for (int i = 1; i < n; ++i) {
        const std::size_t comma = list.find(',');
        if (comma == std::string_view::npos)
            return {};
        list.remove_prefix(comma + 1);
    }
    return list.substr(0, list.find(','));
}

// A whole value in the 64-bit range; false beyond it.
bool toInt64(long double whole, std::int64_t& out) {
    if (!(whole >= -TwoTo63 && whole < TwoTo63))
        return false;
    out = static_cast<std::int64_t>(whole);
    return true;
}

long double incomeTax(long double salary) {
    const long double t = static_cast<double>(salary - 3500.0L);
    if (t <= 0)
        return 0.0L;
    if (t <= 1500)
        return t * 0.03L;
    if (t <= 4500)
        return t * 0.10L - 105;
    if (t <= 9000)
        return t * 0.20L - 555;
    if (t <= 35000)
        return t * 0.25L - 1005;
    if (t <= 55000)
        return t * 0.30L - 2755;
    if (t <= 80000)
        return t * 0.35L - 5505;
    return t * 0.45L - 13505;
}

long double salaryForTax(long double tax) {
    if (tax <= 45)
        return tax / 0.03L + 3500;
    if (tax <= 345)
        return (tax + 105) / 0.10L + 3500;
    if (tax <= 1245)
        return (tax + 555) / 0.20L + 3500;
    if (tax <= 7745)
        return (tax + 1005) / 0.25L + 3500;
    if (tax <= 13745)
        return (tax + 2755) / 0.30L + 3500;
    if (tax <= 22495)
        return (tax + 5505) / 0.35L + 3500;
    return (tax + 13505) / 0.45L + 3500;
}

// Both triangle functions accept three sides that form a triangle.
bool isTriangle(const std::vector<long double>& v) {
    if (v.size() != 3)
        return false;
    const long double a = v[0], b = v[1], c = v[2];
    return a + b > c && b + c > a && a + c > b && a > 0 && b > 0 && c > 0;
}

// Sum from the left, each partial sum rounded to double.
long double roundedSum(const std::vector<long double>& v) {
    double sum = 0.0;
    for (long double x : v)
        sum = static_cast<double>(sum + x);
    return sum;
}

// ParseArgValues into a reused vector.
void parseArgValuesInto(std::string_view list, std::vector<long double>& values) {
    if (values.capacity() > 65536)
        std::vector<long double>().swap(values);
    values.assign(static_cast<std::size_t>(std::count(list.begin(), list.end(), ',')) + 1, 0.0L);
    std::size_t index = 0;
    while (index < values.size()) {
        const std::size_t comma = list.find(',');
        const std::string_view item = list.substr(0, comma);
        if (item.empty() || !TextToNumber(item, values[index]))
            break;
        ++index;
        if (comma == std::string_view::npos)
            break;
        list.remove_prefix(comma + 1);
    }
}

struct Call {
    std::string_view list; // without spaces
    long double x;
    bool& errorFlag;
    std::string& errorText;
    long double result = 0.0L;

    Status report(std::string_view message) {
        AddError(errorFlag, errorText, message);
        return Status::Reported;
    }
    Status ok(long double value) {
        result = value;
        return Status::Ok;
    }

    // Reads item 2 into y; reports `missing` if there is none.
    Status second(std::string_view missing, long double& y) {
        const std::string_view item = itemView(list, 2);
        if (item.empty())
            return report(missing);
        return TextToNumber(item, y) ? Status::Ok : Status::Fault;
    }

    Status compute(Fn fn);
};

Status Call::compute(Fn fn) {
    long double y = 0.0L;
    Status s = Status::Ok;
    switch (fn) {
    case Fn::Abs:
        return ok(std::fabs(x));
    case Fn::Sin:
        return ok(std::fabs(x) >= TwoTo63 ? 0.0L : std::sin(x));
    case Fn::Cos:
        return ok(std::fabs(x) >= TwoTo63 ? 0.0L : std::cos(x));
    case Fn::Tan:
        return ok(std::fabs(x) >= TwoTo63 ? 0.0L : std::tan(x));
    case Fn::Arctan:
        return ok(std::atan(x));
    case Fn::Degrad:
        return ok(x * Pi15 / 180);
    case Fn::Raddeg:
        return ok(x * 180 / Pi15);
    case Fn::Int:
        return ok(std::trunc(x));
    case Fn::Trunc:
    case Fn::Round: {
        std::int64_t whole = 0;
        if (!toInt64(fn == Fn::Trunc ? std::trunc(x) : std::nearbyint(x), whole))
            return Status::Fault;
        return ok(static_cast<long double>(whole));
    }
    case Fn::Frac:
        return ok(x - std::trunc(x));
    case Fn::Exp:
        return ok(std::exp(x));
    case Fn::Sqrt:
        if (x < 0)
            return report("根号内必须为正数!");
        return ok(std::sqrt(x));
    case Fn::Arcsin:
        if (x < -1 || x > 1)
            return report("反正弦函数值必须在-1到1之间!");
        return ok(std::asin(x));
    case Fn::Arccos:
        if (x > 1 || x < -1)
            return report("反余弦函数值必须在-1到1之间!");
        return ok(std::acos(x));
    case Fn::Log2:
    case Fn::Log10:
    case Fn::Ln:
        if (x <= 0)
            return report("对数函数值必须大于0!");
        return ok(fn == Fn::Log2 ? std::log2(x) : fn == Fn::Log10 ? std::log10(x) : std::log(x));
    case Fn::SCirc:
        if (x <= 0)
            return report("圆半径必须为正数！");
        return ok(PiFull * (x * x));
    case Fn::Intax:
        return ok(incomeTax(x));
    case Fn::Arcintax:
        if (x <= 0)
            return report("未交个人所得税时无法反算工资！");
        return ok(salaryForTax(x));

    case Fn::Power: {
        if ((s = second("函数参数有误!", y)) != Status::Ok)
            return s;
        long double r = 0.0L;
        return RaisePower(x, y, r) ? ok(r) : Status::Fault;
    }
    case Fn::LogN:
        if ((s = second("对数函数值有误!", y)) != Status::Ok)
            return s;
        // x is the base: a base of 1 would divide by ln 1 = 0.
        if (x <= 0 || y <= 0 || x == 1)
            return report("对数函数值与底数必须大于0，且底数不能等于1!");
        return ok(std::log(y) / std::log(x));
    case Fn::Roundto: {
        if ((s = second("数据约位数有误!", y)) != Status::Ok)
            return s;
        if (!isWhole(y) || y >= 15 || y <= -15)
            return report("数据约位数有误!");
        long double f = 0.0L;
        if (!RaisePower(10.0L, y, f))
            return Status::Fault;
        const long double factor = static_cast<double>(f);
        const long double value = static_cast<double>(x);
        return ok(std::nearbyint(value / factor) * factor);
    }
    case Fn::Mod: {
        if ((s = second("输入数据有误!", y)) != Status::Ok)
            return s;
        if (!isWhole(x) || !isWhole(y) || y <= 0)
            return report("求余必须为正整数!");
        std::int64_t a = 0, b = 0;
        if (!toInt64(x, a) || !toInt64(y, b))
            return Status::Fault;
        return ok(static_cast<long double>(a % b));
    }
    case Fn::SEllip:
        if ((s = second("椭圆参数有误！", y)) != Status::Ok)
            return s;
        if (x <= 0 || y <= 0)
            return report("椭圆长短半轴值必须为正数！");
        return ok(PiFull * x * y);
    case Fn::SRect:
        if ((s = second("矩形长宽有误！", y)) != Status::Ok)
            return s;
        if (x <= 0 || y <= 0)
            return report("矩形长宽必须为正数！");
        return ok(x * y);
    case Fn::SPoly:
        if ((s = second("正多边形参数有误！", y)) != Status::Ok)
            return s;
        if (x <= 0 || y < 3 || !isWhole(y))
            return report("正多边形参数有误！");
        return ok(x * x * (y / 4) * (1 / std::tan(PiFull / y)));

    default:
        break;
    }

    // Functions over all values of the list.
    thread_local std::vector<long double> v;
    parseArgValuesInto(list, v);
    const std::size_t n = v.size();
    switch (fn) {
    case Fn::Max: {
        long double m = v[0];
        for (long double e : v)
            m = e > m ? e : m;
        return ok(m);
    }
    case Fn::Min: {
        long double m = v[0];
        for (long double e : v)
            m = e < m ? e : m;
        return ok(m);
    }
    case Fn::Sum:
        return ok(roundedSum(v));
    case Fn::Avg:
        return ok(roundedSum(v) / static_cast<long double>(n));
    case Fn::Stddev: {
        if (n < 2)
            return Status::Fault; // 0 / 0
        const long double mean = roundedSum(v) / static_cast<long double>(n);
        long double squares = 0.0L;
        for (long double e : v)
            squares += (e - mean) * (e - mean);
        return ok(std::sqrt(squares / static_cast<long double>(n - 1)));
    }
    case Fn::Costh: {
        if (!isTriangle(v))
            return report("三边不能构成一个三角形 !");
        const long double a = v[0], b = v[1], c = v[2];
        const long double g = static_cast<double>((a * a + b * b - c * c) / (2 * a * b));
        if (g >= 1 || g <= -1)
            return report("三边不能构成一个三角形!");
        return ok(g);
    }
    case Fn::STria: {
        if (!isTriangle(v))
            return report("三边不能构成一个三角形 !");
        const long double a = v[0], b = v[1], c = v[2];
        const long double half = static_cast<double>((a + b + c) * 0.5L);
        return ok(std::sqrt((half - a) * half * (half - b) * (half - c)));
    }
    case Fn::Sn: {
        if (n != 3 || !(v[2] > 0) || !isWhole(v[2]))
            return report("等比数列参数输入有误，公比不能为1 !");
        const long double a1 = v[0], d = v[1], terms = v[2];
        return ok(terms * a1 + (terms - 1) * terms * d / 2);
    }
    case Fn::Sqn: {
        if (n != 3 || v[1] == 1 || !(v[2] > 0) || !isWhole(v[2]))
            return report("等比数列参数输入有误，公比不能为1 !");
        const long double a1 = v[0], q = v[1];
        long double qn = 0.0L;
        if (!RaisePower(q, v[2], qn))
            return Status::Fault;
        return ok(a1 * (1 - qn) / (1 - q));
    }
    case Fn::Pdisplanes:
        if (n != 4)
            return report("平面两点坐标有误 !");
        return ok(std::sqrt((v[0] - v[2]) * (v[0] - v[2]) + (v[1] - v[3]) * (v[1] - v[3])));
    case Fn::Pdisspace:
        if (n != 6)
            return report("空间两点坐标有误 !");
        return ok(
            std::sqrt((v[0] - v[3]) * (v[0] - v[3]) + (v[1] - v[4]) * (v[1] - v[4]) + (v[2] - v[5]) * (v[2] - v[5])));
    case Fn::PLine: {
        if (n != 5)
            return report("参数输入有误 !");
        const long double norm = std::sqrt(v[2] * v[2] + v[3] * v[3]);
        if (norm == 0)
            return Status::Fault;
        return ok(std::fabs(v[2] * v[0] + v[3] * v[1] + v[4]) / norm);
    }
    case Fn::PPlanes: {
        if (n != 7)
            return report("参数输入有误 !");
        const long double norm = std::sqrt(v[3] * v[3] + v[4] * v[4] + v[5] * v[5]);
        if (norm == 0)
            return Status::Fault;
        return ok(std::fabs(v[3] * v[0] + v[4] * v[1] + v[5] * v[2] + v[6]) / norm);
    }
    case Fn::Morrep: {
        if (n != 5)
            return report("按揭还款参数输入有误！");
        const long double principal = v[0], rate = v[1], years = v[2], mode = v[3], month = v[4];
        if (!(principal > 0 && rate > 0 && years > 0 && isWhole(years) && month > 0 && isWhole(month) &&
              month <= 12 * years))
            return report("按揭还款参数输入有误！");
        const long double months = 12 * years;
        const long double i = rate / 12;
        if (mode == 1)
            return ok(principal / months + principal * (1 - (month - 1) / months) * i);
        long double growth = 0.0L;
        if (!RaisePower(1 + i, months, growth) || growth == 1)
            return Status::Fault;
        return ok(principal * i * growth / (growth - 1));
    }
    default:
        return Status::Fault;
    }
}

} // namespace

std::string GetArgItem(std::string_view list, int n) {
    std::string compact;
    compact.reserve(list.size());
    for (char c : list) {
        if (c != ' ')
            compact += c;
    }
    return std::string(itemView(compact, n));
}

std::vector<long double> ParseArgValues(std::string_view list) {
    std::vector<long double> values;
    parseArgValuesInto(list, values);
    return values;
}

bool RaisePower(long double b, long double a, long double& result) {
    if (a == 0) {
        result = 1.0L;
        return true;
    }
    if (b == 0 && a > 0) {
        result = 0.0L;
        return true;
    }
    if (isWhole(a) && std::fabs(a) <= 2147483647.0L) {
        auto n = static_cast<std::uint32_t>(std::fabs(a));
        long double r = 1.0L;
        long double base = b;
        while (n != 0) {
            if (n & 1U)
                r *= base;
            n >>= 1U;
            if (n != 0)
                base *= base;
        }
        if (!std::isfinite(r))
            return false;
        if (a < 0) {
            if (r == 0)
                return false;
            r = 1 / r;
        }
        result = r;
        return true;
    }
    if (b <= 0)
        return false;
    const long double r = std::exp(a * std::log(b));
    if (!std::isfinite(r))
        return false;
    result = r;
    return true;
}

std::optional<double> CallFunction(std::string_view name, std::string_view args, bool& errorFlag,
                                   std::string& errorText) {
    std::string compact;
    if (args.find(' ') != std::string_view::npos) {
        compact.reserve(args.size());
        for (char c : args) {
            if (c != ' ')
                compact += c;
        }
        args = compact;
    }

    const std::string_view first = itemView(args, 1);
    if (first.empty()) {
        AddError(errorFlag, errorText, "函数参数出错!");
        return std::nullopt;
    }
    long double x = 0.0L;
    if (!TextToNumber(first, x))
        return std::nullopt;

    char lower[16];
    if (name.size() >= sizeof lower) {
        AddError(errorFlag, errorText, "无法识别的函数！");
        return std::nullopt;
    }
    for (std::size_t i = 0; i < name.size(); ++i)
        lower[i] = (name[i] >= 'A' && name[i] <= 'Z') ? static_cast<char>(name[i] - 'A' + 'a') : name[i];
    const std::string_view key(lower, name.size());
    const auto found =
        std::find_if(std::begin(Dispatch), std::end(Dispatch), [&](const FnName& f) { return f.name == key; });
    if (found == std::end(Dispatch)) {
        AddError(errorFlag, errorText, "无法识别的函数！");
        return std::nullopt;
    }

    Call call{args, x, errorFlag, errorText};
    if (call.compute(found->fn) != Status::Ok)
        return std::nullopt;
    const double value = static_cast<double>(call.result);
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace kvt::expcalc
