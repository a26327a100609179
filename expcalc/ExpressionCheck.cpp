#include "expcalc/ExpressionCheck.h"

#include "expcalc/NumberText.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace kvt::expcalc {

namespace {

constexpr std::string_view FunctionList =
    "sqrt(1),abs(1),exp(1),power(2),sin(1),cos(1),tan(1),arcsin(1),arccos(1),arctan(1),degrad(1),raddeg(1),"
    "costh(3),s_tria(3),s_circ(1),s_ellip(2),s_rect(2),s_poly(2),log2(1),log10(1),logN(2),ln(1),int(1),trunc(1),"
    "round(1),roundto(2),frac(1),mod(2),max(0),min(0),sum(0),avg(0),stddev(0),sn(3), sqn(3),intax(1),arcintax(1),"
    "morrep(5),pdisplanes(4), pdisspace(6), p_line(5), p_planes(7)";

std::string_view trimSpaces(std::string_view s) {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

std::vector<FunctionEntry> buildFunctionTable() {
    std::vector<FunctionEntry> table;
    std::string_view rest = FunctionList;
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        const std::string_view entry = trimSpaces(rest.substr(0, comma));
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        const std::size_t open = entry.find('(');
        const std::size_t close = entry.find(')', open);
        FunctionEntry e{std::string(entry.substr(0, open)), -1};
        if (open != std::string_view::npos && close != std::string_view::npos && close > open + 1) {
            int count = 0;
            bool digits = true;
            for (char c : entry.substr(open + 1, close - open - 1)) {
                if (!isDigitChar(c) || count > 1000) {
                    digits = false;
                    break;
                }
                count = count * 10 + (c - '0');
            }
            if (digits)
                e.argCount = count;
        }
        table.push_back(std::move(e));
    }
    return table;
}

std::vector<ConstantEntry>& mutableRegistry() {
    static std::vector<ConstantEntry> registry = [] {
        std::vector<ConstantEntry> r;
        const double pi = 3.141592653589793;
        const double e = 2.718281828459045;
        for (auto [name, value] : {std::pair{"pi", pi}, {"PI", pi}, {"e", e}, {"E", e}})
            r.push_back({name, value, NumberToText(value)});
        return r;
    }();
    return registry;
}

bool isName(std::string_view s) {
    if (s.empty() || !(isNameStart(s[0]) && s[0] != '_'))
        return false;
    return std::all_of(s.begin(), s.end(), isIdentChar);
}

constexpr std::uint32_t NoMatch = UINT32_MAX;

// Stage 1: function calls. Every recognised name is replaced by "(1)*" and the commas directly inside its
// brackets by "*", so that the later stages see a plain bracketed product. Returns the rewritten copy, or
// reports and returns false at the first call that is wrong.
bool checkFunctionCalls(const std::string& copy, std::string& out, bool& error, std::string& errorText) {
    const std::size_t n = copy.size();
    // For each "(": the position of its ")" and the number of commas directly inside; found in one pass
    // so that nested calls do not rescan their arguments.
    thread_local std::vector<std::uint32_t> closing;
    thread_local std::vector<std::uint32_t> commas;
    thread_local std::vector<std::uint32_t> open;
    thread_local std::vector<std::uint32_t> openIndex; // per position: index into closing/commas of a "("
    closing.clear();
    commas.clear();
    open.clear();
    openIndex.clear();
    if (copy.find('(') != std::string::npos) {
        openIndex.assign(n, NoMatch);
        for (std::size_t i = 0; i < n; ++i) {
            const char c = copy[i];
            if (c == '(') {
                openIndex[i] = static_cast<std::uint32_t>(closing.size());
                closing.push_back(NoMatch);
                commas.push_back(0);
                open.push_back(openIndex[i]);
            } else if (c == ',' && !open.empty()) {
                ++commas[open.back()];
            } else if (c == ')' && !open.empty()) {
                closing[open.back()] = static_cast<std::uint32_t>(i);
                open.pop_back();
            }
        }
    }

    // A recognised name has at least two characters and becomes four, so the copy grows at most twofold.
    out.resize(2 * n + 8);
    char* p = out.data();
    thread_local std::vector<bool> bracketIsCall; // for each bracket open at the current position
    bracketIsCall.clear();
    std::size_t nameStart = std::string::npos;
    char* nameStartOut = p;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = copy[i];
        bool isCall = false;
        if (nameStart == std::string::npos && isNameStart(c)) {
            nameStart = i;
            nameStartOut = p;
        }
        if (nameStart != std::string::npos && c == '(') {
            const std::string_view span(copy.data() + nameStart, i - nameStart);
            if (!std::all_of(span.begin(), span.end(), isIdentChar))
                AddError(error, errorText, "函数名有误");
            const int declared = DeclaredArgCount(span);
            if (!IsKnownFunction(span)) {
                AddError(error, errorText, "无法识别的函数名！");
            } else {
                const std::uint32_t index = openIndex[i];
                const std::uint32_t args = commas[index] + 1;
                if (closing[index] == NoMatch || (declared != 0 && static_cast<std::int64_t>(args) != declared))
                    AddError(error, errorText, "函数参数个数不符！");
            }
            if (error)
                return false;
            p = nameStartOut;
            std::memcpy(p, "(1)*", 4);
            p += 4;
            isCall = true;
            nameStart = std::string::npos;
        }
        if (c == '(') {
            bracketIsCall.push_back(isCall);
            *p++ = '(';
        } else if (c == ')') {
            if (!bracketIsCall.empty())
                bracketIsCall.pop_back();
            *p++ = ')';
        } else if (c == ',') {
            *p++ = !bracketIsCall.empty() && bracketIsCall.back() ? '*' : ',';
        } else {
            *p++ = c;
        }
    }
    out.resize(static_cast<std::size_t>(p - out.data()));
    return true;
}

