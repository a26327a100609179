#include "expcalc/Evaluation.h"
#include "expcalc/ExpressionCheck.h"
#include "expcalc/FunctionLibrary.h"
#include "expcalc/NumberText.h"
#include "expcalc/UnitExpCalc.h"

#include <QtTest>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

using namespace kvt::expcalc;

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

// Result of a whole evaluation as one comparable text: "OK value" or "ERR messages".
QString run(const QString& expression) {
    double value = 0.0;
    std::string errorText;
    if (CalcExpression(expression.toStdString(), value, errorText))
        return "OK " + q(NumberToText(value));
    return "ERR " + q(errorText);
}

void addRows(const std::initializer_list<std::pair<const char*, const char*>>& rows) {
    for (const auto& [input, expected] : rows)
        QTest::newRow(input) << QString::fromUtf8(input) << QString::fromUtf8(expected);
}

} // namespace

class TestCalc : public QObject {
    Q_OBJECT

private slots:
    void checkMessages_data();
    void checkMessages();
    void checkLeavesTextUnchanged();
    void replaceConstants_data();
    void replaceConstants();
    void markUnarySigns_data();
    void markUnarySigns();
    void postfixOrder_data();
    void postfixOrder();
    void evaluation_data();
    void evaluation();
    void functions_data();
    void functions();
    void failureLeavesValueUntouched_data();
    void failureLeavesValueUntouched();
    void numberText_data();
    void numberText();
    void numberTextMatchesExactDigits();
    void textToNumber_data();
    void textToNumber();
    void textToNumberMatchesReference();
    void argumentLists();
    void tableLookups();
    void registerConstants();
    void textStack();
    void hostileInput();
};

void TestCalc::checkMessages_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    addRows({
        {"1+2", ""},
        {"(1200-70)/2", ""},
        {"-5", ""},
        {"2--3", ""},
        {"(+1)", ""},
        {"5!", ""},
        {"50%", ""},
        {"2^3", ""},
        {"sqrt(16)", ""},
        {"max(1,2,3)", ""},
        {"logN(2,8)", ""},
        {"power(sqrt(4),2)", ""},
        {"max(50%,sqrt(4)!)", ""},
        {"-.5", ""},
        {"+.5", ""},
        {"1.2+3.4", ""},
        // stage 1: calls
        {"max()", "表达式中括弧前后有误！;表达式中括弧配对有误！;"},
        {"Sqrt(4)", "无法识别的函数名！;"},
        {"logn(2,8)", "无法识别的函数名！;"},
        {"a+sqrt(4)", "函数名有误;无法识别的函数名！;"},
        {"x*(2)", "函数名有误;无法识别的函数名！;"},
        {"sqrt(4,5)", "函数参数个数不符！;"},
        {"sqrt(4", "函数参数个数不符！;"},
        {"s_rect(2)", "函数参数个数不符！;"},
        {"max(1,sqrt(2,3))", "函数参数个数不符！;"},
        // stage 2: characters
        {"x+1", "表达式中有无效字符;"},
        {"2pi", "表达式中有无效字符;"},
        {"1,2", "表达式中有无效字符;"},
        {"sum((1,2))", "表达式中有无效字符;"},
        {"1\t+2", "表达式中有无效字符;"},
        {"门框+1", "表达式中有无效字符;"},
        {"1#2", "表达式中有无效字符;"},
        // stage 3: brackets
        {")(", "表达式中括弧有误！;表达式中括弧配对有误！;"},
        {"2(3)", "表达式中括弧前后有误！;表达式中括弧配对有误！;"},
        {"(2)(3)", "表达式中括弧前后有误！;"},
        {"(1.)", "表达式中括弧前后有误！;"},
        {"(*3)", "表达式中括弧前后有误！;表达式中括弧配对有误！;"},
        {"%5", "表达式中括弧前后有误！;"},
        {"!5", "表达式中括弧前后有误！;"},
        {"((1)", "表达式中括弧配对有误！;"},
        // stage 4: operators
        {"*", "表达式中首字符有误！;表达式中尾字符有误！;"},
        {"*2", "表达式中首字符有误！;"},
        {"2+", "表达式中尾字符有误！;"},
        {"1+*2", "表达式中运算符前后有误！;"},
        {"2^^3", "表达式中运算符前后有误！;"},
        {"1.+2", "表达式中运算符前后有误！;"},
        {"(-.5)", "表达式中运算符前后有误！;"},
        {"2*/3", "表达式中运算符前后有误！;"},
        // stage 5: decimal points
        {".5+1", "表达式中小数点出现在首尾！;"},
        {"1+2.", "表达式中小数点出现在首尾！;"},
        {"1..2", "表达式中小数点相邻有误！;"},
        {"1.2.3", "表达式中小数点有误！;"},
    });
}

