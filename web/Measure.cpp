#include "web/Measure.h"

#include "bill/DoorLeafSizes.h"
#include "store/DataQuery.h"
#include "store/Database.h"

#include <QHashFunctions>
#include <QRegularExpression>

namespace kvt::web {
namespace {

const QString kLightWidth = QStringLiteral("见光宽");
const QString kMeasuredWidth = QStringLiteral("现量宽");
const QString kMeasuredHeight = QStringLiteral("现量高");

/// Stands for every value of a line (the first columns of its row, those of 单据明细) as text, the
/// way the bill window shows and writes them: an empty text and no value are the same. Not a secret
/// (the form token guards the form): two 64-bit hashes, so that any change meanwhile is seen.
QByteArray fingerprintOf(const DataQuery& lines, int row, int columns) {
    // One buffer for every line: it keeps its room between them.
    static thread_local QByteArray texts;
    texts.resize(0);
    for (int c = 0; c < columns; ++c) {
        lines.AppendTextAt(row, c, texts);
        texts += '\x1f';
    }
    const quint64 halves[2] = {quint64(qHashBits(texts.constData(), size_t(texts.size()), 0x6b767477)),
                               quint64(qHashBits(texts.constData(), size_t(texts.size()), 0x6d656173))};
    return QByteArray::fromRawData(reinterpret_cast<const char*>(halves), sizeof halves)
        .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

struct Product {
    QString number, name;
    DoorLeafFormulas formulas;
};

/// The products of the lines' 商品ID column with their formulas, read for these alone.
QHash<qint64, Product> productsOf(const DataQuery& lines) {
    QStringList ids;
    const int column = lines.FieldIndex(QStringLiteral("商品ID"));
    for (int r = 1; r <= lines.RowCount(); ++r)
        if (!lines.ValueAt(r, column).isNull())
            ids << QString::number(lines.ValueAt(r, column).toLongLong());
    QHash<qint64, Product> products;
    if (ids.isEmpty())
        return products;
    ids.removeDuplicates();
    DataQuery q;
    q.SetSql(productsSql(ids));
    q.Open();
    const int id = q.FieldIndex(QStringLiteral("商品ID")), number = q.FieldIndex(QStringLiteral("自定义编号")),
              name = q.FieldIndex(QStringLiteral("商品名称"));
    for (int r = 1; r <= q.RowCount(); ++r) {
        q.MoveToRow(r);
        products.insert(q.ValueAt(r, id).toLongLong(), {q.TextAt(r, number), q.TextAt(r, name), doorLeafFormulas(q)});
    }
    return products;
}

/// Where a line query holds what a page shows of a line; the product's name follows the line's own
/// columns.
struct LineColumns {
    explicit LineColumns(const DataQuery& q)
        : id(q.FieldIndex(QStringLiteral("门框ID"))), product(q.FieldIndex(QStringLiteral("商品ID"))),
          productName(q.FieldIndex(QStringLiteral("商品名称"))), lightWidth(q.FieldIndex(kLightWidth)),
          lightHeight(q.FieldIndex(QStringLiteral("见光高"))), buried(q.FieldIndex(QStringLiteral("埋地"))),
          remark(q.FieldIndex(QStringLiteral("门框备注"))), measuredWidth(q.FieldIndex(kMeasuredWidth)),
          measuredHeight(q.FieldIndex(kMeasuredHeight)) {}
    int id, product, productName, lightWidth, lightHeight, buried, remark, measuredWidth, measuredHeight;
};

MeasureLine lineOf(const DataQuery& lines, const LineColumns& c, int row, bool fingerprint) {
    MeasureLine l;
    l.id = lines.ValueAt(row, c.id).toLongLong();
    l.hasProduct = lines.ValueAt(row, c.product).toLongLong() != 0;
    l.product = lines.TextAt(row, c.productName);
    l.lightWidth = lines.TextAt(row, c.lightWidth);
    l.lightHeight = lines.TextAt(row, c.lightHeight);
    l.buried = lines.TextAt(row, c.buried);
    l.remark = lines.TextAt(row, c.remark);
    l.measuredWidth = lines.TextAt(row, c.measuredWidth);
    l.measuredHeight = lines.TextAt(row, c.measuredHeight);
    if (fingerprint)
        l.fingerprint = fingerprintOf(lines, row, c.productName);
    return l;
}

/// A size as the cells of the bill grid hold it: plain decimal, no trailing zeros.
QString sizeCell(const QString& typed) {
    return QString::number(typed.trimmed().toDouble(), 'g', 15);
}

} // namespace

const QString kOpenLine = QStringLiteral("(现量宽=0) and (见光宽<>0)");

QString unmeasuredBillsSql(bool searching) {
    QString where = QStringLiteral(" where exists (select 1 from 单据明细 where 单据明细.单据ID=历史单据.单据ID and ") +
                    kOpenLine + QLatin1Char(')');
    if (searching)
        where += QStringLiteral(" and (客户名 like ? escape \"\\\" or 客户地址 like ? escape \"\\\")");
    return QStringLiteral("select 历史单据.单据ID,单据日期,客户名,客户地址 from 历史单据 left join 客户信息 on "
                          "历史单据.客户ID=客户信息.客户ID") +
           where + QStringLiteral(" order by 单据日期 desc,历史单据.单据ID desc limit %1").arg(kListedBills + 1);
}

QString searchPattern(const QString& text) {
    QString pattern = QStringLiteral("%");
    pattern.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('%') || c == QLatin1Char('_'))
            pattern += QLatin1Char('\\');
        pattern += c;
    }
    return pattern + QLatin1Char('%');
}

