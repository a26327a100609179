// See CuttingList.h. Reading the bills, the pieces, the materials and the offcuts; working out each
// piece's length with the bill's own substitution and calculator; one optimiser problem per material;
// the bars it gives, with the pieces mapped back to their lines; and the confirmation.
#include "query/CuttingList.h"

#include "expcalc/LineFormula.h"
#include "store/DataQuery.h"
#include "store/Database.h"
#include "store/Engine.h"
#include "store/SqlDialect.h"
#include "store/StoreError.h"

#include <QDate>
#include <QHash>
#include <set>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>

namespace kvt {
namespace {

using cutting::Length;

/// The line's values a piece formula may name: each title with the 单据明细 column it reads. The
/// frame layout calls the frame's overall sizes 总宽 and 总高, the door-leaf layout 门框总宽 and
/// 门框总高; a piece formula may use either.
struct PieceTitle {
    const char* title;
    const char* column;
};
constexpr PieceTitle kPieceTitles[] = {
    {"见光宽", "见光宽"},     {"见光高", "见光高"}, {"埋地", "埋地"},         {"总宽", "门框总宽"},
    {"门框总宽", "门框总宽"}, {"总高", "门框总高"}, {"门框总高", "门框总高"}, {"数量", "数量"},
    {"现量宽", "现量宽"},     {"现量高", "现量高"}, {"门扇宽", "门扇宽"},     {"门扇高", "门扇高"},
    {"玻璃宽", "玻璃宽"},     {"玻璃高", "玻璃高"},
};
constexpr int kTitleCount = int(std::size(kPieceTitles));

/// A length in millimetres as read from a number column, in tenths (a length has at most one decimal).
Length tenths(double millimetres) {
    return Length(std::llround(millimetres * 10.0));
}

double millimetres(Length length) {
    return double(length) / 10.0;
}

QString quoted(const QString& name) {
    return QStringLiteral("“") + name + QStringLiteral("”");
}

QString dateLiteral(const QDate& date) {
    return QLatin1Char('#') + date.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char('#');
}

/// " from 单据明细 …" with the conditions that choose the filter's bills' lines.
QString chosenLines(const CuttingListFilter& filter) {
    QString sql = QStringLiteral(" from 单据明细 inner join 历史单据 on 单据明细.单据ID=历史单据.单据ID");
    QStringList conditions;
    if (filter.byDate)
        conditions << QStringLiteral("(单据日期 BETWEEN ") + dateLiteral(filter.from) + QStringLiteral(" and ") +
                          dateLiteral(filter.to) + QLatin1Char(')');
    if (filter.byClient)
        conditions << QStringLiteral("(历史单据.客户ID=") + QString::number(filter.clientId) + QLatin1Char(')');
    if (!conditions.isEmpty())
        sql += QStringLiteral(" where ") + conditions.join(QStringLiteral(" and "));
    return sql;
}

struct Material {
    QString name;
    Length stock = 0, kerf = 0, trim = 0, minOffcut = 0;
    QString error; ///< why nothing can be cut from it, empty when it is fit
};

struct PieceDef {
    qint64 id = 0;
    QString name;
    QString material;
    qint64 perLine = 0; ///< 件数; 0 when the row holds no whole number >= 1
    QString formula;
};

struct StockOffcut {
    qint64 id = 0;
    Length length = 0;
};

/// One line of the chosen bills with its values by PieceFormulaTitles.
struct Line {
    qint64 id = 0, bill = 0, product = 0;
    bool hasProduct = false;
    QStringList cells;
    QString quantityText;
};

/// Everything the plan is made from, read in one go.
struct Inputs {
    std::map<QString, Material> materials;
    QHash<qint64, std::vector<PieceDef>> pieces; ///< by 商品ID, in 部件ID order
    std::map<QString, std::vector<StockOffcut>> offcuts;
    std::vector<Line> lines;
    std::set<std::tuple<qint64, qint64, qint64>> cut; ///< 门框ID, 部件ID, 序号 already recorded
};

Inputs readInputs(const CuttingListFilter& filter) {
    Inputs in;
    DataQuery q;
    q.SetSql(QStringLiteral("select 材料名称,原料长度,锯缝,端头余量,最短余料 from 材料 order by 材料名称"));
    q.Open();
    for (int r = 1; r <= q.RowCount(); ++r) {
        Material m;
        m.name = q.TextAt(r, 0);
        m.stock = tenths(q.ValueAt(r, 1).toDouble());
        m.kerf = tenths(q.ValueAt(r, 2).toDouble());
        m.trim = tenths(q.ValueAt(r, 3).toDouble());
        m.minOffcut = tenths(q.ValueAt(r, 4).toDouble());
        cutting::Problem p;
        p.stockLength = m.stock;
        p.kerf = m.kerf;
        p.trim = m.trim;
        p.pieces.push_back({1, 1});
        const std::string error = cutting::problemError(p);
        if (!error.empty())
            m.error = QStringLiteral("材料%1不能下料：%2").arg(quoted(m.name), QString::fromStdString(error));
        in.materials[m.name] = m;
    }

    q.SetSql(
        QStringLiteral("select 部件ID,商品ID,部件名称,材料名称,件数,长度公式 from 商品部件 order by 商品ID,部件ID"));
    q.Open();
    for (int r = 1; r <= q.RowCount(); ++r) {
        PieceDef d;
        d.id = q.ValueAt(r, 0).toLongLong();
        d.name = q.TextAt(r, 2);
        d.material = q.TextAt(r, 3);
        bool whole = false;
        const double count = q.TextAt(r, 4).toDouble(&whole);
        d.perLine = whole && count >= 1 && count == std::floor(count) && count < 1e6 ? qint64(count) : 0;
        d.formula = q.TextAt(r, 5);
        in.pieces[q.ValueAt(r, 1).toLongLong()].push_back(d);
    }

    q.SetSql(QStringLiteral("select 余料ID,材料名称,长度 from 余料 order by 余料ID"));
    q.Open();
    for (int r = 1; r <= q.RowCount(); ++r)
        in.offcuts[q.TextAt(r, 1)].push_back({q.ValueAt(r, 0).toLongLong(), tenths(q.ValueAt(r, 2).toDouble())});

    QString columns = QStringLiteral("select 单据明细.门框ID,单据明细.单据ID,单据明细.商品ID");
    for (const PieceTitle& t : kPieceTitles)
        columns += QStringLiteral(",单据明细.") + QString::fromUtf8(t.column);
    q.SetSql(columns + chosenLines(filter) + QStringLiteral(" order by 单据明细.单据ID,单据明细.门框ID"));
    q.Open();
    in.lines.reserve(size_t(q.RowCount()));
    for (int r = 1; r <= q.RowCount(); ++r) {
        Line l;
        l.id = q.ValueAt(r, 0).toLongLong();
        l.bill = q.ValueAt(r, 1).toLongLong();
        l.hasProduct = !q.ValueAt(r, 2).isNull();
        l.product = q.ValueAt(r, 2).toLongLong();
        l.cells.reserve(kTitleCount);
        for (int c = 0; c < kTitleCount; ++c)
            l.cells << q.TextAt(r, 3 + c);
        l.quantityText = l.cells[7];
        in.lines.push_back(std::move(l));
    }

    q.SetSql(QStringLiteral("select 下料记录.门框ID,下料记录.部件ID,下料记录.序号 from 下料记录 inner join (select "
                            "单据明细.门框ID") +
             chosenLines(filter) + QStringLiteral(") 选中 on 下料记录.门框ID=选中.门框ID"));
    q.Open();
    for (int r = 1; r <= q.RowCount(); ++r)
        in.cut.emplace(q.ValueAt(r, 0).toLongLong(), q.ValueAt(r, 1).toLongLong(), q.ValueAt(r, 2).toLongLong());
    return in;
}

/// A piece on its way to a bar.
struct Wanted {
    CutPiece piece;
    QString material;
};

/// Does plan cut (or give back as unplaced) every piece of problem exactly as often as asked, each
/// bar within its length, each offcut at most as often as it is there? Guards the mapping back to the lines against a
/// plan that does not add up.
bool cutsExactly(const cutting::Problem& problem, const cutting::Plan& plan) {
    std::map<Length, long long> asked, given;
    for (const cutting::Demand& d : problem.pieces)
        asked[d.length] += d.count;
    for (const cutting::Demand& d : plan.unplaced)
        given[d.length] += d.count;
    std::vector<long long> offcutsUsed(problem.offcuts.size(), 0);
    for (const cutting::Pattern& p : plan.patterns) {
        if (p.count < 0 || p.offcut >= int(problem.offcuts.size()) || p.pieces.empty())
            return false;
        if (p.offcut >= 0)
            offcutsUsed[size_t(p.offcut)] += p.count;
        if (cutting::leftover(problem, p) < 0)
            return false;
        for (Length l : p.pieces)
            given[l] += p.count;
    }
    for (size_t i = 0; i < offcutsUsed.size(); ++i)
        if (offcutsUsed[i] > problem.offcuts[i].count)
            return false;
    return std::erase_if(given, [](const auto& g) { return g.second == 0; }), asked == given;
}

/// The plan of one material: the problem of its pieces and offcuts, solved, and laid out bar by bar
/// with the pieces of the lines. Pieces go onto the bars in the order of their bills and lines, so
/// that neighbouring bars of one pattern carry the same bills and can be shown as one.
MaterialPlan planMaterial(const Material& m, const std::vector<Wanted>& wanted, const std::vector<StockOffcut>& stock,
                          double timeLimit, std::vector<NotCut>& notCut) {
    MaterialPlan out;
    out.material = m.name;
    out.stockLength = m.stock;
    out.kerf = m.kerf;
    out.trim = m.trim;
    out.minOffcut = m.minOffcut;

    cutting::Problem problem;
    problem.stockLength = m.stock;
    problem.kerf = m.kerf;
    problem.trim = m.trim;
    problem.timeLimitSeconds = timeLimit;
    std::map<Length, std::deque<CutPiece>> byLength;
    for (const Wanted& w : wanted)
        byLength[w.piece.length].push_back(w.piece);
    for (const auto& [length, pieces] : byLength)
        problem.pieces.push_back({length, int(pieces.size())});
    std::map<Length, std::deque<qint64>> offcutIds;
    for (const StockOffcut& o : stock)
        offcutIds[o.length].push_back(o.id);
    for (const auto& [length, ids] : offcutIds)
        problem.offcuts.push_back({length, int(ids.size())});

    cutting::Plan plan;
    const std::string error = cutting::problemError(problem);
    bool planned = error.empty();
    if (planned) {
        plan = cutting::solve(problem);
        if (!cutsExactly(problem, plan)) {
            plan = cutting::firstFitDecreasing(problem);
            planned = cutsExactly(problem, plan);
        }
    }
    if (!planned) {
        const QString reason = error.empty() ? QStringLiteral("材料%1的下料方案算不出来").arg(quoted(m.name))
                                             : QString::fromStdString(error);
        for (const Wanted& w : wanted)
            notCut.push_back({w.piece.billId, w.piece.lineId, w.piece.pieceId, w.piece.name, reason});
        return out;
    }
    // A piece the optimiser could not place after all (longer than a new bar, and the offcuts long
    // enough were taken by others) waits, with its reason; the lines were chosen so it should not.
    for (const cutting::Demand& d : plan.unplaced)
        for (int n = 0; n < d.count && !byLength[d.length].empty(); ++n) {
            const CutPiece& p = byLength[d.length].back();
            notCut.push_back({p.billId, p.lineId, p.pieceId, p.name,
                              QStringLiteral("长度%1比原料长，够长的余料不够").arg(LengthText(p.length))});
            byLength[d.length].pop_back();
        }
    out.lowerBound = plan.lowerBound;
    out.newBars = plan.newBars;
    out.offcutsUsed = plan.offcutsUsed;
    out.optimal = plan.optimal;

    // Cutting order: the offcuts first (they lean against the wall, out of the way once cut), then
    // the new bars, each kind with its fullest patterns first; ties by their pieces, so the order
    // does not depend on the optimiser's.
    std::vector<const cutting::Pattern*> patterns;
    for (const cutting::Pattern& p : plan.patterns)
        if (p.count > 0)
            patterns.push_back(&p);
    std::stable_sort(patterns.begin(), patterns.end(), [&](const cutting::Pattern* a, const cutting::Pattern* b) {
        if ((a->offcut >= 0) != (b->offcut >= 0))
            return a->offcut >= 0;
        const Length la = cutting::leftover(problem, *a), lb = cutting::leftover(problem, *b);
        if (la != lb)
            return la < lb;
        return std::lexicographical_compare(b->pieces.begin(), b->pieces.end(), a->pieces.begin(), a->pieces.end());
    });
    for (const cutting::Pattern* p : patterns) {
        std::vector<Length> pieces = p->pieces;
        std::sort(pieces.begin(), pieces.end(), std::greater<>());
        const Length left = cutting::leftover(problem, *p);
        for (int n = 0; n < p->count; ++n) {
            CutBar bar;
            if (p->offcut >= 0) {
                const Length length = problem.offcuts[size_t(p->offcut)].length;
                bar.offcutId = offcutIds[length].front();
                offcutIds[length].pop_front();
                bar.length = length;
            } else {
                bar.length = m.stock;
            }
            for (Length l : pieces) {
                bar.pieces.push_back(byLength[l].front());
                byLength[l].pop_front();
            }
            bar.leftover = left;
            bar.kept = left > 0 && left >= m.minOffcut;
            out.bars.push_back(std::move(bar));
        }
    }
    return out;
}

/// Appends text to out as a JSON string.
void appendJsonString(QByteArray& out, const QString& text) {
    out += '"';
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20)
                out += QByteArray("\\u00") + QByteArray::number(int(c), 16).rightJustified(2, '0');
            else
                out += c;
        }
    }
    out += '"';
}