void TestCalc::checkMessages() {
    QFETCH(QString, input);
    QFETCH(QString, expected);
    std::string errorText = "stale";
    const bool ok = CheckExpression(input.toStdString(), errorText);
    QCOMPARE(q(errorText), expected);
    QCOMPARE(ok, expected.isEmpty());
}

void TestCalc::checkLeavesTextUnchanged() {
    const std::string text = "max(50%,sqrt(4)!)+2^3";
    std::string copy = text;
    std::string errorText;
    QVERIFY(CheckExpression(copy, errorText));
    QCOMPARE(q(copy), q(text));
    QVERIFY(!CheckExpression("   ", errorText));
    QCOMPARE(q(errorText), QString());
}

void TestCalc::replaceConstants_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    addRows({
        {"2*pi", "2*3.14159265358979"},
        {"(e)", "(2.71828182845905)"},
        {"PI/E", "3.14159265358979/2.71828182845905"},
        {"2pi", "2pi"},
        {"pix", "pix"},
        {"pi2", "pi2"},
        {"exp(1)", "exp(1)"},
        {"Pi", "Pi"},
        {"pi+pi*pi", "3.14159265358979+3.14159265358979*3.14159265358979"},
        {"pipi+e", "pipi+2.71828182845905"},
    });
}

void TestCalc::replaceConstants() {
    QFETCH(QString, input);
    QFETCH(QString, expected);
    std::string text = input.toStdString();
    ReplaceConstants(text);
    QCOMPARE(q(text), expected);
}

void TestCalc::markUnarySigns_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    addRows({
        {"-2^2", "~2^2#"},
        {"max(-1,+2)", "max(~1,2)#"},
        {"2---3", "2-~~3#"},
        {"--5", "~~5#"},
        {"2^-2", "2^~2#"},
        {"5!-1", "5!-1#"},
        {"5%-1", "5%-1#"},
        {"(1)-2", "(1)-2#"},
    });
}

void TestCalc::markUnarySigns() {
    QFETCH(QString, input);
    QFETCH(QString, expected);
    std::string text = input.toStdString();
    MarkUnarySigns(text);
    QCOMPARE(q(text), expected);
}

void TestCalc::postfixOrder_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    addRows({
        {"(1200-2*35)/2+sqrt(16)#", "1200 2 35 * - 2 / 16 sqrt +"},
        {"2^3^2#", "2 3 ^ 2 ^"},
        {"10-2-3#", "10 2 - 3 -"},
        {"~2^2#", "2 ~ 2 ^"},
        {"2^3!#", "2 3 ! ^"},
        {"~3!#", "3 ~ !"},
        {"max(1,2,3)#", "1 2 3 , , max"},
        {"~sqrt(4)#", "4 sqrt ~"},
        {"log10(100)*2#", "100 log10 2 *"},
    });
}

void TestCalc::postfixOrder() {
    QFETCH(QString, input);
    QFETCH(QString, expected);
    const std::string marked = input.toStdString();
    QStringList tokens;
    for (std::string_view t : ConvertToPostfix(marked))
        tokens << q(std::string(t));
    QCOMPARE(tokens.join(' '), expected);
}

