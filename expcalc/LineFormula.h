#pragma once
// Product formulas on one bill line, without any window: a formula names columns of the bill
// grid by their titles between double quotes, and each quoted title stands for that column's
// text in the line. Texts are UTF-8.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvt::expcalc {

/// Titles of the bill grid's frame layout, by column; column 0 is the fixed empty one.
inline constexpr std::array<const char*, 13> FrameTitles = {"",         "编号", "商品名称", "玻璃款式", "见光宽",
                                                            "见光高",   "埋地", "总宽",     "总高",     "数量",
                                                            "门框附加", "备注", "商品ID"};

/// Titles of the bill grid's door-leaf layout, by column; column 0 is the fixed empty one.
inline constexpr std::array<const char*, 19> DoorLeafTitles = {
    "",       "编号",   "商品名称", "数量",     "玻璃款式", "见光宽",   "见光高",   "现量宽", "现量高", "门扇宽",
    "门扇高", "玻璃宽", "玻璃高",   "门框附加", "门框备注", "门框总宽", "门框总高", "门框ID", "商品ID"};

/// One layout's titles as texts, by column.
std::vector<std::string> FrameTitleList();
std::vector<std::string> DoorLeafTitleList();

/// Index of the first of titles[1..] equal to name (exact match), or -1.
int FindTitle(const std::vector<std::string>& titles, std::string_view name);

/// What the formula names between double quotes, in order: each name once per mention.
/// unclosed is set when the last double quote has no partner (its name is then the empty text).
struct QuotedNames {
    std::vector<std::string> names;
    bool unclosed = false;
};
QuotedNames FindQuotedNames(std::string_view formula);

/// The formula with every quoted title replaced by cells[that column], verbatim; nullopt when a
/// quoted name is no title (an unclosed quote names the empty text, which is none). Then
/// *unknown, when given, receives that name.
std::optional<std::string> SubstituteTitles(std::string_view formula, const std::vector<std::string>& titles,
                                            const std::vector<std::string>& cells, std::string* unknown = nullptr);

/// value rounded to the nearest whole number, halves to the even neighbour (12.5 -> 12,
/// 13.5 -> 14, -2.5 -> -2); nullopt when it is not finite or outside 64 bits.
std::optional<long long> RoundHalfEven(double value);

/// One formula tried on one line as the bill window computes a size.
struct SizeResult {
    /// The text the bill window writes into the size cell: the rounded value, or "0" on any failure.
    std::string cell;
    /// True when the calculator gave a value and it rounded to a whole number.
    bool ok = false;
    /// The calculator's messages (each followed by ";") when it failed.
    std::string messages;
    /// A quoted name that is no title of the line (the first one), when substitution failed.
    std::optional<std::string> unknownTitle;
    /// The value's 64-bit whole number does not exist (the value is too large).
    bool notWhole = false;
};
SizeResult EvaluateSize(std::string_view formula, const std::vector<std::string>& titles,
                        const std::vector<std::string>& cells);

} // namespace kvt::expcalc
