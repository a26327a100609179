#include "expcalc/UnitExpCalc.h"

bool CalcExpression(const std::string&, double&, std::string& errorText)
{
    errorText = "not built yet;";
    return false;
}