void TestCalc::evaluation_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    addRows({
        {"(1200-2*35)/2+sqrt(16)", "OK 569"},
        {"1+2*3", "OK 7"},
        {"(1+2)*3", "OK 9"},
        {" ( 900 + 40 ) * 2 - 35 ", "OK 1845"},
        {"2^3^2", "OK 64"},
        {"-2^2", "OK 4"},
        {"2^-2", "OK 0.25"},
        {"2*-3", "OK -6"},
        {"2--3", "OK 5"},
        {"+5", "OK 5"},
        {"-(2+3)", "OK -5"},
        {"-sqrt(4)", "OK -2"},
        {"10-2-3", "OK 5"},
        {"8/2/2", "OK 2"},
        {"5!", "OK 120"},
        {"3!!", "OK 720"},
        {"sqrt(9)!", "OK 6"},
        {"150!", "OK 5.71338395644586E262"},
        {"-3!", "ERR 阶乘计算只能为整数，范围1至150!;"},
        {"0!", "ERR 阶乘计算只能为整数，范围1至150!;"},
        {"2.5!", "ERR 阶乘计算只能为整数，范围1至150!;"},
        {"151!", "ERR 阶乘计算只能为整数，范围1至150!;"},
        {"50%", "OK 0.5"},
        {"200*10%", "OK 20"},
        {"5%%", "OK 0.0005"},
        {"-.5", "OK -0.5"},
        {"1/0", "ERR 除数不能为零!;"},
        {"1/(2-2)", "ERR 除数不能为零!;"},
        {"1/3*3", "OK 0.999999999999999"},
        {"2*pi", "OK 6.28318530717958"},
        {"0.1+0.2", "OK 0.3"},
        {"0^0", "OK 1"},
        {"(-8)^3", "OK -512"},
        {"0^-1", "ERR "},
        {"(-8)^(1/3)", "ERR "},
        {"10^400", "ERR "},
        {"10^-400", "OK 0"},
        {"2^0.5", "OK 1.4142135623731"},
        {"max(1,5,3)", "OK 5"},
        {"power(2,10)", "OK 1024"},
        {"sum(1,2,3)/3", "OK 2"},
        {"max(-1,-2)", "OK -1"},
        {"max(1,max(2,3))", "OK 3"},
        {"roundto((2100-35)/2,0)+max(10,20,30)", "OK 1062"},
        {"100000*10000000000", "OK 1E15"},
        {"1/100000", "OK 1E-5"},
        {"   ", "ERR "},
        {"", "ERR "},
        {"x+1", "ERR 表达式中有无效字符;"},
    });
}

void TestCalc::evaluation() {
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(run(input), expected);
}

