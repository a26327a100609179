#include "expcalc/UnitExpCalc.h"

#include "expcalc/Evaluation.h"
#include "expcalc/ExpressionCheck.h"

bool CalcExpression(const std::string& expression, double& value, std::string& errorText) {
    using namespace kvt::expcalc;
    try {
        errorText.clear();
        thread_local std::string text;
        thread_local std::vector<std::string_view> postfix;
        text.assign(expression);
        RemoveSpaces(text);
        if (text.empty())
            return false;
        ReplaceConstants(text);
        errorText.clear();
        if (!CheckExpression(text, errorText))
            return false;
        MarkUnarySigns(text);
        ConvertToPostfix(text, postfix);
        bool errorFlag = false;
        double result = 0.0;
        const bool ok = EvaluatePostfix(postfix, result, errorFlag, errorText);
        releaseIfLarge(text);
        releaseIfLarge(postfix);
        if (!ok)
            return false;
        value = result;
        return true;
    } catch (...) {
        // Only allocation can throw here; the formula then simply has no value.
        return false;
    }
}
