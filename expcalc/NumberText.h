#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace kvt::expcalc {

/// Longest text NumberToChars can write ("-1.23456789012345E-308" and the like), plus room to spare.
inline constexpr std::size_t NumberTextCapacity = 32;

/// The calculator's number text: 15 significant digits (a 16th digit of 5 or more rounds the magnitude up), no
/// trailing zeros, fixed notation for 0.0001 <= |v| < 1E15, otherwise '1.5E-7' / '2.5E20'; zero is '0'.
std::string NumberToText(double value);

/// NumberToText into buffer (at least NumberTextCapacity chars, not terminated); returns the length.
std::size_t NumberToChars(double value, char* buffer);

/// The same text by a slow exact route (all decimal digits of the binary value); the reference for NumberToText.
std::string NumberToTextExact(double value);

/// Parses [blanks] [sign] digits [. digits] [(E|e) [sign] digits] [blanks] into extended precision, correctly
/// rounded. Returns false for any other text and for a value beyond the extended range.
bool TextToNumber(std::string_view text, long double& value);

} // namespace kvt::expcalc
