#pragma once
#include <string>
#include <string_view>
#include <vector>

// Checking and normalising a formula text before it is converted to postfix order.
namespace kvt::expcalc {

inline constexpr std::string_view OperatorChars = "*+-/";
inline constexpr std::string_view DigitChars = "0123456789";

inline bool isOperatorChar(char c) {
    return c == '*' || c == '+' || c == '-' || c == '/';
}
inline bool isDigitChar(char c) {
    return c >= '0' && c <= '9';
}
/// A letter "A"-"Z", "a"-"z" or "_": what a name may start with.
inline bool isNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
inline bool isIdentChar(char c) {
    return isNameStart(c) || isDigitChar(c);
}

/// Sets the error flag and appends message followed by ";" to errorText.
void AddError(bool& errorFlag, std::string& errorText, std::string_view message);

struct FunctionEntry {
    std::string name;
    int argCount; ///< declared number of arguments; 0 = any number, -1 = not an integer in the table
};

/// The 42 functions with their declared argument counts, in table order.
const std::vector<FunctionEntry>& FunctionTable();

/// True if a FunctionTable entry has exactly this name (case matters).
bool IsKnownFunction(std::string_view name);

/// Declared argument count of the first entry with this name; -1 if there is none.
int DeclaredArgCount(std::string_view name);

struct ConstantEntry {
    std::string name;
    double value;
    std::string text; ///< NumberToText(value), what ReplaceConstants inserts
};

/// Named constants in registration order: pi, PI, e, E.
const std::vector<ConstantEntry>& ConstantRegistry();

/// Registers parallel lists of names and values: an existing name gets the new value, a new one is appended.
/// Returns the number of pairs processed, or 0 (registering nothing) if any name is not a name.
int RegisterConstants(const std::vector<std::string>& names, const std::vector<double>& values);

/// Replaces every whole-word occurrence of each registered constant by its number text, in registration order.
void ReplaceConstants(std::string& text);

/// Decides whether text is an acceptable expression. errorText is emptied first and receives every message
/// reported, each followed by ";". The text itself is not changed.
bool CheckExpression(const std::string& text, std::string& errorText);

/// Rewrites unary "-" as "~", drops unary "+", and appends the end marker "#".
void MarkUnarySigns(std::string& text);

/// Per-thread working buffers are reused between calls; one grown by an unusually long formula is released.
template <class Buffer> void releaseIfLarge(Buffer& buffer) {
    if (buffer.capacity() > 65536)
        Buffer().swap(buffer);
}

/// Removes every space (0x20).
void RemoveSpaces(std::string& text);

} // namespace kvt::expcalc