/// A length in millimetres as a JSON number: 2140 or 2140.5.
QByteArray jsonLength(Length length) {
    return LengthText(length).toUtf8();
}

} // namespace

const QStringList& PieceFormulaTitles() {
    static const QStringList titles = [] {
        QStringList t;
        for (const PieceTitle& p : kPieceTitles)
            t << QString::fromUtf8(p.title);
        return t;
    }();
    return titles;
}

PieceLengthResult PieceLength(const QString& formula, const QStringList& cells) {
    PieceLengthResult out;
    if (formula.trimmed().isEmpty()) {
        out.reason = QStringLiteral("没有长度公式");
        return out;
    }
    // The bill's substitution sees column 0 as the fixed empty one.
    std::vector<std::string> titles{std::string()}, values{std::string()};
    for (int c = 0; c < kTitleCount; ++c) {
        titles.emplace_back(kPieceTitles[c].title);
        values.push_back(c < cells.size() ? cells[c].toStdString() : std::string());
    }
    const std::string text = formula.toStdString();
    // A size the formula needs and the line does not have yet is no 0 to compute with.
    const expcalc::QuotedNames named = expcalc::FindQuotedNames(text);
    for (const std::string& name : named.names) {
        const int c = expcalc::FindTitle(titles, name);
        if (c < 0)
            continue;
        bool number = false;
        const double v = QString::fromStdString(values[size_t(c)]).trimmed().toDouble(&number);
        if (!number || v == 0) {
            out.reason = QStringLiteral("%1为空或为0").arg(quoted(QString::fromStdString(name)));
            return out;
        }
    }
    const expcalc::SizeResult r = expcalc::EvaluateSize(text, titles, values);
    if (r.unknownTitle) {
        out.reason = QStringLiteral("长度公式里的%1不是单据的列").arg(quoted(QString::fromStdString(*r.unknownTitle)));
        return out;
    }
    if (!r.ok) {
        QString messages = QString::fromStdString(r.messages);
        while (messages.endsWith(QLatin1Char(';')))
            messages.chop(1);
        out.reason = r.notWhole ? QStringLiteral("长度公式的值太大")
                                : QStringLiteral("长度公式不能计算") +
                                      (messages.isEmpty() ? QString() : QStringLiteral("：") + messages);
        return out;
    }
    const qlonglong mm = QString::fromStdString(r.cell).toLongLong();
    if (mm <= 0 || mm > 1000000) {
        out.reason = QStringLiteral("长度公式的值%1不是合理的长度").arg(QString::fromStdString(r.cell));
        return out;
    }
    out.ok = true;
    out.length = Length(mm) * 10;
    return out;
}