QString unmeasuredLinesSql(const QStringList& billIds) {
    return QStringLiteral(
               "select 单据明细.单据ID,门框ID,单据明细.商品ID,商品名称,见光宽,见光高,埋地,门框备注,现量宽,现量高 "
               "from 单据明细 left join 商品信息 on 单据明细.商品ID=商品信息.商品ID where 单据明细.单据ID in (") +
           billIds.join(QLatin1Char(',')) + QStringLiteral(") and ") + kOpenLine + QStringLiteral(" order by 门框ID");
}

QString billHeaderSql(qint64 billId) {
    return QStringLiteral("select 单据ID,单据日期,客户名,客户地址 from 历史单据 left join 客户信息 on "
                          "历史单据.客户ID=客户信息.客户ID where 单据ID=") +
           QString::number(billId);
}

QString billLinesSql(qint64 billId) {
    return QStringLiteral("select * from 单据明细 where 单据ID=") + QString::number(billId) +
           QStringLiteral(" order by 门框ID");
}

QString billLinesShownSql(qint64 billId) {
    return QStringLiteral(
               "select 单据明细.*,商品名称 from 单据明细 left join 商品信息 on 单据明细.商品ID=商品信息.商品ID "
               "where 单据明细.单据ID=") +
           QString::number(billId) + QStringLiteral(" order by 门框ID");
}

QString productsSql(const QStringList& productIds) {
    return QStringLiteral("select * from 商品信息 where 商品ID in (") + productIds.join(QLatin1Char(',')) +
           QLatin1Char(')');
}

QList<MeasureBill> unmeasuredBills(const QString& search, bool* more) {
    DataQuery bills;
    const QString typed = search.trimmed();
    bills.SetSql(unmeasuredBillsSql(!typed.isEmpty()));
    if (!typed.isEmpty())
        bills.SetParameters({searchPattern(typed), searchPattern(typed)});
    bills.Open();
    if (more)
        *more = bills.RowCount() > kListedBills;
    QList<MeasureBill> out;
    QStringList ids;
    QHash<qint64, int> position;
    for (int r = 1; r <= std::min(bills.RowCount(), kListedBills); ++r) {
        MeasureBill b;
        b.id = bills.ValueAt(r, 0).toLongLong();
        b.date = bills.TextAt(r, 1);
        b.client = bills.TextAt(r, 2);
        b.address = bills.TextAt(r, 3);
        position.insert(b.id, int(out.size()));
        ids << QString::number(b.id);
        out << b;
    }
    if (ids.isEmpty())
        return out;
    DataQuery lines;
    lines.SetSql(unmeasuredLinesSql(ids));
    lines.Open();
    const int bill = lines.FieldIndex(QStringLiteral("单据ID"));
    const LineColumns columns(lines);
    for (int r = 1; r <= lines.RowCount(); ++r)
        out[position.value(lines.ValueAt(r, bill).toLongLong())].lines << lineOf(lines, columns, r, false);
    return out;
}

std::optional<MeasureBill> measureBill(qint64 billId) {
    DataQuery header;
    header.SetSql(billHeaderSql(billId));
    header.Open();
    if (header.RowCount() == 0)
        return std::nullopt;
    MeasureBill b;
    b.id = billId;
    b.date = header.TextAt(1, 1);
    b.client = header.TextAt(1, 2);
    b.address = header.TextAt(1, 3);
    DataQuery lines;
    lines.SetSql(billLinesShownSql(billId));
    lines.Open();
    const LineColumns columns(lines);
    b.lines.reserve(lines.RowCount());
    for (int r = 1; r <= lines.RowCount(); ++r)
        b.lines.append(lineOf(lines, columns, r, true));
    return b;
}

QString sizeProblem(const QString& text) {
    static const QRegularExpression number(QStringLiteral("^[0-9]{1,5}(\\.[0-9]{1,3})?$"));
    const QString t = text.trimmed();
    if (t.isEmpty())
        return QString();
    if (!number.match(t).hasMatch())
        return QStringLiteral("不是数字，请填写毫米数，如 905 或 905.5");
    const double v = t.toDouble();
    if (v < 1 || v > 10000)
        return QStringLiteral("须在1到10000毫米之间");
    return QString();
}

