#pragma once
#include <string>

/// Evaluates a formula text. On success writes value and returns true; otherwise returns
/// false with errorText holding the messages, each followed by ";". errorText is emptied first.
bool CalcExpression(const std::string& expression, double& value, std::string& errorText);
