// Four weeks of the demo workshop's bills, as its clerk entered them: the frame sizes computed from
// the products' formulas when the lines were typed, and where the openings have been measured, the
// door leaves and the glass worked out from the measured sizes, as the bill window does on Enter.
#include "app/DemoBills.h"

#include "bill/BillFormula.h"
#include "bill/DoorLeafSizes.h"
#include "expcalc/LineFormula.h"
#include "store/DataQuery.h"
#include "store/Database.h"
#include "store/StoreError.h"

#include <QHash>

namespace kvt {
namespace {

struct DemoLine {
    const char* product; ///< the product's custom number
    const char* glass;
    int width, height, buried, quantity;
    const char* extra;
    const char* remark;
    int measuredWidth = 0, measuredHeight = 0; ///< 0: the opening is not measured yet
};

struct DemoBill {
    int daysAgo;
    const char* client;    ///< the client's custom number
    const char* installer; ///< the installer's custom number
    const char* address;
    std::initializer_list<DemoLine> lines;
};

// Oldest first, as they were numbered. The older bills are measured and worked out; a 垭口套 has
// no door leaf, so its measured opening stays among the door leaves not worked out; the last two
// weeks' openings are mostly still to be measured.
const DemoBill kBills[] = {
    {27,
     "1",
     "91",
     "西湖区文三路88号3单元502",
     {{"101", "磨砂", 900, 2100, 20, 1, "正门线加2斗", "主卧", 905, 2112},
      {"101", "磨砂", 850, 2100, 20, 1, "无", "次卧", 856, 2108},
      {"401", "", 1500, 2200, 15, 1, "无", "客厅垭口", 1506, 2210}}},
    {25,
     "3",
     "92",
     "滨江区江南大道1001号",
     {{"201", "平板", 860, 2080, 10, 3, "无", "卧室", 866, 2090},
      {"202", "磨砂", 800, 2200, 5, 1, "无", "阳台", 808, 2206}}},
    {23,
     "2",
     "91",
     "拱墅区莫干山路56号1201",
     {{"102", "雕花", 1200, 2100, 20, 1, "正门线", "入户", 1206, 2110},
      {"301", "长虹", 800, 2050, 15, 2, "无", "厨房、卫生间", 804, 2058}}},
    {21,
     "4",
     "92",
     "上城区清泰街300号",
     {{"101", "长虹", 800, 2000, 20, 1, "无", "书房", 807, 2010},
      {"301", "磨砂", 750, 2000, 15, 1, "无", "卫生间", 752, 2006}}},
    {19,
     "3",
     "91",
     "余杭区文一西路998号样板间",
     {{"101", "平板", 900, 2100, 20, 2, "无", "卧室", 903, 2109},
      {"201", "平板", 800, 2050, 10, 1, "无", "储藏间", 805, 2058}}},
    {16, "1", "92", "西湖区文三路88号3单元502", {{"301", "长虹", 700, 2000, 15, 1, "无", "阳台小门", 705, 2008}}},
    {14,
     "2",
     "92",
     "拱墅区莫干山路56号1201",
     {{"202", "长虹", 900, 2250, 5, 1, "无", "厨房推拉", 910, 2256},
      {"401", "", 1200, 2200, 15, 1, "无", "餐厅垭口", 1204, 2206}}},
    {12,
     "4",
     "91",
     "上城区清泰街300号",
     {{"102", "雕花", 1300, 2150, 20, 1, "正门线加2斗", "入户", 1305, 2160},
      {"101", "磨砂", 850, 2050, 20, 1, "无", "次卧"}}},
    {9,
     "3",
     "92",
     "萧山区市心路128号",
     {{"101", "平板", 900, 2100, 20, 3, "无", "卧室"}, {"301", "磨砂", 800, 2050, 15, 2, "无", "卫生间"}}},
    {7, "2", "91", "滨江区闻涛路22号", {{"101", "长虹", 880, 2080, 20, 1, "无", "主卧", 884, 2091}}},
    {5,
     "1",
     "91",
     "余杭区良渚文化村7幢",
     {{"102", "雕花", 1200, 2100, 20, 1, "正门线", "入户"},
      {"201", "平板", 820, 2050, 10, 2, "无", "卧室"},
      {"401", "", 1500, 2200, 15, 1, "无", "客厅垭口"}}},
    {3, "4", "92", "上城区清泰街300号", {{"301", "长虹", 780, 2000, 15, 1, "无", "厨房"}}},
    {2,
     "3",
     "91",
     "西湖区天目山路200号",
     {{"202", "磨砂", 850, 2200, 5, 1, "无", "阳台"}, {"101", "平板", 900, 2100, 20, 4, "无", "卧室"}}},
    {0, "2", "92", "滨江区闻涛路22号", {{"101", "磨砂", 860, 2100, 20, 1, "无", "书房"}}},
};

struct Product {
    QString id, name, frameWidth, frameHeight;
    DoorLeafFormulas leaf;
};

struct Person {
    QString id, name;
};

/// The open database's rows of a table by custom number, each made by make from the current row.
template <class T, class Make> QHash<QString, T> byNumber(const QString& table, Make make) {
    DataQuery q;
    q.SetSql(QStringLiteral("select * from ") + table);
    q.Open();
    QHash<QString, T> out;
    for (int r = 1; r <= q.RowCount(); ++r) {
        q.MoveToRow(r);
        out.insert(q.Field(QStringLiteral("自定义编号")).asString(), make(q));
    }
    return out;
}

template <class T> const T& named(const QHash<QString, T>& rows, const char* number) {
    const auto it = rows.constFind(QString::fromUtf8(number));
    if (it == rows.constEnd())
        throw StoreError(QStringLiteral("演示数据中没有编号为%1的记录").arg(QString::fromUtf8(number)));
    return it.value();
}

/// The frame layout's cells of a typed line, 总宽 and 总高 computed as Enter in 见光宽 and 埋地 does.
QStringList frameRow(const DemoLine& line, const Product& p) {
    static const QStringList titles = [] {
        QStringList t;
        for (const char* title : expcalc::FrameTitles)
            t << QString::fromUtf8(title);
        return t;
    }();
    QStringList row{QString(),
                    QString::fromUtf8(line.product),
                    p.name,
                    QString::fromUtf8(line.glass),
                    QString::number(line.width),
                    QString::number(line.height),
                    QString::number(line.buried),
                    QStringLiteral("0"),
                    QStringLiteral("0"),
                    QString::number(line.quantity),
                    QString::fromUtf8(line.extra),
                    QString::fromUtf8(line.remark),
                    p.id};
    if (!p.frameWidth.isEmpty() && row[4] != QLatin1String("0"))
        row[7] = evaluateSize(p.frameWidth, titles, row);
    if (!p.frameHeight.isEmpty() && row[6] != QLatin1String("0"))
        row[8] = evaluateSize(p.frameHeight, titles, row);
    return row;
}

/// The door-leaf layout's cells of a line once its opening was measured: Enter in 现量宽, then in
/// 现量高, each working out the leaf and the glass from the formulas.
QStringList doorLeafCells(const QStringList& frame, const DemoLine& line, const Product& p) {
    QStringList row{QString(),
                    frame[1],
                    frame[2],
                    frame[9],
                    frame[3],
                    frame[4],
                    frame[5],
                    QStringLiteral("0"),
                    QStringLiteral("0"),
                    QStringLiteral("0"),
                    QStringLiteral("0"),
                    QStringLiteral("0"),
                    QStringLiteral("0"),
                    frame[10],
                    frame[11],
                    frame[7],
                    frame[8],
                    QString(),
                    frame[12]};
    row[7] = QString::number(line.measuredWidth);
    fillDoorLeafSizes(row, p.leaf, true);
    row[8] = QString::number(line.measuredHeight);
    fillDoorLeafSizes(row, p.leaf, false);
    return row;
}

} // namespace

int SeedDemoBills(const QDate& today) {
    TransactionScope scope;
    const auto products = byNumber<Product>(QStringLiteral("商品信息"), [](DataQuery& q) {
        return Product{q.Field(QStringLiteral("商品ID")).asString(), q.Field(QStringLiteral("商品名称")).asString(),
                       q.Field(QStringLiteral("外框宽公式")).asString(),
                       q.Field(QStringLiteral("外框高公式")).asString(), doorLeafFormulas(q)};
    });
    const auto people = byNumber<Person>(QStringLiteral("客户信息"), [](DataQuery& q) {
        return Person{q.Field(QStringLiteral("客户ID")).asString(), q.Field(QStringLiteral("客户名")).asString()};
    });

    DataQuery counter;
    counter.SetSql(QStringLiteral("select * from 系统设置 where ID=\"历史单据ID\""));
    counter.Open();
    qint64 number = counter.Field(QStringLiteral("值")).asInteger();
    int written = 0;
    for (const DemoBill& b : kBills) {
        const QString billId = QString::number(number++);
        const Person& installer = named(people, b.installer);
        DataQuery header;
        header.SetSql(QStringLiteral("select * from 历史单据 where 单据ID=") + billId);
        header.Open();
        header.AppendRow();
        header.Field(QStringLiteral("单据ID")).setString(billId);
        header.Field(QStringLiteral("客户ID")).setString(named(people, b.client).id);
        header.Field(QStringLiteral("客户地址")).setString(QString::fromUtf8(b.address));
        header.Field(QStringLiteral("单据日期")).setString(today.addDays(-b.daysAgo).toString(Qt::ISODate));
        header.Field(QStringLiteral("安装人员ID")).setString(installer.id);
        header.Field(QStringLiteral("安装人员")).setString(installer.name);
        header.ApplyUpdates();

        DataQuery lines;
        lines.SetSql(QStringLiteral("select * from 单据明细 where 单据ID=") + billId);
        lines.Open();
        for (const DemoLine& line : b.lines) {
            const Product& p = named(products, line.product);
            const QStringList frame = frameRow(line, p);
            lines.AppendRow();
            lines.Field(QStringLiteral("单据ID")).setString(billId);
            const std::pair<const char*, int> frameFields[] = {
                {"商品ID", 12}, {"玻璃款式", 3}, {"门框附加", 10}, {"门框备注", 11}, {"见光宽", 4},
                {"见光高", 5},  {"门框总宽", 7}, {"门框总高", 8},  {"埋地", 6},      {"数量", 9}};
            for (const auto& [field, column] : frameFields)
                lines.Field(QString::fromUtf8(field)).setString(frame[column]);
            if (line.measuredWidth > 0) {
                const QStringList leaf = doorLeafCells(frame, line, p);
                const std::pair<const char*, int> leafFields[] = {{"现量宽", 7},  {"现量高", 8},  {"门扇宽", 9},
                                                                  {"门扇高", 10}, {"玻璃宽", 11}, {"玻璃高", 12}};
                for (const auto& [field, column] : leafFields)
                    lines.Field(QString::fromUtf8(field)).setString(leaf[column]);
            }
            lines.PostRow();
        }
        lines.ApplyUpdates();
        ++written;
    }
    counter.EditRow();
    counter.Field(QStringLiteral("值")).setInteger(number);
    counter.ApplyUpdates();
    scope.Commit();
    return written;
}

} // namespace kvt
