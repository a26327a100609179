#include "refdata/FormulaCheck.h"

#include "expcalc/LineFormula.h"

#include <algorithm>
#include <string>
#include <vector>

namespace kvt {

const std::array<SizeFormulaColumn, 6> kSizeFormulas = {{
    {"外框宽公式", false, "总宽", "见光宽"},
    {"外框高公式", false, "总高", "埋地"},
    {"门扇宽公式", true, "门扇宽", "现量宽"},
    {"门扇玻璃宽公式", true, "玻璃宽", "现量宽"},
    {"门扇高公式", true, "门扇高", "现量高"},
    {"门扇玻璃高公式", true, "玻璃高", "现量高"},
}};

namespace {

using Line = std::vector<std::string>;

const Line& titlesOf(bool doorLeaf) {
    static const Line frame = expcalc::FrameTitleList();
    static const Line door = expcalc::DoorLeafTitleList();
    return doorLeaf ? door : frame;
}

std::string utf8(const QString& s) {
    return s.toStdString();
}

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

/// The bill's line defaults for a title the maintainer has not set, and the product's own cells.
std::string defaultCell(const std::string& title, const ProductSample& product) {
    if (title == "编号")
        return utf8(product.number);
    if (title == "商品名称")
        return utf8(product.name);
    if (title == "商品ID")
        return utf8(product.id);
    if (title == "玻璃款式" || title == "门框附加" || title == "备注" || title == "门框备注")
        return " ";
    if (title == "数量")
        return "1";
    return "0";
}

/// The door-leaf line's frame cells hold what the frame line ended with, as a saved bill does.
const char* frameTitleBehind(const std::string& doorLeafTitle) {
    if (doorLeafTitle == "门框总宽")
        return "总宽";
    if (doorLeafTitle == "门框总高")
        return "总高";
    if (doorLeafTitle == "门框备注")
        return "备注";
    if (doorLeafTitle == "门框附加")
        return "门框附加";
    return nullptr;
}

Line buildLine(bool doorLeaf, const ProductSample& product, const SampleValues& values, const Line* frameLine) {
    const Line& titles = titlesOf(doorLeaf);
    Line cells(titles.size());
    for (std::size_t c = 1; c < titles.size(); ++c) {
        const auto set = values.constFind(text(titles[c]));
        if (set != values.constEnd()) {
            cells[c] = utf8(*set);
        } else if (const char* behind = frameLine ? frameTitleBehind(titles[c]) : nullptr) {
            cells[c] = (*frameLine)[std::size_t(expcalc::FindTitle(titlesOf(false), behind))];
        } else {
            cells[c] = defaultCell(titles[c], product);
        }
        // Enter in the door-leaf layout first fills the empty cells of columns 3 to 16.
        if (doorLeaf && cells[c].empty() && c >= 3 && c <= 16)
            cells[c] = c == 4 || c == 13 || c == 14 ? " " : "0";
    }
    return cells;
}

/// One formula on its line as the bill computes it; the line takes the result when computed.
SampleResult trySize(const SizeFormulaColumn& column, const std::string& formula, Line& line) {
    SampleResult r;
    const Line& titles = titlesOf(column.doorLeaf);
    const std::size_t target = std::size_t(expcalc::FindTitle(titles, column.target));
    const std::size_t trigger = std::size_t(expcalc::FindTitle(titles, column.trigger));

    const expcalc::QuotedNames quoted = expcalc::FindQuotedNames(formula);
    Line known = titles;
    Line cells = line;
    for (const std::string& name : quoted.names) {
        if (name.empty() || expcalc::FindTitle(known, name) >= 0)
            continue;
        // What the calculator says about the rest of the formula, with the unknown title as 0.
        r.unknownTitles << text(name);
        known.push_back(name);
        cells.push_back("0");
    }

    const expcalc::SizeResult bill = expcalc::EvaluateSize(formula, titles, line);
    r.computed = line[trigger] != "0";
    r.cell = text(bill.cell);

    if (quoted.unclosed) {
        r.messages = QStringLiteral("双引号不成对;");
    } else if (quoted.names.end() != std::find(quoted.names.begin(), quoted.names.end(), std::string())) {
        r.messages = QStringLiteral("双引号中没有列名;");
    } else {
        const expcalc::SizeResult checked =
            r.unknownTitles.isEmpty() ? bill : expcalc::EvaluateSize(formula, known, cells);
        r.evaluates = checked.ok;
        if (checked.notWhole)
            r.messages = QStringLiteral("结果超出整数范围;");
        else if (!checked.ok)
            r.messages = checked.messages.empty() ? QStringLiteral("运算出错;") : text(checked.messages);
    }
    if (r.computed)
        line[target] = bill.cell;
    return r;
}

QStringList texts(const Line& line) {
    QStringList out;
    for (const std::string& s : line)
        out << text(s);
    return out;
}

const char* layoutName(bool doorLeaf) {
    return doorLeaf ? "门扇单据" : "门框单据";
}

} // namespace

QList<QPair<QString, QString>> DefaultSampleValues() {
    return {{QStringLiteral("见光宽"), QStringLiteral("900")}, {QStringLiteral("见光高"), QStringLiteral("2100")},
            {QStringLiteral("埋地"), QStringLiteral("20")},    {QStringLiteral("数量"), QStringLiteral("1")},
            {QStringLiteral("现量宽"), QStringLiteral("905")}, {QStringLiteral("现量高"), QStringLiteral("2112")}};
}

QString SampleOutcome::valueOf(const QString& title) const {
    const std::string t = utf8(title);
    const int frame = expcalc::FindTitle(titlesOf(false), t);
    if (frame >= 0)
        return frameLine.value(frame);
    const int doorLeaf = expcalc::FindTitle(titlesOf(true), t);
    return doorLeaf >= 0 ? doorLeafLine.value(doorLeaf) : QString();
}

SampleOutcome TrySample(const ProductSample& product, const SampleValues& values) {
    SampleValues all = values;
    for (const auto& [title, value] : DefaultSampleValues())
        if (!all.contains(title))
            all.insert(title, value);

    SampleOutcome out;
    Line frame = buildLine(false, product, all, nullptr);
    for (int i = 0; i < 2; ++i)
        if (!product.formulas[i].isEmpty())
            out.results[i] = trySize(kSizeFormulas[i], utf8(product.formulas[i]), frame);
    Line doorLeaf = buildLine(true, product, all, &frame);
    for (int i = 2; i < 6; ++i)
        if (!product.formulas[i].isEmpty())
            out.results[i] = trySize(kSizeFormulas[i], utf8(product.formulas[i]), doorLeaf);
    out.frameLine = texts(frame);
    out.doorLeafLine = texts(doorLeaf);
    return out;
}

QStringList NamedTitles(const std::array<QString, 6>& formulas) {
    QStringList out;
    for (std::size_t i = 0; i < formulas.size(); ++i) {
        const Line& titles = titlesOf(kSizeFormulas[i].doorLeaf);
        for (const std::string& name : expcalc::FindQuotedNames(utf8(formulas[i])).names)
            if (!name.empty() && expcalc::FindTitle(titles, name) >= 0 && !out.contains(text(name)))
                out << text(name);
    }
    return out;
}

QList<FormulaFinding> CheckProductFormulas(const ProductSample& product) {
    const SampleOutcome outcome = TrySample(product);
    QList<FormulaFinding> refusals;
    QList<FormulaFinding> questions;
    for (int i : kFormulaTableOrder) {
        if (product.formulas[std::size_t(i)].isEmpty())
            continue;
        const SampleResult& r = outcome.results[std::size_t(i)];
        const SizeFormulaColumn& column = kSizeFormulas[std::size_t(i)];
        const QString field = QString::fromUtf8(column.field);
        if (!r.evaluates) {
            refusals.push_back({FormulaFinding::CannotEvaluate, i,
                                QStringLiteral("商品“%1”的%2不能计算：%3").arg(product.name, field, r.messages)});
            continue;
        }
        for (const QString& title : r.unknownTitles)
            questions.push_back({FormulaFinding::UnknownTitle, i,
                                 QStringLiteral("商品“%1”的%2用到了“%3”，%4中没有这一列，计算时按0计。仍然保存吗？")
                                     .arg(product.name, field, title, QString::fromUtf8(layoutName(column.doorLeaf)))});
    }
    return refusals + questions;
}

} // namespace kvt