// Stage 2: only brackets, ".", operators and digits may be left.
void checkCharacters(const std::string& s, bool& error, std::string& errorText) {
    for (char c : s) {
        if (!(c == '(' || c == ')' || c == '.' || isOperatorChar(c) || isDigitChar(c))) {
            AddError(error, errorText, "表达式中有无效字符");
            return;
        }
    }
}

// Stage 3: bracket nesting and the characters next to each bracket.
void checkBrackets(const std::string& s, bool& error, std::string& errorText) {
    const std::size_t n = s.size();
    long depth = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = s[i];
        bool reported = false;
        if (c == '(')
            ++depth;
        else if (c == ')')
            --depth;
        if (depth < 0) {
            AddError(error, errorText, "表达式中括弧有误！");
            break;
        }
        if (c == '(') {
            if (i > 0 && !(isOperatorChar(s[i - 1]) || s[i - 1] == '(')) {
                AddError(error, errorText, "表达式中括弧前后有误！");
                reported = true;
            }
            if (i + 1 < n) {
                const char next = s[i + 1];
                if (!(isDigitChar(next) || next == '(' || next == '+' || next == '-')) {
                    AddError(error, errorText, "表达式中括弧前后有误！");
                    reported = true;
                }
            }
        } else if (c == ')') {
            if (i > 0 && !(isDigitChar(s[i - 1]) || s[i - 1] == ')')) {
                AddError(error, errorText, "表达式中括弧前后有误！");
                reported = true;
            }
            if (i + 1 < n && !(isOperatorChar(s[i + 1]) || s[i + 1] == ')')) {
                AddError(error, errorText, "表达式中括弧前后有误！");
                reported = true;
            }
        }
        if (reported)
            break;
    }
    if (depth != 0)
        AddError(error, errorText, "表达式中括弧配对有误！");
}

bool isClosingNeighbour(char c) {
    return c == ')' || c == '*' || c == '.' || c == '/';
}

// Stage 4: operators at the ends and next to brackets, points and other operators.
void checkOperators(const std::string& s, bool& error, std::string& errorText) {
    const std::size_t n = s.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char c = s[i];
        bool reported = false;
        const bool inner = i > 0 && i + 1 < n;
        if ((c == '*' || c == '/') && i == 0) {
            AddError(error, errorText, "表达式中首字符有误！");
            reported = true;
        }
        if (isOperatorChar(c) && i + 1 == n) {
            AddError(error, errorText, "表达式中尾字符有误！");
            reported = true;
        }
        if ((c == '+' || c == '-') && inner && (s[i - 1] == '.' || isClosingNeighbour(s[i + 1]))) {
            AddError(error, errorText, "表达式中运算符前后有误！");
            reported = true;
        }
        if ((c == '*' || c == '/') && inner &&
            (isOperatorChar(s[i - 1]) || s[i - 1] == '(' || s[i - 1] == '.' || isClosingNeighbour(s[i + 1]))) {
            AddError(error, errorText, "表达式中运算符前后有误！");
            reported = true;
        }
        if (reported)
            return;
    }
}

// Stage 5: decimal points at the ends, side by side, or twice in one number.
void checkDecimalPoints(const std::string& s, bool& error, std::string& errorText) {
    const std::size_t n = s.size();
    std::size_t previous = std::string::npos;
    for (std::size_t i = 0; i < n; ++i) {
        if (s[i] != '.')
            continue;
        bool reported = false;
        if (i == 0 || i + 1 == n) {
            AddError(error, errorText, "表达式中小数点出现在首尾！");
            reported = true;
        }
        if (previous != std::string::npos) {
            if (i - previous == 1) {
                AddError(error, errorText, "表达式中小数点相邻有误！");
                reported = true;
            } else if (std::all_of(s.begin() + static_cast<std::ptrdiff_t>(previous) + 1,
                                   s.begin() + static_cast<std::ptrdiff_t>(i), isDigitChar)) {
                AddError(error, errorText, "表达式中小数点有误！");
                reported = true;
            }
        }
        previous = i;
        if (reported)
            return;
    }
}

} // namespace

void AddError(bool& errorFlag, std::string& errorText, std::string_view message) {
    errorFlag = true;
    errorText += message;
    errorText += ';';
}