void TestCalc::functions_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    // elementary functions
    addRows({
        {"sqrt(0)", "OK 0"},
        {"sqrt(-1)", "ERR 根号内必须为正数!;"},
        {"abs(-2.5)", "OK 2.5"},
        {"exp(1)", "OK 2.71828182845905"},
        {"exp(1000)", "ERR "},
        {"sin(0)", "OK 0"},
        {"cos(0)", "OK 1"},
        {"tan(0)", "OK 0"},
        {"sin(10000000000000000000)", "OK 0"},
        {"tan(10000000000000000000)", "OK 0"},
        {"arcsin(1)", "OK 1.5707963267949"},
        {"arcsin(1.01)", "ERR 反正弦函数值必须在-1到1之间!;"},
        {"arccos(-1.5)", "ERR 反余弦函数值必须在-1到1之间!;"},
        {"arccos(1)", "OK 0"},
        {"arctan(1)*4", "OK 3.14159265358979"},
        {"degrad(180)", "OK 3.14159265358979"},
        {"raddeg(3.14159265358979)", "OK 180"},
        {"ln(0)", "ERR 对数函数值必须大于0!;"},
        {"log2(8)", "OK 3"},
        {"log10(1000)", "OK 3"},
        {"logN(2,8)", "OK 3"},
        {"logN(1,5)", "ERR 对数函数值与底数必须大于0，且底数不能等于1!;"},
        {"logN(2,0)", "ERR 对数函数值与底数必须大于0，且底数不能等于1!;"},
        {"logN(5,1)", "OK 0"},
        {"power(2,-1)", "OK 0.5"},
        {"power(0,-1)", "ERR "},
    });
    // rounding
    addRows({
        {"round(0.5)", "OK 0"},
        {"round(1.5)", "OK 2"},
        {"round(2.5)", "OK 2"},
        {"round(3.5)", "OK 4"},
        {"round(-2.5)", "OK -2"},
        {"int(-2.7)", "OK -2"},
        {"trunc(-2.7)", "OK -2"},
        {"trunc(100000000000000000000)", "ERR "},
        {"round(-100000000000000000000)", "ERR "},
        {"frac(2.75)", "OK 0.75"},
        {"frac(-1.25)", "OK -0.25"},
        {"roundto(3.14159,-2)", "OK 3.14"},
        {"roundto(1234.5678,-2)", "OK 1234.57"},
        {"roundto(1250,2)", "OK 1200"},
        {"roundto(1350,2)", "OK 1400"},
        {"roundto(2.5,0)", "OK 2"},
        {"roundto(5,15)", "ERR 数据约位数有误!;"},
        {"roundto(5,-15)", "ERR 数据约位数有误!;"},
        {"roundto(5,0.5)", "ERR 数据约位数有误!;"},
        {"mod(7,3)", "OK 1"},
        {"mod(-7,3)", "OK -1"},
        {"mod(0,5)", "OK 0"},
        {"mod(7.5,2)", "ERR 求余必须为正整数!;"},
        {"mod(7,0)", "ERR 求余必须为正整数!;"},
        {"mod(100000000000000000000,3)", "ERR "},
    });
    // areas and geometry
    addRows({
        {"s_circ(1)", "OK 3.14159265358979"},
        {"s_circ(0)", "ERR 圆半径必须为正数！;"},
        {"s_ellip(1,2)", "OK 6.28318530717959"},
        {"s_ellip(1,0)", "ERR 椭圆长短半轴值必须为正数！;"},
        {"s_rect(2,3)", "OK 6"},
        {"s_rect(-2,3)", "ERR 矩形长宽必须为正数！;"},
        {"s_poly(2,4)", "OK 4"},
        {"s_poly(2,2.5)", "ERR 正多边形参数有误！;"},
        {"s_poly(2,2)", "ERR 正多边形参数有误！;"},
        {"costh(3,4,5)", "OK 0"},
        {"costh(1,2,3)", "ERR 三边不能构成一个三角形 !;"},
        {"costh(3,3,3)", "OK 0.5"},
        {"s_tria(3,4,5)", "OK 6"},
        {"s_tria(1,1,5)", "ERR 三边不能构成一个三角形 !;"},
        {"pdisplanes(0,0,3,4)", "OK 5"},
        {"pdisspace(0,0,0,1,2,2)", "OK 3"},
        {"p_line(0,0,3,4,-10)", "OK 2"},
        {"p_line(1,1,0,0,1)", "ERR "},
        {"p_planes(0,0,0,0,0,1,-5)", "OK 5"},
        {"p_planes(1,1,1,1,2,2,0)", "OK 1.66666666666667"},
    });
    // lists and series
    addRows({
        {"max(3)", "OK 3"},
        {"min(4,-2,7)", "OK -2"},
        {"sum(0.1,0.2,0.3)", "OK 0.6"},
        {"avg(1,2)", "OK 1.5"},
        {"stddev(2,4,4,4,5,5,7,9)", "OK 2.1380899352994"},
        {"stddev(5)", "ERR "},
        {"sn(1,1,100)", "OK 5050"},
        {"sn(1,1,0)", "ERR 等比数列参数输入有误，公比不能为1 !;"},
        {"sqn(1,2,10)", "OK 1023"},
        {"sqn(1,1,10)", "ERR 等比数列参数输入有误，公比不能为1 !;"},
    });
    // tax and mortgage
    addRows({
        {"intax(3500)", "OK 0"},
        {"intax(5000)", "OK 45"},
        {"intax(8000)", "OK 345"},
        {"intax(10000)", "OK 745"},
        {"intax(100000)", "OK 29920"},
        {"arcintax(45)", "OK 5000"},
        {"arcintax(745)", "OK 10000"},
        {"arcintax(29920)", "OK 100000"},
        {"arcintax(0)", "ERR 未交个人所得税时无法反算工资！;"},
        {"morrep(120000,0.06,10,1,1)", "OK 1600"},
        {"morrep(120000,0.06,10,1,120)", "OK 1005"},
        {"morrep(120000,0.06,10,2,1)", "OK 1332.24602329979"},
        {"morrep(100000,0.05,0,2,1)", "ERR 按揭还款参数输入有误！;"},
        {"morrep(100000,0.05,1,2,13)", "ERR 按揭还款参数输入有误！;"},
    });
}

