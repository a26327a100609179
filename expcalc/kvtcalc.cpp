// Tries product formulas outside the program. Each argument, or each line of standard input when there are no
// arguments, is one expression; each gives one line "OK<TAB>value" or "ERR<TAB>messages".
#include "expcalc/NumberText.h"
#include "expcalc/UnitExpCalc.h"

#include <cstdio>
#include <iostream>
#include <string>

namespace {

void evaluate(const std::string& expression) {
    double value = 0.0;
    std::string errorText;
    if (CalcExpression(expression, value, errorText))
        std::cout << "OK\t" << kvt::expcalc::NumberToText(value) << '\n';
    else
        std::cout << "ERR\t" << errorText << '\n';
}

} // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    if (argc > 1) {
        for (int i = 1; i < argc; ++i)
            evaluate(argv[i]);
        return 0;
    }
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        evaluate(line);
    }
    return 0;
}