int MaterialPlan::pieceCount() const {
    int n = 0;
    for (const CutBar& b : bars)
        n += int(b.pieces.size());
    return n;
}

double MaterialPlan::usePercent() const {
    Length pieces = 0, used = 0;
    for (const CutBar& b : bars) {
        used += b.length;
        for (const CutPiece& p : b.pieces)
            pieces += p.length;
    }
    return used > 0 ? 100.0 * double(pieces) / double(used) : 0.0;
}

Length MaterialPlan::leftoverKept() const {
    Length kept = 0;
    for (const CutBar& b : bars)
        if (b.kept)
            kept += b.leftover;
    return kept;
}

/// The order read: per material its pieces not cut yet and its offcuts, and the pieces that wait.
struct CuttingOrder::Data {
    std::map<QString, Material> materials;
    std::map<QString, std::vector<Wanted>> byMaterial;
    std::map<QString, std::vector<StockOffcut>> offcuts;
    std::vector<NotCut> notCut;
};

CuttingOrder ReadCuttingOrder(const CuttingListFilter& filter) {
    Inputs in = readInputs(filter);
    CuttingPlan plan;

    // Which pieces each line still needs. A piece that cannot be cut yet waits with its reason,
    // the line's other pieces are cut: the frame is cut while its door leaf is still to be
    // measured. A piece longer than a new bar needs an offcut of its own, the shortest still free
    // that is long enough, lines taken in order; without one it waits.
    std::map<QString, std::vector<Wanted>> byMaterial;
    std::map<QString, std::vector<Length>> freeOffcuts; // per material, shortest first
    for (const auto& [name, offcuts] : in.offcuts) {
        for (const StockOffcut& o : offcuts)
            freeOffcuts[name].push_back(o.length);
        std::sort(freeOffcuts[name].begin(), freeOffcuts[name].end());
    }
    for (const Line& line : in.lines) {
        auto lineReason = [&](const QString& reason) {
            plan.notCut.push_back({line.bill, line.id, 0, QString(), reason});
        };
        const auto found = in.pieces.constFind(line.product);
        if (!line.hasProduct || found == in.pieces.constEnd() || found->empty()) {
            lineReason(line.hasProduct ? QStringLiteral("商品没有部件") : QStringLiteral("没有商品"));
            continue;
        }
        bool whole = false;
        const double quantity = line.quantityText.trimmed().toDouble(&whole);
        if (!whole || quantity <= 0 || quantity != std::floor(quantity) || quantity > 1e6) {
            lineReason(QStringLiteral("数量%1不是正整数").arg(quoted(line.quantityText)));
            continue;
        }
        for (const PieceDef& d : *found) {
            auto pieceReason = [&](const QString& reason) {
                plan.notCut.push_back({line.bill, line.id, d.id, d.name, reason});
            };
            const auto material = in.materials.find(d.material);
            if (material == in.materials.end()) {
                pieceReason(d.material.trimmed().isEmpty() ? QStringLiteral("没有填写材料")
                                                           : QStringLiteral("材料%1不存在").arg(quoted(d.material)));
                continue;
            }
            const Material& m = material->second;
            if (!m.error.isEmpty()) {
                pieceReason(m.error);
                continue;
            }
            if (d.perLine < 1) {
                pieceReason(QStringLiteral("件数不是正整数"));
                continue;
            }
            std::vector<int> open;
            for (qint64 n = 1; n <= d.perLine * qint64(quantity); ++n)
                if (!in.cut.contains({line.id, d.id, n}))
                    open.push_back(int(n));
            if (open.empty())
                continue;
            const PieceLengthResult length = PieceLength(d.formula, line.cells);
            if (!length.ok) {
                pieceReason(length.reason);
                continue;
            }
            const Length usable = m.stock - 2 * m.trim;
            if (length.length > usable) {
                std::vector<Length>& free = freeOffcuts[m.name];
                const auto first = std::lower_bound(free.begin(), free.end(), length.length);
                if (free.end() - first < std::ptrdiff_t(open.size())) {
                    pieceReason(QStringLiteral("长度%1比原料（除去端头余量后%2）长，也没有这么长的余料")
                                    .arg(LengthText(length.length), LengthText(usable)));
                    continue;
                }
                free.erase(first, first + std::ptrdiff_t(open.size()));
            }
            for (int n : open)
                byMaterial[m.name].push_back({CutPiece{line.bill, line.id, d.id, d.name, length.length, n}, m.name});
        }
    }

    auto data = std::make_shared<CuttingOrder::Data>();
    data->materials = std::move(in.materials);
    data->byMaterial = std::move(byMaterial);
    data->offcuts = std::move(in.offcuts);
    data->notCut = std::move(plan.notCut);
    return CuttingOrder{std::move(data)};
}

