// libFuzzer target: any byte sequence through CalcExpression. Besides the sanitizers' findings it checks the
// contract: a success has a finite value and no messages, a failure keeps the value and ends its messages
// with ";".
#include "expcalc/UnitExpCalc.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string expression(reinterpret_cast<const char*>(data), size);
    const double untouched = 12345.0;
    double value = untouched;
    std::string errorText = "stale;";
    if (CalcExpression(expression, value, errorText)) {
        if (!std::isfinite(value) || !errorText.empty())
            std::abort();
    } else {
        if (value != untouched || (!errorText.empty() && errorText.back() != ';') || errorText == "stale;")
            std::abort();
    }
    return 0;
}
