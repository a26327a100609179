// Tries product formulas outside the program. Each argument, or each line of standard input when there are no
// expression arguments, is one expression; each gives one line "OK<TAB>value" or "ERR<TAB>messages".
//
//   --line TITLE=VALUE   a cell of the sample line: "TITLE" in a formula stands for VALUE, as in the bill grid
//   --round              the value rounded to a whole number as the bill writes a size
//   --                   everything after it is an expression
#include "expcalc/LineFormula.h"
#include "expcalc/NumberText.h"
#include "expcalc/UnitExpCalc.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct Options {
    /// The sample line: titles and cells by column, column 0 the fixed empty one.
    std::vector<std::string> titles{""};
    std::vector<std::string> cells{""};
    bool line = false;
    bool round = false;
};

/// Adds or replaces one cell of the sample line; false with a message for a text that is no TITLE=VALUE.
bool addCell(Options& o, const std::string& text, std::string& error) {
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0) {
        error = "--line 需要 列名=值：" + text;
        return false;
    }
    const std::string title = text.substr(0, eq);
    if (title.find('"') != std::string::npos) {
        error = "列名中不能有双引号：" + title;
        return false;
    }
    const int column = kvt::expcalc::FindTitle(o.titles, title);
    if (column > 0) {
        o.cells[std::size_t(column)] = text.substr(eq + 1);
    } else {
        o.titles.push_back(title);
        o.cells.push_back(text.substr(eq + 1));
    }
    o.line = true;
    return true;
}

void evaluate(const Options& o, const std::string& expression) {
    std::string prepared = expression;
    if (o.line) {
        std::string unknown;
        const std::optional<std::string> text = kvt::expcalc::SubstituteTitles(expression, o.titles, o.cells, &unknown);
        if (!text) {
            std::cout << "ERR\t"
                      << (kvt::expcalc::FindQuotedNames(expression).unclosed && unknown.empty()
                              ? std::string("双引号不成对;")
                              : "没有给出“" + unknown + "”这一列;")
                      << '\n';
            return;
        }
        prepared = *text;
    }
    double value = 0.0;
    std::string errorText;
    if (!CalcExpression(prepared, value, errorText)) {
        std::cout << "ERR\t" << errorText << '\n';
        return;
    }
    if (!o.round) {
        std::cout << "OK\t" << kvt::expcalc::NumberToText(value) << '\n';
        return;
    }
    const std::optional<long long> n = kvt::expcalc::RoundHalfEven(value);
    if (n)
        std::cout << "OK\t" << *n << '\n';
    else
        std::cout << "ERR\t结果超出整数范围;" << '\n';
}

} // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    Options options;
    std::vector<std::string> expressions;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string error;
        if (optionsEnded) {
            expressions.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--round") {
            options.round = true;
        } else if (arg == "--line" || arg.rfind("--line=", 0) == 0) {
            std::string cell;
            if (arg == "--line") {
                if (i + 1 >= argc) {
                    std::cerr << "kvtcalc: --line 后面缺少 列名=值\n";
                    return 2;
                }
                cell = argv[++i];
            } else {
                cell = arg.substr(std::strlen("--line="));
            }
            if (!addCell(options, cell, error)) {
                std::cerr << "kvtcalc: " << error << '\n';
                return 2;
            }
        } else {
            expressions.push_back(arg);
        }
    }
    if (!expressions.empty()) {
        for (const std::string& e : expressions)
            evaluate(options, e);
        return 0;
    }
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        evaluate(options, line);
    }
    return 0;
}