void TestCalc::functions() {
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(run(input), expected);
}

void TestCalc::failureLeavesValueUntouched_data() {
    QTest::addColumn<QString>("input");
    QTest::newRow("spaces") << "   ";
    QTest::newRow("rejected") << "x+1";
    QTest::newRow("message") << "1/0";
    QTest::newRow("fault") << "10^400";
}

void TestCalc::failureLeavesValueUntouched() {
    QFETCH(QString, input);
    double value = 42.5;
    std::string errorText = "old;";
    QVERIFY(!CalcExpression(input.toStdString(), value, errorText));
    QCOMPARE(value, 42.5);
    QVERIFY(errorText != "old;");
}

void TestCalc::numberText_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("negative zero") << -0.0 << "0";
    QTest::newRow("fixed") << 1234.5 << "1234.5";
    QTest::newRow("smallest fixed") << 0.0001 << "0.0001";
    QTest::newRow("negative") << -0.25 << "-0.25";
    QTest::newRow("largest fixed") << 123456789012345.0 << "123456789012345";
    QTest::newRow("1E-5") << 0.00001 << "1E-5";
    QTest::newRow("1.5E-7") << 1.5e-7 << "1.5E-7";
    QTest::newRow("1E15") << 1e15 << "1E15";
    QTest::newRow("2.5E20") << 2.5e20 << "2.5E20";
    QTest::newRow("rounds up to 1E15") << 999999999999999.9 << "1E15";
    QTest::newRow("pi") << 3.141592653589793 << "3.14159265358979";
    QTest::newRow("e") << 2.718281828459045 << "2.71828182845905";
    QTest::newRow("third") << 1.0 / 3.0 << "0.333333333333333";
    QTest::newRow("16th digit 5 rounds up") << 1000000000000025.0 << "1.00000000000003E15";
    QTest::newRow("half up at 15 digits") << 100000000000000.5 << "100000000000001";
    QTest::newRow("largest") << 1.7976931348623157e308 << "1.79769313486232E308";
    QTest::newRow("denormal") << 5e-324 << "4.94065645841247E-324";
}

void TestCalc::numberText() {
    QFETCH(double, value);
    QFETCH(QString, expected);
    QCOMPARE(q(NumberToText(value)), expected);
}

void TestCalc::numberTextMatchesExactDigits() {
    // The fast conversion against printf's correctly rounded digits, on random bit patterns and on values
    // near the 15-digit half-way points where the fast route must step aside.
    std::mt19937_64 random(20261208);
    auto reference = [](double v) {
        char text[64];
        std::snprintf(text, sizeof text, "%.14e", v);
        return std::string(text);
    };
    for (int i = 0; i < 120000; ++i) {
        double v = 0.0;
        if (i % 3 == 0) {
            const std::uint64_t bits = random();
            std::memcpy(&v, &bits, sizeof v);
            if (!std::isfinite(v))
                continue;
        } else if (i % 3 == 1) {
            v = std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 120) - 80);
        } else {
            // 15 digits and a half in the last place, give or take a unit of the double.
            const double base = static_cast<double>(100000000000000 + random() % 900000000000000) + 0.5;
            v = std::nextafter(base, (random() & 1) ? 0.0 : 1e300) *
                std::pow(10.0, static_cast<int>(random() % 40) - 20);
        }
        const std::string fast = NumberToText(v);
        const std::string exact = NumberToTextExact(v);
        if (fast != exact)
            QFAIL(qPrintable(QString("%1: %2 != %3").arg(reference(v).c_str(), q(fast), q(exact))));
        // printf rounds exact ties to even, the calculator rounds them up; otherwise the digits agree.
        char digits[64];
        std::snprintf(digits, sizeof digits, "%.14e", std::fabs(v));
        char tie[800];
        std::snprintf(tie, sizeof tie, "%.770e", std::fabs(v));
        const std::string exactDigits(tie);
        const bool isTie = exactDigits[16] == '5' && exactDigits.find_first_not_of('0', 17) == exactDigits.find('e');
        std::string printfText = digits;
        if (!isTie) {
            // Rebuild the calculator's text from printf's digits and compare.
            const int e10 = std::atoi(std::strchr(digits, 'e') + 1);
            std::string mantissa = std::string(1, digits[0]) + std::string(digits + 2, 14);
            while (mantissa.size() > 1 && mantissa.back() == '0')
                mantissa.pop_back();
            std::string text = std::signbit(v) && v != 0 ? "-" : "";
            if (e10 >= -4 && e10 <= 14) {
                if (e10 >= 0) {
                    std::string whole = mantissa.substr(0, std::min<std::size_t>(mantissa.size(), e10 + 1));
                    whole.append(static_cast<std::size_t>(e10 + 1) - whole.size(), '0');
                    text += whole;
                    if (mantissa.size() > static_cast<std::size_t>(e10 + 1))
                        text += "." + mantissa.substr(static_cast<std::size_t>(e10 + 1));
                } else {
                    text += "0." + std::string(static_cast<std::size_t>(-e10 - 1), '0') + mantissa;
                }
            } else {
                text += mantissa.substr(0, 1);
                if (mantissa.size() > 1)
                    text += "." + mantissa.substr(1);
                text += "E" + std::to_string(e10);
            }
            if (v == 0)
                text = "0";
            if (text != fast)
                QFAIL(qPrintable(QString("%1: %2 != printf %3").arg(printfText.c_str(), q(fast), q(text))));
        }
    }
}