SaveOutcome saveMeasurements(qint64 billId, const QList<TypedLine>& typed) {
    SaveOutcome outcome;
    for (const TypedLine& t : typed) {
        for (const auto& [prefix, text] : {std::pair{'w', &t.width}, std::pair{'h', &t.height}}) {
            const QString problem = sizeProblem(*text);
            if (!problem.isEmpty())
                outcome.errors.insert(QLatin1Char(prefix) + QString::number(t.id), problem);
        }
    }
    if (!outcome.errors.isEmpty()) {
        outcome.kind = SaveOutcome::Kind::Invalid;
        return outcome;
    }

    TransactionScope tx;
    DataQuery header;
    header.SetSql(QStringLiteral("select 单据ID from 历史单据 where 单据ID=") + QString::number(billId));
    header.Open();
    if (header.RowCount() == 0) {
        outcome.kind = SaveOutcome::Kind::NoBill;
        return outcome;
    }
    DataQuery lines;
    lines.SetSql(billLinesSql(billId));
    lines.Open();
    QHash<qint64, int> rowOf;
    const int key = lines.FieldIndex(QStringLiteral("门框ID"));
    for (int r = 1; r <= lines.RowCount(); ++r)
        rowOf.insert(lines.ValueAt(r, key).toLongLong(), r);
    // A line changed since the page was loaded stops the save, unless it holds the very sizes typed
    // for it: then this form was sent before (a second tap, a page sent again) and nothing of it
    // stands to be lost.
    const int measuredWidth = lines.FieldIndex(kMeasuredWidth), measuredHeight = lines.FieldIndex(kMeasuredHeight);
    const auto holdsTyped = [&](const TypedLine& t, int r) {
        const auto same = [](const QString& typed, const QString& stored) {
            return typed.trimmed().isEmpty() || sizeCell(typed) == sizeCell(stored);
        };
        return (!t.width.trimmed().isEmpty() || !t.height.trimmed().isEmpty()) &&
               same(t.width, lines.TextAt(r, measuredWidth)) && same(t.height, lines.TextAt(r, measuredHeight));
    };
    QList<qint64> ownChanges;
    for (const TypedLine& t : typed) {
        const int r = rowOf.value(t.id);
        if (r == 0 || fingerprintOf(lines, r, lines.FieldCount()) != t.fingerprint)
            (r != 0 && holdsTyped(t, r) ? ownChanges : outcome.changed) << t.id;
    }
    if (!outcome.changed.isEmpty()) {
        outcome.kind = SaveOutcome::Kind::Conflict;
        outcome.changed += ownChanges;
        return outcome;
    }
    outcome.alreadyStored = int(ownChanges.size());

    const QHash<qint64, Product> products = productsOf(lines);
    static const QStringList written = {kMeasuredWidth,           kMeasuredHeight,          QStringLiteral("门扇宽"),
                                        QStringLiteral("门扇高"), QStringLiteral("玻璃宽"), QStringLiteral("玻璃高")};
    for (const TypedLine& t : typed) {
        const int r = rowOf.value(t.id);
        lines.MoveToRow(r);
        QStringList cells;
        const qint64 productId = lines.Field(QStringLiteral("商品ID")).asInteger();
        const auto product = products.constFind(productId);
        cells = doorLeafRow(lines, product == products.constEnd() ? QString() : product->number,
                            product == products.constEnd() ? QString() : product->name);
        const bool width = !t.width.trimmed().isEmpty() && sizeCell(t.width) != cells[7];
        const bool height = !t.height.trimmed().isEmpty() && sizeCell(t.height) != cells[8];
        if (!width && !height)
            continue;
        if (productId == 0) {
            outcome.errors.insert(QLatin1Char(width ? 'w' : 'h') + QString::number(t.id),
                                  QStringLiteral("这一行没有商品，不能填写"));
            continue;
        }
        // As in the bill window: the width's Enter first, then the height's, each on the line as
        // it stands then.
        if (width) {
            cells[7] = sizeCell(t.width);
            if (product != products.constEnd())
                fillDoorLeafSizes(cells, product->formulas, true);
        }
        if (height) {
            cells[8] = sizeCell(t.height);
            if (product != products.constEnd())
                fillDoorLeafSizes(cells, product->formulas, false);
        }
        lines.EditRow();
        for (const QString& f : written)
            lines.Field(f).setString(cells[7 + int(written.indexOf(f))]);
        lines.PostRow();
        ++outcome.written;
    }
    if (!outcome.errors.isEmpty()) {
        outcome.kind = SaveOutcome::Kind::Invalid;
        outcome.written = 0;
        outcome.alreadyStored = 0;
        return outcome;
    }
    try {
        lines.ApplyUpdates();
        tx.Commit();
    } catch (const StoreError& e) {
        if (e.kind() != StoreError::Kind::Conflict)
            throw;
        outcome.kind = SaveOutcome::Kind::Conflict;
        outcome.written = 0;
        outcome.alreadyStored = 0;
        for (const TypedLine& t : typed)
            outcome.changed << t.id;
    }
    return outcome;
}

} // namespace kvt::web
