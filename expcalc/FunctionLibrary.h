#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The functions a formula may call.
namespace kvt::expcalc {

/// Item n (from 1) of a comma-joined list, spaces removed; empty if the list has fewer items.
std::string GetArgItem(std::string_view list, int n);

/// All items of a list as numbers: as many values as commas + 1; parsing stops at the first empty or
/// unparsable item and the values after it stay 0.
std::vector<long double> ParseArgValues(std::string_view list);

/// b^a by the rules of the "^" operator; false on an arithmetic fault (division by zero, overflow, a
/// non-positive base with a fractional exponent).
bool RaisePower(long double b, long double a, long double& result);

/// Computes function `name` over the argument list. A rejected argument adds its message (and sets the
/// flag) and gives no value; an arithmetic fault gives no value and no message.
std::optional<double> CallFunction(std::string_view name, std::string_view args, bool& errorFlag,
                                   std::string& errorText);

} // namespace kvt::expcalc
