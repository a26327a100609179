#include "expcalc/Evaluation.h"

#include "expcalc/ExpressionCheck.h"
#include "expcalc/FunctionLibrary.h"
#include "expcalc/NumberText.h"

#include <array>
#include <cmath>
#include <cstring>

namespace kvt::expcalc {

namespace {

// Single-character tokens that do not come from the text itself: each character stands at its own code.
constexpr std::array<char, 256> makeAllChars() {
    std::array<char, 256> chars{};
    for (int i = 0; i < 256; ++i)
        chars[static_cast<std::size_t>(i)] = static_cast<char>(i);
    return chars;
}

constexpr std::array<char, 256> AllChars = makeAllChars();

std::string_view single(char c) {
    return std::string_view(&AllChars[static_cast<unsigned char>(c)], 1);
}

bool isUnaryToken(std::string_view t) {
    return t.size() == 1 && (t[0] == '~' || t[0] == '@');
}

// Pushes value as its number text; false for a value beyond the double range.
bool pushNumber(TextStack& values, long double result) {
    const double d = static_cast<double>(result);
    if (!std::isfinite(d))
        return false;
    char text[NumberTextCapacity];
    values.push(std::string_view(text, NumberToChars(d, text)));
    return true;
}

} // namespace

void TextStack::reserve(std::size_t texts, std::size_t chars) {
    m_starts.reserve(texts);
    m_chars.reserve(chars);
}

void TextStack::clear() {
    m_used = 0;
    m_starts.clear();
    releaseIfLarge(m_starts);
    releaseIfLarge(m_chars);
}

void TextStack::push(std::string_view text) {
    const std::size_t need = m_used + text.size() + 1;
    if (m_chars.size() < need)
        m_chars.resize(std::max(need, m_chars.size() * 2));
    m_starts.push_back(m_used);
    if (!text.empty())
        std::memmove(m_chars.data() + m_used, text.data(), text.size());
    m_used += text.size();
    m_chars[m_used++] = '\0';
}

bool TextStack::pop(std::string_view& text) {
    if (m_starts.empty())
        return false;
    const std::size_t start = m_starts.back();
    m_starts.pop_back();
    text = std::string_view(m_chars.data() + start, m_used - 1 - start);
    m_used = start;
    return true;
}

bool TextStack::pop(std::string& text) {
    std::string_view view;
    if (!pop(view))
        return false;
    text.assign(view);
    return true;
}

std::string_view TextStack::top() const {
    if (m_starts.empty())
        return {};
    const std::size_t start = m_starts.back();
    return std::string_view(m_chars.data() + start, m_used - 1 - start);
}

bool TextStack::joinTop(char separator) {
    if (m_starts.size() < 2)
        return false;
    const std::size_t topStart = m_starts.back();
    m_starts.pop_back();
    m_chars[topStart - 1] = separator;
    return true;
}

int OperatorPriority(char c) {
    switch (c) {
    case ')':
        return 10;
    case '!':
    case '%':
    case '^':
        return 9;
    case '~':
    case '@':
        return 7;
    case '*':
    case '/':
        return 5;
    case '+':
    case '-':
        return 3;
    case ',':
        return 2;
    case '(':
        return 1;
    case '#':
        return 0;
    default:
        return -1;
    }
}

std::vector<std::string_view> ConvertToPostfix(std::string_view marked) {
    std::vector<std::string_view> postfix;
    ConvertToPostfix(marked, postfix);
    return postfix;
}

void ConvertToPostfix(std::string_view marked, std::vector<std::string_view>& postfix) {
    thread_local std::vector<std::string_view> ops;
    postfix.clear();
    ops.clear();
    ops.push_back(single('#'));

    constexpr std::size_t None = std::string_view::npos;
    std::size_t numberStart = None;
    std::size_t nameStart = None;
    auto popAppend = [&] {
        postfix.push_back(ops.back());
        ops.pop_back();
    };
    const char* text = marked.data();

    for (std::size_t i = 0; i < marked.size(); ++i) {
        const char c = text[i];
        if (numberStart != None && c != '.' && !isDigitChar(c)) {
            postfix.emplace_back(text + numberStart, i - numberStart);
            numberStart = None;
            // A unary sign applies to the number right after it before any other operator.
            while (!ops.empty() && isUnaryToken(ops.back()))
                popAppend();
        }
        if (nameStart != None && !isIdentChar(c)) {
            ops.emplace_back(text + nameStart, i - nameStart);
            nameStart = None;
        }
        switch (c) {
        case '!':
        case '%':
            postfix.push_back(single(c));
            break;
        case '(':
            ops.push_back(single('('));
            break;
        case ')':
            while (!ops.empty() && ops.back()[0] != '(' && ops.back()[0] != '#')
                popAppend();
            if (!ops.empty())
                ops.pop_back();
            // A function, or a unary sign before the group, applies as soon as its bracket closes.
            while (!ops.empty() && (isUnaryToken(ops.back()) || isNameStart(ops.back()[0])))
                popAppend();
            break;
        case '*':
        case '+':
        case '-':
        case '/':
        case '^': {
            const int priority = OperatorPriority(c);
            while (!ops.empty() && OperatorPriority(ops.back()[0]) >= priority)
                popAppend();
            ops.push_back(single(c));
            break;
        }
        case ',':
            while (!ops.empty() && ops.back()[0] != '(' && ops.back()[0] != ',' && ops.back()[0] != '#')
                popAppend();
            ops.push_back(single(','));
            break;
        case '.':
            if (numberStart == None)
                numberStart = i;
            break;
        case '~':
        case '@':
            ops.push_back(single(c));
            break;
        case '#':
            while (!ops.empty() && ops.back()[0] != '#')
                popAppend();
            releaseIfLarge(ops);
            return;
        default:
            if (isDigitChar(c)) {
                if (nameStart == None && numberStart == None)
                    numberStart = i;
            } else if (isNameStart(c)) {
                if (nameStart == None)
                    nameStart = i;
            }
            break;
        }
    }
    releaseIfLarge(ops);
}

bool EvaluatePostfix(const std::vector<std::string_view>& postfix, double& value, bool& errorFlag,
                     std::string& errorText) {
    thread_local TextStack values;
    values.clear();
    std::string_view a;
    std::string_view b;
    long double x = 0.0L;
    long double y = 0.0L;

    for (const std::string_view token : postfix) {
        if (errorFlag)
            break;
        const char c = token.empty() ? '\0' : token[0];
        if (isDigitChar(c) || c == '.') {
            values.push(token);
            continue;
        }
        switch (c) {
        case '+':
        case '-':
        case '*':
        case '/':
        case '^': {
            if (!values.pop(a))
                break;
            // b is read before anything is pushed again, so both views stay valid.
            if (!values.pop(b))
                break;
            if (!TextToNumber(a, x) || !TextToNumber(b, y))
                return false;
            long double r = 0.0L;
            if (c == '+')
                r = y + x;
            else if (c == '-')
                r = y - x;
            else if (c == '*')
                r = y * x;
            else if (c == '/') {
                if (x == 0) {
                    AddError(errorFlag, errorText, "除数不能为零!");
                    break;
                }
                r = y / x;
            } else if (!RaisePower(y, x, r)) {
                return false;
            }
            if (!pushNumber(values, r))
                return false;
            break;
        }
        case '!': {
            if (!values.pop(a))
                break;
            if (!TextToNumber(a, x))
                return false;
            if (!(std::trunc(x) == x && x >= 1 && x <= 150)) {
                AddError(errorFlag, errorText, "阶乘计算只能为整数，范围1至150!");
                break;
            }
            double product = 1.0;
            for (int k = static_cast<int>(x); k >= 1; --k)
                product *= k;
            if (!pushNumber(values, product))
                return false;
            break;
        }
        case '%':
            if (!values.pop(a))
                break;
            if (!TextToNumber(a, x) || !pushNumber(values, x * 0.01L))
                return false;
            break;
        case '~':
            if (!values.pop(a))
                break;
            if (!TextToNumber(a, x) || !pushNumber(values, -x))
                return false;
            break;
        case '@':
            break;
        case ',':
            values.joinTop(',');
            break;
        default:
            if (isNameStart(c)) {
                if (!IsKnownFunction(token) || !values.pop(a)) {
                    AddError(errorFlag, errorText, "无法识别的函数！");
                    break;
                }
                const std::optional<double> result = CallFunction(token, a, errorFlag, errorText);
                if (errorFlag)
                    break;
                if (!result || !pushNumber(values, *result))
                    return false;
            } else {
                AddError(errorFlag, errorText, "表达式有无效字符");
            }
            break;
        }
    }
    if (errorFlag)
        return false;
    long double result = 0.0L;
    if (!TextToNumber(values.top(), result))
        return false;
    const double d = static_cast<double>(result);
    if (!std::isfinite(d))
        return false;
    value = d;
    return true;
}

} // namespace kvt::expcalc
