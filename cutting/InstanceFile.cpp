#include "cutting/InstanceFile.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

namespace kvt::cutting {

namespace {

// A problem file of the field is a few kilobytes; anything far larger is not one.
constexpr std::size_t maxFileBytes = 8 * 1024 * 1024;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

std::vector<std::string> tokens(const std::string& text) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isSpace(text[i]))
            ++i;
        const std::size_t start = i;
        while (i < text.size() && !isSpace(text[i]))
            ++i;
        if (i > start)
            out.push_back(text.substr(start, i - start));
    }
    return out;
}

// number := ["-"] digits ["." digit]; the value in tenths. At most nine digits before the point.
bool parseTenths(const std::string& token, bool decimalAllowed, Length& tenths) {
    std::size_t i = 0;
    const bool negative = !token.empty() && token[0] == '-';
    if (negative)
        ++i;
    Length whole = 0;
    int digits = 0;
    for (; i < token.size() && token[i] >= '0' && token[i] <= '9'; ++i, ++digits)
        whole = whole * 10 + (token[i] - '0');
    if (digits == 0 || digits > 9)
        return false;
    Length tenth = 0;
    if (i < token.size()) {
        if (!decimalAllowed || token[i] != '.' || i + 2 != token.size() || token[i + 1] < '0' || token[i + 1] > '9')
            return false;
        tenth = token[i + 1] - '0';
    }
    tenths = (whole * 10 + tenth) * (negative ? -1 : 1);
    return true;
}

} // namespace

bool parseMillimetres(const std::string& text, Length& length) {
    return parseTenths(text, true, length);
}

std::string millimetres(Length length) {
    const Length magnitude = length < 0 ? -length : length;
    std::string text = (length < 0 ? "-" : "") + std::to_string(magnitude / 10);
    if (magnitude % 10 != 0)
        text += "." + std::to_string(magnitude % 10);
    return text;
}

bool parseInstance(const std::string& text, Problem& problem, std::string& error) {
    const std::vector<std::string> words = tokens(text);
    Length value = 0;
    if (words.size() < 2 || !parseTenths(words[0], false, value) || value <= 0) {
        error = "不是下料问题文件：第一项应是料的种数（正整数）。";
        return false;
    }
    const Length kinds = value / 10;
    if (words.size() != 2 + 2 * static_cast<std::size_t>(kinds)) {
        error = "不是下料问题文件：应有 " + std::to_string(kinds) + " 种料，每种一行“长度 数量”，实有 " +
                std::to_string(words.size() < 2 ? 0 : (words.size() - 2) / 2) + " 行。";
        return false;
    }
    Problem read;
    if (!parseTenths(words[1], true, read.stockLength)) {
        error = "不是下料问题文件：原料长度“" + words[1] + "”不是数。";
        return false;
    }
    for (Length k = 0; k < kinds; ++k) {
        const std::string& lengthWord = words[2 + 2 * k];
        const std::string& countWord = words[3 + 2 * k];
        Demand demand;
        Length count = 0;
        if (!parseTenths(lengthWord, true, demand.length) || !parseTenths(countWord, false, count)) {
            error = "不是下料问题文件：第 " + std::to_string(k + 1) + " 种料“" + lengthWord + " " + countWord +
                    "”不是“长度 数量”。";
            return false;
        }
        demand.count = static_cast<int>(count / 10);
        read.pieces.push_back(demand);
    }
    problem = read;
    return true;
}

bool readInstance(const std::string& path, Problem& problem, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "打不开文件 " + path + "。";
        return false;
    }
    std::string text(maxFileBytes + 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    if (text.size() > maxFileBytes) {
        error = "文件 " + path + " 太大，不是下料问题文件。";
        return false;
    }
    return parseInstance(text, problem, error);
}

std::string planJson(const Plan& plan) {
    std::ostringstream out;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", plan.seconds);
    out << "{\"bars\": " << plan.newBars << ", \"lower_bound\": " << plan.lowerBound
        << ", \"optimal\": " << (plan.optimal ? "true" : "false") << ", \"seconds\": " << seconds;
    if (plan.offcutsUsed > 0)
        out << ", \"offcuts_used\": " << plan.offcutsUsed;
    out << ", \"patterns\": [";
    for (std::size_t p = 0; p < plan.patterns.size(); ++p) {
        const Pattern& pattern = plan.patterns[p];
        out << (p ? ", " : "") << "{\"count\": " << pattern.count;
        if (pattern.offcut >= 0)
            out << ", \"offcut\": " << pattern.offcut;
        out << ", \"pieces\": [";
        for (std::size_t i = 0; i < pattern.pieces.size(); ++i)
            out << (i ? ", " : "") << millimetres(pattern.pieces[i]);
        out << "]}";
    }
    out << "]";
    if (!plan.unplaced.empty()) {
        out << ", \"unplaced\": [";
        for (std::size_t i = 0; i < plan.unplaced.size(); ++i)
            out << (i ? ", " : "") << "{\"length\": " << millimetres(plan.unplaced[i].length)
                << ", \"count\": " << plan.unplaced[i].count << "}";
        out << "]";
    }
    out << "}";
    return out.str();
}

} // namespace kvt::cutting