CuttingPlan PlanCuttingOrder(const CuttingOrder& toCut, double timeLimitPerMaterial) {
    CuttingPlan plan;
    if (!toCut.data)
        return plan;
    const CuttingOrder::Data& in = *toCut.data;
    plan.notCut = in.notCut;
    const auto& byMaterial = in.byMaterial;

    // The optimiser's time is one budget for all materials: what a material that is done early leaves
    // goes to those after it, and the materials of the fewest different lengths (quickest done) go first.
    // The materials are planned side by side, one to a core: the budget is processor time, and the
    // whole takes about that divided by the cores.
    std::vector<std::pair<std::size_t, QString>> order;
    for (const auto& [name, wanted] : byMaterial) {
        std::set<Length> lengths;
        for (const Wanted& w : wanted)
            lengths.insert(w.piece.length);
        order.emplace_back(lengths.size(), name);
    }
    std::sort(order.begin(), order.end());
    struct Job {
        const Material* material;
        const std::vector<Wanted>* wanted;
        const std::vector<StockOffcut>* offcuts;
        MaterialPlan plan;
        std::vector<NotCut> notCut;
    };
    static const std::vector<StockOffcut> none;
    std::vector<Job> jobs;
    for (const auto& [lengths, name] : order) {
        const auto offcuts = in.offcuts.find(name);
        jobs.push_back({&in.materials.at(name),
                        &byMaterial.at(name),
                        offcuts == in.offcuts.end() ? &none : &offcuts->second,
                        {},
                        {}});
    }
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const int workers =
        int(std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, std::max<std::size_t>(jobs.size(), 1)));
    const double wallBudget = timeLimitPerMaterial * double(jobs.size()) / workers;
    std::mutex mutex;
    std::size_t next = 0;
    std::map<std::size_t, Clock::time_point> running; // the materials being planned, and when their time is up
    std::exception_ptr failure;
    auto work = [&] {
        while (true) {
            std::size_t i = 0;
            double share = 0;
            {
                const std::lock_guard lock(mutex);
                if (next == jobs.size() || failure)
                    return;
                i = next++;
                // The time left on all cores, less what the materials being planned may still take,
                // shared by the materials not begun; none may run past the whole budget.
                const auto now = Clock::now();
                const double left = wallBudget - std::chrono::duration<double>(now - start).count();
                double taken = 0;
                for (const auto& [j, end] : running)
                    taken += std::max(0.0, std::chrono::duration<double>(end - now).count());
                share = std::clamp((left * workers - taken) / double(jobs.size() - i), 0.05, std::max(left, 0.05));
                running[i] = now + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(share));
            }
            try {
                Job& job = jobs[i];
                job.plan = planMaterial(*job.material, *job.wanted, *job.offcuts, share, job.notCut);
            } catch (...) {
                const std::lock_guard lock(mutex);
                failure = std::current_exception();
            }
            const std::lock_guard lock(mutex);
            running.erase(i);
        }
    };
    std::vector<std::thread> threads;
    for (int w = 1; w < workers; ++w)
        threads.emplace_back(work);
    work();
    for (std::thread& t : threads)
        t.join();
    if (failure)
        std::rethrow_exception(failure);
    std::map<QString, MaterialPlan> planned;
    for (Job& job : jobs) {
        plan.notCut.insert(plan.notCut.end(), job.notCut.begin(), job.notCut.end());
        planned[job.plan.material] = std::move(job.plan);
    }
    for (auto& [name, materialPlan] : planned)
        plan.materials.push_back(std::move(materialPlan));
    std::erase_if(plan.materials, [](const MaterialPlan& m) { return m.bars.empty(); });
    std::stable_sort(plan.notCut.begin(), plan.notCut.end(), [](const NotCut& a, const NotCut& b) {
        return std::tie(a.billId, a.lineId, a.pieceId) < std::tie(b.billId, b.lineId, b.pieceId);
    });
    return plan;
}