void TestCalc::textToNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");
    QTest::newRow("integer") << "1200" << true << 1200.0;
    QTest::newRow("leading point") << ".5" << true << 0.5;
    QTest::newRow("trailing point") << "5." << true << 5.0;
    QTest::newRow("signed exponent") << "-1.5E-7" << true << -1.5e-7;
    QTest::newRow("lower-case e") << "+2e3" << true << 2000.0;
    QTest::newRow("blanks around") << "  7 " << true << 7.0;
    QTest::newRow("long digits") << "0.1000000000000000000000000001" << true << 0.1;
    QTest::newRow("underflow") << "1E-99999" << true << 0.0;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("sign only") << "-" << false << 0.0;
    QTest::newRow("exponent without digits") << "1E" << false << 0.0;
    QTest::newRow("comma") << "1,2" << false << 0.0;
    QTest::newRow("inner blank") << "1 2" << false << 0.0;
    QTest::newRow("overflow") << "1E99999" << false << 0.0;
    QTest::newRow("letters") << "nan" << false << 0.0;
}

void TestCalc::textToNumber() {
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(double, value);
    long double parsed = -1.0L;
    QCOMPARE(TextToNumber(text.toStdString(), parsed), ok);
    if (ok)
        QCOMPARE(static_cast<double>(parsed), value);
}

void TestCalc::textToNumberMatchesReference() {
    // Every number text the calculator writes must read back exactly as the C library reads it.
    std::mt19937_64 random(7);
    for (int i = 0; i < 200000; ++i) {
        double v = std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 200) - 120);
        if (random() & 1)
            v = -v;
        const std::string text = NumberToText(v);
        long double parsed = 0.0L;
        QVERIFY(TextToNumber(text, parsed));
        const long double reference = std::strtold(text.c_str(), nullptr);
        if (parsed != reference)
            QFAIL(text.c_str());
    }
}

void TestCalc::argumentLists() {
    QCOMPARE(q(GetArgItem("1, 2,3", 2)), QString("2"));
    QCOMPARE(q(GetArgItem("1,2,3", 3)), QString("3"));
    QCOMPARE(q(GetArgItem("1,2,3", 4)), QString());
    QCOMPARE(q(GetArgItem("", 1)), QString());
    const std::vector<long double> values = ParseArgValues("1,x,3");
    QCOMPARE(values.size(), std::size_t(3));
    QCOMPARE(static_cast<double>(values[0]), 1.0);
    QCOMPARE(static_cast<double>(values[2]), 0.0); // parsing stopped at "x"
    bool flag = false;
    std::string errorText;
    QVERIFY(!CallFunction("power", "2", flag, errorText));
    QCOMPARE(q(errorText), QString("函数参数有误!;"));
    errorText.clear();
    QVERIFY(!CallFunction("sqrt", "", flag, errorText));
    QCOMPARE(q(errorText), QString("函数参数出错!;"));
    flag = false;
    errorText.clear();
    QCOMPARE(CallFunction("logN", "2,8", flag, errorText).value_or(0), 3.0);
    QCOMPARE(OperatorPriority('^'), 9);
    QCOMPARE(OperatorPriority('s'), -1);
}

