#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Conversion of a checked, marked expression to postfix order and its evaluation.
namespace kvt::expcalc {

/// A last-in-first-out stack of texts kept in one growing buffer.
class TextStack {
public:
    void push(std::string_view text);
    /// Gives the top text and removes it; false when the stack is empty.
    bool pop(std::string& text);
    /// As pop; the view stays valid until the next push.
    bool pop(std::string_view& text);
    /// The top text, or the empty text when the stack is empty.
    std::string_view top() const;
    /// Replaces the two top texts b (below) and a (top) by b + separator + a, in constant time.
    bool joinTop(char separator);
    std::size_t size() const { return m_starts.size(); }
    bool empty() const { return m_starts.empty(); }
    void reserve(std::size_t texts, std::size_t chars);
    void clear();

private:
    // Each text is followed by one spare char, which joinTop overwrites with the separator.
    std::vector<char> m_chars;
    std::size_t m_used = 0;
    std::vector<std::size_t> m_starts;
};

/// Priority of an operator-stack entry by its first character; -1 for a function name.
int OperatorPriority(char c);

/// Postfix tokens of a marked text (as MarkUnarySigns leaves it). The tokens view the text or static storage.
std::vector<std::string_view> ConvertToPostfix(std::string_view marked);
/// As above, into postfix (emptied first).
void ConvertToPostfix(std::string_view marked, std::vector<std::string_view>& postfix);

/// Evaluates postfix tokens. Returns true and the value if nothing was reported and no arithmetic fault
/// arose; reported problems go to errorText through AddError.
bool EvaluatePostfix(const std::vector<std::string_view>& postfix, double& value, bool& errorFlag,
                     std::string& errorText);

} // namespace kvt::expcalc
