// The standard cutting-stock file (the number m of distinct lengths, the bar length, then m lines
// "length count", any white space between, CR LF or LF) and lengths written back as millimetres.
// Standard library only.
#pragma once

#include "cutting/Cutting.h"

#include <string>

namespace kvt::cutting {

/// A length as millimetres: whole ones bare ("2140"), else with its tenth ("2140.5", "-0.5").
std::string millimetres(Length length);

/// Reads a length in millimetres with at most one decimal ("4", "2.5"; "-1" reads, for the caller to
/// refuse); false on anything else.
bool parseMillimetres(const std::string& text, Length& length);

/// Reads `text` as a problem whose lengths are whole millimetres (kerf, trim and the time limit left at
/// their defaults); on a text that is not such a problem, returns false with the reason in Chinese.
bool parseInstance(const std::string& text, Problem& problem, std::string& error);

/// The same from the file at `path`.
bool readInstance(const std::string& path, Problem& problem, std::string& error);

/// The plan as kvtcut prints it: {"bars", "lower_bound", "optimal", "seconds", "patterns"}, and
/// "offcuts_used" and "unplaced" when there are any.
std::string planJson(const Plan& plan);

} // namespace kvt::cutting