CuttingPlan PlanCuttingList(const CuttingListFilter& filter, double timeLimitPerMaterial) {
    return PlanCuttingOrder(ReadCuttingOrder(filter), timeLimitPerMaterial);
}

qint64 ConfirmCuttingPlan(const CuttingPlan& plan) {
    const auto conflict = [](const QString& what) {
        return StoreError(what + QStringLiteral("下料单没有确认，请重新计算。"), StoreError::Kind::Conflict);
    };
    const QString recorded = QuotedName(QStringLiteral("下料记录"));
    const QString stock = QuotedName(QStringLiteral("余料"));
    auto n = [](const char* name) { return QuotedName(QString::fromUtf8(name)); };
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));

    if (std::none_of(plan.materials.begin(), plan.materials.end(),
                     [](const MaterialPlan& m) { return !m.bars.empty(); }))
        throw StoreError(QStringLiteral("下料单里没有要下料的部件，没有确认。"));

    TransactionScope scope;
    // One confirmation at a time on a server too, so that the second sees what the first recorded
    // and the plan numbers follow one another; in a file the transaction holds the file already.
    if (engine::IsServer())
        engine::ExecRaw(QStringLiteral("LOCK TABLE %1 IN SHARE ROW EXCLUSIVE MODE").arg(recorded));
    qint64 number = 1;
    {
        engine::Statement st(QStringLiteral("SELECT max(%1) FROM %2").arg(n("下料单号"), recorded));
        if (st.step() && !st.value(0).isNull())
            number = st.value(0).toLongLong() + 1;
    }
    const QString source = QStringLiteral("下料单%1").arg(number);

    engine::Statement record(QStringLiteral("INSERT INTO %1 (%2,%3,%4,%5,%6,%7,%8,%9,%10) VALUES (?,?,?,?,?,?,?,?,?)")
                                 .arg(recorded, n("下料单号"), n("下料日期"), n("门框ID"), n("部件ID"), n("序号"),
                                      n("材料名称"), n("长度"), n("原料序号"))
                                 .arg(n("余料ID")));
    engine::Statement offcut(
        QStringLiteral("SELECT %1,%2 FROM %3 WHERE %4=?").arg(n("材料名称"), n("长度"), stock, n("余料ID")));
    engine::Statement remove(QStringLiteral("DELETE FROM %1 WHERE %2=?").arg(stock, n("余料ID")));
    engine::Statement keep(QStringLiteral("INSERT INTO %1 (%2,%3,%4,%5) VALUES (?,?,?,?)")
                               .arg(stock, n("材料名称"), n("长度"), n("来源"), n("入库日期")));

    for (const MaterialPlan& m : plan.materials) {
        for (size_t b = 0; b < m.bars.size(); ++b) {
            const CutBar& bar = m.bars[b];
            if (bar.offcutId != 0) {
                offcut.reset();
                offcut.bind(1, bar.offcutId);
                if (!offcut.step() || offcut.value(0).toString() != m.material ||
                    tenths(offcut.value(1).toDouble()) != bar.length)
                    throw conflict(QStringLiteral("%1的余料%2（%3）已被别人用掉或改动。")
                                       .arg(quoted(m.material))
                                       .arg(bar.offcutId)
                                       .arg(LengthText(bar.length)));
                remove.reset();
                remove.bind(1, bar.offcutId);
                remove.step();
                if (engine::Changes() != 1)
                    throw conflict(
                        QStringLiteral("%1的余料%2已被别人用掉。").arg(quoted(m.material)).arg(bar.offcutId));
            }
            for (const CutPiece& p : bar.pieces) {
                record.reset();
                record.bind(1, number);
                record.bind(2, today);
                record.bind(3, p.lineId);
                record.bind(4, p.pieceId);
                record.bind(5, p.ordinal);
                record.bind(6, m.material);
                record.bind(7, millimetres(p.length));
                record.bind(8, qint64(b + 1));
                record.bind(9, bar.offcutId != 0 ? QVariant(bar.offcutId) : QVariant());
                // The unique key of 下料记录 refuses a piece recorded meanwhile.
                try {
                    record.step();
                } catch (const StoreError& e) {
                    if (e.kind() == StoreError::Kind::Constraint)
                        throw conflict(
                            QStringLiteral("单据%1的%2已在别的工作站确认下料。").arg(p.billId).arg(quoted(p.name)));
                    throw;
                }
            }
            if (bar.kept) {
                keep.reset();
                keep.bind(1, m.material);
                keep.bind(2, millimetres(bar.leftover));
                keep.bind(3, source);
                keep.bind(4, today);
                keep.step();
            }
        }
    }
    scope.Commit();
    return number;
}

