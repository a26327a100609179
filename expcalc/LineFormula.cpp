#include "expcalc/LineFormula.h"

#include "expcalc/UnitExpCalc.h"

#include <cmath>

namespace kvt::expcalc {

std::vector<std::string> FrameTitleList() {
    return {FrameTitles.begin(), FrameTitles.end()};
}

std::vector<std::string> DoorLeafTitleList() {
    return {DoorLeafTitles.begin(), DoorLeafTitles.end()};
}

int FindTitle(const std::vector<std::string>& titles, std::string_view name) {
    for (std::size_t c = 1; c < titles.size(); ++c)
        if (titles[c] == name)
            return static_cast<int>(c);
    return -1;
}

namespace {

/// Walks the quoted names of a formula: calls text(piece) for each stretch outside quotes and
/// name(n) for each quoted name; name returns false to stop. Returns false when stopped.
template <class Text, class Name> bool walkQuotes(std::string_view formula, Text text, Name name, bool* unclosed) {
    std::string_view rest = formula;
    while (true) {
        const std::size_t p = rest.find('"');
        if (p == std::string_view::npos)
            break;
        text(rest.substr(0, p));
        rest.remove_prefix(p + 1);
        const std::size_t q = rest.find('"');
        if (q == std::string_view::npos) {
            if (unclosed)
                *unclosed = true;
            if (!name(std::string_view()))
                return false;
            break;
        }
        if (!name(rest.substr(0, q)))
            return false;
        rest.remove_prefix(q + 1);
    }
    text(rest);
    return true;
}

} // namespace

QuotedNames FindQuotedNames(std::string_view formula) {
    QuotedNames out;
    walkQuotes(
        formula, [](std::string_view) {},
        [&](std::string_view n) {
            out.names.emplace_back(n);
            return true;
        },
        &out.unclosed);
    return out;
}

std::optional<std::string> SubstituteTitles(std::string_view formula, const std::vector<std::string>& titles,
                                            const std::vector<std::string>& cells, std::string* unknown) {
    std::string out;
    const bool done = walkQuotes(
        formula, [&](std::string_view piece) { out += piece; },
        [&](std::string_view name) {
            const int column = FindTitle(titles, name);
            if (column < 0) {
                if (unknown)
                    *unknown = std::string(name);
                return false;
            }
            if (static_cast<std::size_t>(column) < cells.size())
                out += cells[static_cast<std::size_t>(column)];
            return true;
        },
        nullptr);
    if (!done)
        return std::nullopt;
    return out;
}

std::optional<long long> RoundHalfEven(double value) {
    if (!std::isfinite(value))
        return std::nullopt;
    // nearbyint follows the default rounding mode, which rounds halves to even.
    const double n = std::nearbyint(value);
    if (n < -9223372036854775808.0 || n >= 9223372036854775808.0)
        return std::nullopt;
    return static_cast<long long>(n);
}

SizeResult EvaluateSize(std::string_view formula, const std::vector<std::string>& titles,
                        const std::vector<std::string>& cells) {
    SizeResult r;
    r.cell = "0";
    std::string unknown;
    const std::optional<std::string> prepared = SubstituteTitles(formula, titles, cells, &unknown);
    if (!prepared) {
        r.unknownTitle = unknown;
        return r;
    }
    double value = 0;
    if (!CalcExpression(*prepared, value, r.messages))
        return r;
    const std::optional<long long> n = RoundHalfEven(value);
    if (!n) {
        r.notWhole = true;
        return r;
    }
    r.ok = true;
    r.cell = std::to_string(*n);
    return r;
}

} // namespace kvt::expcalc
