#include "expcalc/UnitExpCalc.h"

#include "expcalc/Evaluation.h"
#include "expcalc/ExpressionCheck.h"

bool CalcExpression(const std::string& expression, double& value, std::string& errorText) {
    using namespace kvt::expcalc;
    try {
        errorText.clear();
        std::string text = expression;
        RemoveSpaces(text);
        if (text.empty())
            return false;
        ReplaceConstants(text);
        errorText.clear();
        if (!CheckExpression(text, errorText))
            return false;
        MarkUnarySigns(text);
        const std::vector<std::string_view> postfix = ConvertToPostfix(text);
        bool errorFlag = false;
        double result = 0.0;
        if (!EvaluatePostfix(postfix, result, errorFlag, errorText))
            return false;
        value = result;
        return true;
    } catch (...) {
        // Only allocation can throw here; the formula then simply has no value.
        return false;
    }
}