void TestCalc::tableLookups() {
    QCOMPARE(FunctionTable().size(), std::size_t(42));
    QVERIFY(IsKnownFunction("logN"));
    QVERIFY(!IsKnownFunction("logn"));
    QVERIFY(IsKnownFunction("sqn"));
    QVERIFY(IsKnownFunction("p_planes"));
    QCOMPARE(DeclaredArgCount("pdisspace"), 6);
    QCOMPARE(DeclaredArgCount("max"), 0);
    QCOMPARE(DeclaredArgCount("Sqrt"), -1);
}

void TestCalc::registerConstants() {
    QCOMPARE(RegisterConstants({"good", "9bad"}, {1.0, 2.0}), 0);
    QCOMPARE(ConstantRegistry().size(), std::size_t(4));
    QCOMPARE(RegisterConstants({"frame_w"}, {940.0}), 1);
    QCOMPARE(run("frame_w*2"), QString("OK 1880"));
    QCOMPARE(RegisterConstants({"frame_w"}, {900.0}), 1);
    QCOMPARE(run("frame_w*2"), QString("OK 1800"));
    QCOMPARE(ConstantRegistry().size(), std::size_t(5));
}

void TestCalc::textStack() {
    TextStack stack;
    std::string text;
    QVERIFY(!stack.pop(text));
    QCOMPARE(q(std::string(stack.top())), QString());
    stack.push("1");
    stack.push("22");
    stack.push("333");
    QVERIFY(stack.joinTop(','));
    QVERIFY(stack.joinTop(','));
    QCOMPARE(q(std::string(stack.top())), QString("1,22,333"));
    QVERIFY(!stack.joinTop(','));
    QVERIFY(stack.pop(text));
    QCOMPARE(q(text), QString("1,22,333"));
    QVERIFY(stack.empty());
}

void TestCalc::hostileInput() {
    double value = 0;
    std::string errorText;
    // Deep nesting, long input and many arguments finish without recursion or quadratic work.
    const std::string deep = std::string(100000, '(') + "1" + std::string(100000, ')');
    QVERIFY(CalcExpression(deep, value, errorText));
    QCOMPARE(value, 1.0);
    std::string calls;
    for (int i = 0; i < 50000; ++i)
        calls += "sqrt(";
    calls += "1" + std::string(50000, ')');
    QVERIFY(CalcExpression(calls, value, errorText));
    QCOMPARE(value, 1.0);
    std::string sum = "sum(1";
    for (int i = 1; i < 400000; ++i)
        sum += ",1";
    sum += ")";
    QVERIFY(CalcExpression(sum, value, errorText));
    QCOMPARE(value, 400000.0);
    std::string constants = "pi";
    while (constants.size() < 1000000)
        constants += "+pi";
    QVERIFY(CalcExpression(constants, value, errorText));
    QVERIFY(!CalcExpression(std::string(1000000, '9'), value, errorText)); // beyond the double range
    // Random bytes never crash and never report success without a value text.
    std::mt19937 random(3);
    const std::string alphabet = "0123456789.+-*/^!%(),pieEsqrtmax_ #~@\t\x80\xff";
    for (int i = 0; i < 20000; ++i) {
        std::string s(random() % 24, ' ');
        for (char& c : s)
            c = alphabet[random() % alphabet.size()];
        errorText = "x";
        if (CalcExpression(s, value, errorText))
            QVERIFY(std::isfinite(value) && errorText.empty());
        else
            QVERIFY(errorText.empty() || errorText.back() == ';');
    }
}

QTEST_APPLESS_MAIN(TestCalc)
#include "tst_calc.moc"