std::vector<BarRun> IdenticalBarRuns(const std::vector<CutBar>& bars) {
    const auto same = [](const CutBar& a, const CutBar& b) {
        if ((a.offcutId != 0) != (b.offcutId != 0) || a.length != b.length || a.leftover != b.leftover ||
            a.kept != b.kept || a.pieces.size() != b.pieces.size())
            return false;
        for (size_t i = 0; i < a.pieces.size(); ++i)
            if (a.pieces[i].length != b.pieces[i].length || a.pieces[i].name != b.pieces[i].name ||
                a.pieces[i].billId != b.pieces[i].billId)
                return false;
        return true;
    };
    std::vector<BarRun> runs;
    for (int i = 0; i < int(bars.size()); ++i) {
        if (!runs.empty() && same(bars[size_t(runs.back().first)], bars[size_t(i)]))
            ++runs.back().count;
        else
            runs.push_back({i, 1});
    }
    return runs;
}

QString LengthText(Length length) {
    const Length whole = length / 10, tenth = length % 10;
    if (tenth == 0)
        return QString::number(whole);
    return (length < 0 ? QStringLiteral("-") : QString()) + QString::number(std::abs(whole)) + QLatin1Char('.') +
           QString::number(std::abs(tenth));
}

QString PieceLabel(const CutPiece& piece) {
    return QStringLiteral("%1 %2 (单据%3)").arg(piece.name, LengthText(piece.length)).arg(piece.billId);
}

