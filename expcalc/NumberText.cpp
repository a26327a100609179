#include "expcalc/NumberText.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace kvt::expcalc {

namespace {

// Powers of ten that the 64-bit significand of long double holds exactly (5^27 < 2^64).
constexpr int ExactPowerMax = 27;

constexpr std::array<long double, ExactPowerMax + 1> makeExactPowers() {
    std::array<long double, ExactPowerMax + 1> powers{};
    long double p = 1.0L;
    for (int i = 0; i <= ExactPowerMax; ++i) {
        powers[i] = p;
        p *= 10.0L;
    }
    return powers;
}

constexpr std::array<long double, ExactPowerMax + 1> ExactPowers = makeExactPowers();

// Correctly rounded powers of ten for the scaling of doubles far from 1, 10^PowerLow .. 10^PowerHigh.
constexpr int PowerLow = -300;
constexpr int PowerHigh = 350;

const long double* roundedPowers() {
    static const auto table = [] {
        std::array<long double, PowerHigh - PowerLow + 1> t{};
        for (int k = PowerLow; k <= PowerHigh; ++k) {
            char text[16];
            const int len = std::snprintf(text, sizeof text, "1e%d", k);
            std::from_chars(text, text + len, t[k - PowerLow]);
        }
        return t;
    }();
    return table.data();
}

// a * 10^k in extended precision; exact powers give one rounding, the others two.
long double scaleByPowerOfTen(long double a, int k) {
    if (k >= 0 && k <= ExactPowerMax)
        return a * ExactPowers[k];
    if (k < 0 && k >= -ExactPowerMax)
        return a / ExactPowers[-k];
    return a * roundedPowers()[k - PowerLow];
}

constexpr std::uint64_t Digits15Low = 100000000000000ULL;   // 10^14
constexpr std::uint64_t Digits15High = 1000000000000000ULL; // 10^15

// Writes the 15-digit significand `digits` (10^14 <= digits < 10^15) with decimal exponent e10 (value =
// d1.d2d3... x 10^e10) in the calculator's format.
std::size_t formatDigits(bool negative, std::uint64_t digits, int e10, char* out) {
    // Two halves in 32-bit arithmetic, which is cheaper than fifteen 64-bit divisions.
    char d[15];
    auto high = static_cast<std::uint32_t>(digits / 100000000U);
    auto low = static_cast<std::uint32_t>(digits % 100000000U);
    for (int i = 14; i >= 7; --i) {
        d[i] = static_cast<char>('0' + low % 10);
        low /= 10;
    }
    for (int i = 6; i >= 0; --i) {
        d[i] = static_cast<char>('0' + high % 10);
        high /= 10;
    }
    int nd = 15;
    while (nd > 1 && d[nd - 1] == '0')
        --nd;

    char* p = out;
    if (negative)
        *p++ = '-';
    if (e10 >= -4 && e10 <= 14) {
        if (e10 >= 0) {
            const int intDigits = e10 + 1;
            for (int i = 0; i < intDigits; ++i)
                *p++ = i < nd ? d[i] : '0';
            if (nd > intDigits) {
                *p++ = '.';
                for (int i = intDigits; i < nd; ++i)
                    *p++ = d[i];
            }
        } else {
            *p++ = '0';
            *p++ = '.';
            for (int i = 0; i < -e10 - 1; ++i)
                *p++ = '0';
            for (int i = 0; i < nd; ++i)
                *p++ = d[i];
        }
    } else {
        *p++ = d[0];
        if (nd > 1) {
            *p++ = '.';
            for (int i = 1; i < nd; ++i)
                *p++ = d[i];
        }
        *p++ = 'E';
        int e = e10;
        if (e < 0) {
            *p++ = '-';
            e = -e;
        }
        char ex[8];
        int n = 0;
        do {
            ex[n++] = static_cast<char>('0' + e % 10);
            e /= 10;
        } while (e > 0);
        while (n > 0)
            *p++ = ex[--n];
    }
    return static_cast<std::size_t>(p - out);
}

// 15 significant digits of |value| rounded half up, from the exact decimal expansion of the double.
void exactDigits(double value, std::uint64_t& digits, int& e10) {
    // A double has at most 767 significant decimal digits, so 770 after the point show it exactly.
    char text[800];
    std::snprintf(text, sizeof text, "%.770e", std::fabs(value));
    std::uint64_t n = static_cast<std::uint64_t>(text[0] - '0');
    for (int i = 2; i < 16; ++i)
        n = n * 10 + static_cast<std::uint64_t>(text[i] - '0');
    if (text[16] >= '5')
        ++n;
    const char* e = std::strchr(text, 'e');
    e10 = e ? std::atoi(e + 1) : 0;
    if (n == Digits15High) {
        n = Digits15Low;
        ++e10;
    }
    digits = n;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

std::size_t NumberToChars(double value, char* buffer) {
    if (value == 0.0 || !std::isfinite(value)) {
        buffer[0] = '0';
        return 1;
    }
    const bool negative = std::signbit(value);
    const long double a = std::fabs(static_cast<long double>(value));

    // Binary exponent from the bits (subnormals count from the smallest normal, corrected below).
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    const int e2 = std::max(static_cast<int>((bits >> 52) & 0x7FF) - 1022, -1073);
    // First guess of floor(log10 |value|); corrected below by at most a step or two.
    int k = 14 - static_cast<int>(std::floor((e2 - 1) * 0.30102999566398120));
    long double x = scaleByPowerOfTen(a, k);
    for (int guard = 0; guard < 4; ++guard) {
        if (x >= static_cast<long double>(Digits15High))
            --k;
        else if (x < static_cast<long double>(Digits15Low))
            ++k;
        else
            break;
        x = scaleByPowerOfTen(a, k);
    }

    std::uint64_t digits = 0;
    int e10 = 0;
    // x is positive and below 2^63 here, so the conversion truncates like floor.
    const long double whole = x > 0 && x < 9e18L ? static_cast<long double>(static_cast<std::uint64_t>(x)) : 0.0L;
    const long double fraction = x - whole;
    // x carries a relative error below 2^-63 (about 1.1E-4 in units of the last digit); only a fraction that
    // close to one half leaves the rounding in doubt.
    if (x < static_cast<long double>(Digits15Low) || x >= static_cast<long double>(Digits15High) ||
        std::fabs(fraction - 0.5L) < 4e-4L) {
        exactDigits(value, digits, e10);
    } else {
        digits = static_cast<std::uint64_t>(whole);
        if (fraction >= 0.5L)
            ++digits;
        if (digits == Digits15High) {
            digits = Digits15Low;
            --k;
        }
        e10 = 14 - k;
    }
    return formatDigits(negative, digits, e10, buffer);
}

std::string NumberToText(double value) {
    char buffer[NumberTextCapacity];
    return std::string(buffer, NumberToChars(value, buffer));
}

std::string NumberToTextExact(double value) {
    if (value == 0.0 || !std::isfinite(value))
        return "0";
    std::uint64_t digits = 0;
    int e10 = 0;
    exactDigits(value, digits, e10);
    char buffer[NumberTextCapacity];
    return std::string(buffer, formatDigits(std::signbit(value), digits, e10, buffer));
}

bool TextToNumber(std::string_view text, long double& value) {
    std::size_t i = 0;
    std::size_t n = text.size();
    while (i < n && isBlank(text[i]))
        ++i;
    while (n > i && isBlank(text[n - 1]))
        --n;

    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t numberStart = i;

    // Up to 19 significant digits go into an integer; a dropped non-zero digit forces the general route.
    std::uint64_t mantissa = 0;
    int significant = 0;
    long exponent = 0;
    bool anyDigit = false;
    bool dropped = false;
    for (; i < n && isDigit(text[i]); ++i) {
        anyDigit = true;
        const int d = text[i] - '0';
        if (mantissa == 0 && d == 0)
            continue;
        if (significant < 19) {
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(d);
            ++significant;
        } else {
            ++exponent;
            dropped = dropped || d != 0;
        }
    }
    if (i < n && text[i] == '.') {
        for (++i; i < n && isDigit(text[i]); ++i) {
            anyDigit = true;
            const int d = text[i] - '0';
            if (mantissa == 0 && d == 0) {
                --exponent;
            } else if (significant < 19) {
                mantissa = mantissa * 10 + static_cast<std::uint64_t>(d);
                ++significant;
                --exponent;
            } else {
                dropped = dropped || d != 0;
            }
        }
    }
    if (!anyDigit)
        return false;
    // The exponent is bounded so that the sums below cannot overflow; far beyond the extended range anyway.
    if (exponent < -1000000 || exponent > 1000000)
        dropped = true;

    if (i < n && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        bool expNegative = false;
        if (i < n && (text[i] == '+' || text[i] == '-')) {
            expNegative = text[i] == '-';
            ++i;
        }
        if (i >= n || !isDigit(text[i]))
            return false;
        long e = 0;
        for (; i < n && isDigit(text[i]); ++i) {
            if (e < 100000000)
                e = e * 10 + (text[i] - '0');
        }
        exponent += expNegative ? -e : e;
    }
    if (i != n)
        return false;

    long double result = 0.0L;
    if (mantissa == 0) {
        result = 0.0L;
    } else if (!dropped && exponent >= -ExactPowerMax && exponent <= ExactPowerMax) {
        // Both factors are exact, so the one operation rounds correctly.
        const long double m = static_cast<long double>(mantissa);
        result = exponent >= 0 ? m * ExactPowers[exponent] : m / ExactPowers[-exponent];
    } else {
        const char* first = text.data() + numberStart;
        const char* last = text.data() + n;
        const auto parsed = std::from_chars(first, last, result);
        if (parsed.ec == std::errc::result_out_of_range) {
            // Underflow gives the nearest value, zero; overflow is a failure.
            if (exponent + significant > 0)
                return false;
            result = 0.0L;
        } else if (parsed.ec != std::errc() || parsed.ptr != last) {
            return false;
        }
    }
    if (!std::isfinite(result))
        return false;
    value = negative ? -result : result;
    return true;
}

} // namespace kvt::expcalc
