// CalcExpression against a general-purpose parser on typical product formulas, each parsed anew for every
// evaluation. Names are "<variant>/<case>"; the label "baseline" marks the variant the others are compared to.
#include "expcalc/NumberText.h"
#include "expcalc/UnitExpCalc.h"

#include <benchmark/benchmark.h>
#include <muParser.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Formula {
    const char* name;
    const char* text;
};

constexpr Formula Formulas[] = {
    {"frame_width", "(900+40)*2-35"},
    {"leaf_width", "(1200-2*35)/2+sqrt(16)"},
    {"rounded_height", "roundto((2100-35)/2,0)+max(10,20,30)"},
};

void calcExpression(benchmark::State& state, const char* text) {
    const std::string expression = text;
    double value = 0.0;
    std::string errorText;
    for (auto _ : state) {
        benchmark::DoNotOptimize(CalcExpression(expression, value, errorText));
        benchmark::DoNotOptimize(value);
    }
}

double roundTo(double x, double digits) {
    const double f = std::pow(10.0, digits);
    return std::nearbyint(x / f) * f;
}

void generalParser(benchmark::State& state, const char* text) {
    state.SetLabel("baseline");
    mu::Parser parser;
    parser.DefineFun("roundto", roundTo);
    const std::string expression = text;
    for (auto _ : state) {
        parser.SetExpr(expression);
        benchmark::DoNotOptimize(parser.Eval());
    }
}

// The text round trip of one intermediate value, ours against the C library's.
const double Samples[] = {569.0, 0.333333333333333, 6.28318530717958, 1845.0, 1332.24602329979, 1.5e-7};

void numberTextRoundTrip(benchmark::State& state) {
    char text[kvt::expcalc::NumberTextCapacity];
    long double sum = 0;
    for (auto _ : state) {
        for (double v : Samples) {
            const std::size_t n = kvt::expcalc::NumberToChars(v, text);
            long double back = 0;
            kvt::expcalc::TextToNumber(std::string_view(text, n), back);
            sum += back;
        }
    }
    benchmark::DoNotOptimize(sum);
}

void printfRoundTrip(benchmark::State& state) {
    state.SetLabel("baseline");
    char text[64];
    long double sum = 0;
    for (auto _ : state) {
        for (double v : Samples) {
            std::snprintf(text, sizeof text, "%.15g", v);
            sum += std::strtold(text, nullptr);
        }
    }
    benchmark::DoNotOptimize(sum);
}

const bool Registered = [] {
    for (const Formula& f : Formulas) {
        benchmark::RegisterBenchmark((std::string("kvt/") + f.name).c_str(), calcExpression, f.text);
        benchmark::RegisterBenchmark((std::string("muparser/") + f.name).c_str(), generalParser, f.text);
    }
    benchmark::RegisterBenchmark("kvt/text_round_trip_x6", numberTextRoundTrip);
    benchmark::RegisterBenchmark("printf/text_round_trip_x6", printfRoundTrip);
    return true;
}();

} // namespace

BENCHMARK_MAIN();