QByteArray CuttingPlanJson(const CuttingPlan& plan) {
    QByteArray out = "{\"materials\": [";
    for (size_t i = 0; i < plan.materials.size(); ++i) {
        const MaterialPlan& m = plan.materials[i];
        out += i ? ",\n  {" : "\n  {";
        out += "\"material\": ";
        appendJsonString(out, m.material);
        out += ", \"stock_length\": " + jsonLength(m.stockLength) + ", \"kerf\": " + jsonLength(m.kerf) +
               ", \"trim\": " + jsonLength(m.trim) + ", \"min_offcut\": " + jsonLength(m.minOffcut) +
               ", \"lower_bound\": " + QByteArray::number(m.lowerBound) +
               ", \"new_bars\": " + QByteArray::number(m.newBars) +
               ", \"offcuts_used\": " + QByteArray::number(m.offcutsUsed) + ", \"bars\": [";
        for (size_t b = 0; b < m.bars.size(); ++b) {
            const CutBar& bar = m.bars[b];
            out += b ? ",\n    {" : "\n    {";
            out += "\"source\": " + (bar.offcutId ? QByteArray::number(bar.offcutId) : QByteArray("\"stock\"")) +
                   ", \"length\": " + jsonLength(bar.length) + ", \"pieces\": [";
            for (size_t p = 0; p < bar.pieces.size(); ++p) {
                const CutPiece& piece = bar.pieces[p];
                out += p ? ", {" : "{";
                out += "\"bill\": " + QByteArray::number(piece.billId) +
                       ", \"line\": " + QByteArray::number(piece.lineId) + ", \"piece\": ";
                appendJsonString(out, piece.name);
                out += ", \"length\": " + jsonLength(piece.length) + "}";
            }
            out +=
                "], \"leftover\": " + jsonLength(bar.leftover) + ", \"kept\": " + (bar.kept ? "true" : "false") + "}";
        }
        out += "]}";
    }
    out += "],\n \"not_cut\": [";
    for (size_t i = 0; i < plan.notCut.size(); ++i) {
        const NotCut& n = plan.notCut[i];
        out += i ? ",\n  {" : "\n  {";
        out += "\"bill\": " + QByteArray::number(n.billId) + ", \"line\": " + QByteArray::number(n.lineId) +
               ", \"piece\": ";
        if (n.piece.isEmpty() && n.pieceId == 0)
            out += "null";
        else
            appendJsonString(out, n.piece);
        out += ", \"reason\": ";
        appendJsonString(out, n.reason);
        out += "}";
    }
    out += "]}\n";
    return out;
}

} // namespace kvt