const std::vector<FunctionEntry>& FunctionTable() {
    static const std::vector<FunctionEntry> table = buildFunctionTable();
    return table;
}

bool IsKnownFunction(std::string_view name) {
    const auto& table = FunctionTable();
    return std::any_of(table.begin(), table.end(), [&](const FunctionEntry& e) { return e.name == name; });
}

int DeclaredArgCount(std::string_view name) {
    for (const FunctionEntry& e : FunctionTable()) {
        if (e.name == name)
            return e.argCount;
    }
    return -1;
}

const std::vector<ConstantEntry>& ConstantRegistry() {
    return mutableRegistry();
}

int RegisterConstants(const std::vector<std::string>& names, const std::vector<double>& values) {
    const std::size_t count = std::min(names.size(), values.size());
    for (std::size_t i = 0; i < count; ++i) {
        if (!isName(names[i]))
            return 0;
    }
    std::vector<ConstantEntry>& registry = mutableRegistry();
    for (std::size_t i = 0; i < count; ++i) {
        auto found =
            std::find_if(registry.begin(), registry.end(), [&](const ConstantEntry& e) { return e.name == names[i]; });
        if (found != registry.end()) {
            found->value = values[i];
            found->text = NumberToText(values[i]);
        } else {
            registry.push_back({names[i], values[i], NumberToText(values[i])});
        }
    }
    return static_cast<int>(count);
}

void ReplaceConstants(std::string& text) {
    std::string replaced;
    for (const ConstantEntry& constant : ConstantRegistry()) {
        const std::size_t length = constant.name.size();
        std::size_t pos = text.find(constant.name);
        if (pos == std::string::npos)
            continue;
        // Built in one pass. The character before an occurrence is an identifier character in the rewritten text
        // exactly when it is one in the original (an inserted value ends in a digit, a name in an identifier
        // character), so the whole-word test can read the original.
        replaced.clear();
        replaced.reserve(text.size() + 16);
        std::size_t copied = 0;
        while (pos != std::string::npos) {
            const bool wordStart = pos == 0 || !isIdentChar(text[pos - 1]);
            const bool wordEnd = pos + length >= text.size() || !isIdentChar(text[pos + length]);
            if (wordStart && wordEnd) {
                replaced.append(text, copied, pos - copied);
                replaced += constant.text;
                copied = pos + length;
            }
            pos = text.find(constant.name, pos + length);
        }
        if (copied == 0)
            continue;
        replaced.append(text, copied, std::string::npos);
        text.swap(replaced);
    }
}

void RemoveSpaces(std::string& text) {
    text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
}

bool CheckExpression(const std::string& text, std::string& errorText) {
    errorText.clear();
    bool error = false;

    // The check copy: percent, power and factorial are examined as a division by a bracketed number, a product,
    // and a product with a bracketed factor.
    thread_local std::string copy;
    // Each character becomes at most six ("%" -> "/(100)"); written through a pointer, then cut to length.
    copy.resize(text.size() * 6);
    char* p = copy.data();
    for (char c : text) {
        switch (c) {
        case ' ':
            break;
        case '%':
            std::memcpy(p, "/(100)", 6);
            p += 6;
            break;
        case '^':
            *p++ = '*';
            break;
        case '!':
            std::memcpy(p, "*(1*1)", 6);
            p += 6;
            break;
        default:
            *p++ = c;
        }
    }
    copy.resize(static_cast<std::size_t>(p - copy.data()));
    if (copy.empty())
        return false;

    // Without a name there is no call to rewrite.
    thread_local std::string rewritten;
    const bool hasNames = std::any_of(copy.begin(), copy.end(), isNameStart);
    if (hasNames && !checkFunctionCalls(copy, rewritten, error, errorText)) {
        releaseIfLarge(copy);
        releaseIfLarge(rewritten);
        return false;
    }
    const std::string& checked = hasNames ? rewritten : copy;
    checkCharacters(checked, error, errorText);
    if (!error)
        checkBrackets(checked, error, errorText);
    if (!error)
        checkOperators(checked, error, errorText);
    if (!error)
        checkDecimalPoints(checked, error, errorText);
    releaseIfLarge(copy);
    releaseIfLarge(rewritten);
    return !error;
}

void MarkUnarySigns(std::string& text) {
    // A sign is unary at the start or after "(", an operator, "," or "^". The test reads the input character
    // before it, which a backwards rewrite would also see.
    thread_local std::string marked;
    marked.resize(text.size() + 1);
    char* p = marked.data();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '@')
            continue;
        if (c == '-' || c == '+') {
            const char before = i == 0 ? '(' : text[i - 1];
            const bool unary = before == '(' || before == '*' || before == '+' || before == ',' || before == '-' ||
                               before == '/' || before == '^';
            if (unary) {
                if (c == '-')
                    *p++ = '~';
                continue; // a unary plus has no effect
            }
        }
        *p++ = c;
    }
    *p++ = '#';
    marked.resize(static_cast<std::size_t>(p - marked.data()));
    text.swap(marked);
    releaseIfLarge(marked);
}

} // namespace kvt::expcalc
