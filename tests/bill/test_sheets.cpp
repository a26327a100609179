// The production sheets, drawn on a recording surface and once each into a real PDF.

#include "bill/BillSheets.h"
#include "support/PdfWords.h"
#include "support/RecordingSurface.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace kvt;
using kvt::test::RecordingSurface;
using Op = RecordingSurface::Op;

namespace {

const QStringList kFrameTitles = {"",     "编号", "商品名称", "玻璃款式", "见光宽", "见光高", "埋地",
                                  "总宽", "总高", "数量",     "门框附加", "备注",   "商品ID"};
const QStringList kDoorLeafTitles = {"",         "编号",     "商品名称", "数量",   "玻璃款式", "见光宽", "见光高",
                                     "现量宽",   "现量高",   "门扇宽",   "门扇高", "玻璃宽",   "玻璃高", "门框附加",
                                     "门框备注", "门框总宽", "门框总高", "门框ID", "商品ID"};

BillSnapshot bill(const QString& type, const QStringList& titles, const QList<QStringList>& lines) {
    BillSnapshot b;
    b.billType = type;
    b.client = "张记建材";
    b.address = "东门路8号";
    b.date = "2024-03-05";
    b.installer = "李师傅";
    b.billId = "1024";
    b.cells << titles;
    for (QStringList line : lines) {
        line.prepend("");
        while (line.size() < titles.size())
            line << "";
        b.cells << line;
    }
    return b;
}

/// A frame line: product name, glass, sizes, quantity, extra, remark, product id.
QStringList frameLine(const QString& name, const QString& id) {
    return {"A1", name, "雕花", "800", "2000", "30", "860", "2060", "2", "套线", "急", id};
}

QStringList doorLeafLine(const QString& name, const QString& leafWidth, const QString& id) {
    // 编号 名称 数量 款式 见光宽 见光高 现量宽 现量高 门扇宽 门扇高 玻璃宽 玻璃高 附加 备注 框宽 框高 框ID 商品ID
    return {"B7",   name,  "3",    "磨砂", "700",  "1900", "760",  "2010", leafWidth,
            "1990", "500", "1500", "套线", "左开", "820",  "2080", "55",   id};
}

constexpr int kDpi = 1200;
constexpr int kD = 47; // dots per mm at 1200 dpi

RecordingSurface landscapeSurface() {
    RecordingSurface s;
    s.dpi = kDpi;
    s.orient = PrintSurface::Orientation::Landscape;
    return s;
}

/// Texts drawn with their boxes starting inside a band (band 0 is the heading).
QList<RecordingSurface::Call> band(const RecordingSurface& s, int k) {
    QList<RecordingSurface::Call> out;
    const int top = (40 + 12 * k + 1) * kD;
    for (const auto& c : s.ofOp(Op::TextRect))
        if (c.box.top() == top)
            out << c;
    return out;
}

QStringList textsOf(const QList<RecordingSurface::Call>& calls) {
    QStringList out;
    for (const auto& c : calls)
        out << c.text;
    return out;
}

} // namespace

class TestSheets : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QFont::insertSubstitution("宋体", "AR PL UMing CN"); }

    void dotsPerMm_data() {
        QTest::addColumn<int>("dpi");
        QTest::addColumn<int>("d");
        QTest::newRow("300") << 300 << 12;        // 11.81
        QTest::newRow("600") << 600 << 24;        // 23.62
        QTest::newRow("1200") << 1200 << 47;      // 47.24
        QTest::newRow("96") << 96 << 4;           // 3.78
        QTest::newRow("tie to even") << 127 << 5; // 5.0 exactly
        QTest::newRow("381 is 15") << 381 << 15;
    }
    void dotsPerMm() {
        QFETCH(int, dpi);
        QFETCH(int, d);
        QCOMPARE(DotsPerMm(dpi), d);
    }

    void header_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("xMm"); // -1: centred
        QTest::addColumn<int>("yMm");
        QTest::addColumn<int>("heightMm");
        for (const auto& [type, title, h] : {std::tuple{"1", "门框生产排单", 5}, {"2", "---门扇生产排单---", 4}}) {
            const QByteArray t = QByteArray(type == QString("1") ? "frame " : "door leaf ");
            QTest::newRow(t + "title") << type << title << -1 << 10 << 10;
            QTest::newRow(t + "number") << type << "单据编号:1024" << 220 << 19 << h;
            QTest::newRow(t + "client") << type << "客户名称:张记建材" << 10 << 26 << h;
            QTest::newRow(t + "date") << type << "单据日期:2024-03-05" << 220 << 26 << h;
            QTest::newRow(t + "address") << type << "送货地址:东门路8号" << 10 << 33 << h;
            QTest::newRow(t + "installer") << type << "安装人员:李师傅" << 220 << 33 << h;
        }
    }
    void header() {
        QFETCH(QString, type);
        QFETCH(QString, text);
        QFETCH(int, xMm);
        QFETCH(int, yMm);
        QFETCH(int, heightMm);
        RecordingSurface s = landscapeSurface();
        PrintBillSheet(s, bill(type, type == "1" ? kFrameTitles : kDoorLeafTitles, {}));
        const auto c = s.text(text);
        QCOMPARE(c.op, Op::TextOut);
        QCOMPARE(c.fontHeight, heightMm * kD);
        QCOMPARE(c.fontName, QString("宋体"));
        s.cellHeight = c.fontHeight; // measure the title in its own font
        const int x = xMm >= 0 ? xMm * kD : s.pageWidth() / 2 - s.textWidth(text) / 2;
        QCOMPARE(c.at, QPoint(x, yMm * kD));
    }

    void oneJobOfOnePage_data() {
        QTest::addColumn<QString>("type");
        QTest::newRow("frame new") << "1";
        QTest::newRow("door leaf") << "2";
        QTest::newRow("frame saved") << "3";
    }
    void oneJobOfOnePage() {
        QFETCH(QString, type);
        RecordingSurface s = landscapeSurface();
        PrintBillSheet(s, bill(type, type == "2" ? kDoorLeafTitles : kFrameTitles, {}));
        QCOMPARE(s.count(Op::BeginJob), 1);
        QCOMPARE(s.count(Op::EndJob), 1);
        QCOMPARE(s.count(Op::NewPage), 0);
        QCOMPARE(s.calls.last().op, Op::EndJob);
    }

    void ruling_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("right");
        QTest::addColumn<QList<int>>("edges");
        const QList<int> frameEdges{10, 70, 95, 127, 139, 171, 183, 235, 280};
        const QList<int> leafEdges{10, 60, 80, 104, 128, 152, 163, 187, 211, 237, 282};
        QTest::newRow("frame, no lines") << "1" << 0 << 280 << frameEdges;
        QTest::newRow("frame, three lines") << "1" << 3 << 280 << frameEdges;
        QTest::newRow("door leaf, no lines") << "2" << 0 << 282 << leafEdges;
        QTest::newRow("door leaf, two lines") << "2" << 2 << 282 << leafEdges;
    }
    void ruling() {
        QFETCH(QString, type);
        QFETCH(int, lines);
        QFETCH(int, right);
        QFETCH(QList<int>, edges);
        QList<QStringList> rows;
        for (int i = 0; i < lines; ++i)
            rows << (type == "1" ? frameLine("门", "7") : doorLeafLine("门", "900", "7"));
        RecordingSurface s = landscapeSurface();
        PrintBillSheet(s, bill(type, type == "1" ? kFrameTitles : kDoorLeafTitles, rows));

        const int bands = lines + 1;
        QList<QLine> expected;
        expected << QLine(10 * kD, 40 * kD, right * kD, 40 * kD);
        for (int k = 0; k < bands; ++k)
            expected << QLine(10 * kD, (52 + 12 * k) * kD, right * kD, (52 + 12 * k) * kD);
        for (int x : edges)
            expected << QLine(x * kD, 40 * kD, x * kD, (40 + 12 * bands) * kD);
        QList<QLine> drawn;
        for (const auto& c : s.lines()) {
            drawn << QLine(c.at, c.to);
            QCOMPARE(c.penWidth, 9); // 0.2 mm of 47 dots
        }
        QCOMPARE(drawn, expected);
    }

    void frameCells_data() {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("heading");
        QTest::addColumn<int>("boxLeft");
        QTest::addColumn<int>("boxRight");
        QTest::addColumn<int>("textX");
        QTest::addColumn<int>("headingX");
        QTest::newRow("name") << 0 << "实木门"
                              << "       商品名称" << 11 << 69 << 12 << 12;
        QTest::newRow("glass") << 1 << "雕花"
                               << "玻璃款式" << 71 << 92 << 71 << 71;
        QTest::newRow("visible size") << 2 << "800×2000"
                                      << "  见光宽高" << 96 << 126 << 97 << 97;
        QTest::newRow("buried, grid title 1 mm left") << 3 << "30"
                                                      << "埋地" << 128 << 138 << 129 << 128;
        QTest::newRow("total size") << 4 << "860×2060"
                                    << "   总宽高" << 140 << 170 << 141 << 141;
        QTest::newRow("quantity, grid title 1 mm left") << 5 << "2"
                                                        << "数量" << 172 << 182 << 173 << 172;
        QTest::newRow("extra") << 6 << "套线"
                               << "     门框附加" << 184 << 233 << 185 << 185;
        QTest::newRow("remark") << 7 << "急"
                                << "      备注" << 236 << 278 << 237 << 237;
    }
    void frameCells() {
        QFETCH(int, column);
        QFETCH(QString, value);
        QFETCH(QString, heading);
        QFETCH(int, boxLeft);
        QFETCH(int, boxRight);
        QFETCH(int, textX);
        QFETCH(int, headingX);
        RecordingSurface s = landscapeSurface();
        PrintFrameSheet(s, bill("1", kFrameTitles, {frameLine("实木门", "7")}));

        const auto row = band(s, 1);
        const auto head = band(s, 0);
        QCOMPARE(row.size(), 8);
        QCOMPARE(head.size(), 8);
        const QRect box(QPoint(boxLeft * kD, 53 * kD), QPoint(boxRight * kD - 1, 62 * kD - 1));
        QCOMPARE(row[column].text, value);
        QCOMPARE(row[column].box, box);
        QCOMPARE(row[column].at, QPoint(textX * kD, 56 * kD));
        QCOMPARE(row[column].fontHeight, 5 * kD);
        QCOMPARE(head[column].text, heading);
        QCOMPARE(head[column].box, box.translated(0, -12 * kD));
        QCOMPARE(head[column].at, QPoint(headingX * kD, 44 * kD));
    }

    void frameHeadingDrawnAfterRows() {
        RecordingSurface s = landscapeSurface();
        PrintFrameSheet(s, bill("1", kFrameTitles, {frameLine("甲", "1"), frameLine("乙", "2")}));
        const auto rects = s.ofOp(Op::TextRect);
        QCOMPARE(rects.size(), 24);
        QCOMPARE(rects[16].text, QString("       商品名称"));
    }

    void skippedRows_data() {
        QTest::addColumn<QString>("type");
        QTest::newRow("frame") << "1";
        QTest::newRow("door leaf") << "2";
    }
    void skippedRows() {
        QFETCH(QString, type);
        const bool frame = type == "1";
        auto line = [&](const QString& name, const QString& id) {
            return frame ? frameLine(name, id) : doorLeafLine(name, "900", id);
        };
        RecordingSurface s = landscapeSurface();
        PrintBillSheet(s, bill(type, frame ? kFrameTitles : kDoorLeafTitles,
                               {line("空", ""), line("甲", "5"), line("乙", ""), line("丙", "6"), line("丁", "")}));
        QCOMPARE(band(s, 1).first().text, QString("甲"));
        QCOMPARE(band(s, 2).first().text, QString("丙"));
        QVERIFY(band(s, 3).isEmpty());
        for (const auto& c : s.texts())
            QVERIFY2(c.text != "空" && c.text != "乙" && c.text != "丁", qPrintable(c.text));
        QCOMPARE(s.lines()[3].at.y(), 76 * kD); // last band bottom: three bands
    }

    void emptyCellsJoinAsTheyStand() {
        QStringList line = frameLine("门", "9");
        line[3] = "";  // 见光宽
        line[6] = " "; // 总宽
        line[7] = "";  // 总高
        RecordingSurface s = landscapeSurface();
        PrintFrameSheet(s, bill("1", kFrameTitles, {line}));
        const QStringList texts = textsOf(band(s, 1));
        QCOMPARE(texts[2], QString("×2000"));
        QCOMPARE(texts[4], QString(" ×"));
    }

    void doorLeafPairs_data() {
        QTest::addColumn<int>("widthColumn"); // door-leaf layout column of the pair's first text
        QTest::addColumn<QString>("width");
        QTest::addColumn<int>("sheetColumn");
        QTest::addColumn<QString>("printed"); // empty: the cell stays blank
        QTest::newRow("frame size 0") << 15 << "0" << 2 << "";
        QTest::newRow("frame size 0.0") << 15 << "0.0" << 2 << "0.0×2080";
        QTest::newRow("visible 0") << 5 << "0" << 3 << "";
        QTest::newRow("visible filled") << 5 << "700" << 3 << "700×1900";
        QTest::newRow("measured 0") << 7 << "0" << 4 << "";
        QTest::newRow("measured empty") << 7 << "" << 4 << "×2010";
        QTest::newRow("glass 0") << 11 << "0" << 6 << "";
        QTest::newRow("glass 0 with space") << 11 << "0 " << 6 << "0 ×1500";
        QTest::newRow("leaf 0") << 9 << "0" << 7 << "";
        QTest::newRow("leaf 0.0") << 9 << "0.0" << 7 << "0.0×1990";
        QTest::newRow("leaf cut") << 9 << "880" << 7 << "880×1990";
    }
    void doorLeafPairs() {
        QFETCH(int, widthColumn);
        QFETCH(QString, width);
        QFETCH(int, sheetColumn);
        QFETCH(QString, printed);
        QStringList line = doorLeafLine("平开门", "880", "3");
        line[widthColumn - 1] = width;
        RecordingSurface s = landscapeSurface();
        PrintDoorLeafSheet(s, bill("2", kDoorLeafTitles, {line}));

        static const int edges[] = {10, 60, 80, 104, 128, 152, 163, 187, 211, 237, 282};
        const int x = (edges[sheetColumn] + 2) * kD;
        QString found;
        int inColumn = 0;
        for (const auto& c : band(s, 1))
            if (c.at.x() == x) {
                found = c.text;
                ++inColumn;
            }
        QCOMPARE(inColumn, printed.isEmpty() ? 0 : 1);
        QCOMPARE(found, printed);
        QCOMPARE(band(s, 1).size(), printed.isEmpty() ? 9 : 10);
    }

    void doorLeafCells() {
        RecordingSurface s = landscapeSurface();
        PrintDoorLeafSheet(s, bill("2", kDoorLeafTitles, {doorLeafLine("平开门", "880", "3")}));
        const QStringList values{"平开门", "磨砂",     "820×2080", "700×1900", "760×2010",
                                 "3",      "500×1500", "880×1990", "左开",     "套线"};
        const QStringList headings{"     商品名称", "玻璃款式",  " 框总宽高", " 见光宽高", " 现量宽高",
                                   "数量",          " 玻璃宽高", " 门扇宽高", "  备注",    "    门框附加"};
        const int edges[] = {10, 60, 80, 104, 128, 152, 163, 187, 211, 237, 282};
        const auto row = band(s, 1);
        const auto head = band(s, 0);
        QCOMPARE(textsOf(row), values);
        QCOMPARE(textsOf(head), headings);
        for (int c = 0; c < 10; ++c) {
            QCOMPARE(row[c].box,
                     QRect(QPoint(edges[c] * kD + 1, 53 * kD), QPoint((edges[c + 1] - 1) * kD - 1, 62 * kD - 1)));
            QCOMPARE(row[c].at, QPoint((edges[c] + 2) * kD, 56 * kD));
            QCOMPARE(head[c].box,
                     QRect(QPoint(edges[c] * kD + 1, 41 * kD), QPoint(edges[c + 1] * kD - 1, 50 * kD - 1)));
            QCOMPARE(head[c].at, QPoint((edges[c] + 2) * kD, 44 * kD));
            QCOMPARE(row[c].fontHeight, 4 * kD);
        }
        // Ruled over the texts: every line comes after the last text.
        int lastText = -1, firstLine = -1;
        for (int i = 0; i < s.calls.size(); ++i) {
            if (s.calls[i].op == Op::TextRect)
                lastText = i;
            if (s.calls[i].op == Op::Line && firstLine < 0)
                firstLine = i;
        }
        QVERIFY(firstLine > lastText);
    }

    void dispatch_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("title"); // empty: nothing printed
        QTest::newRow("1") << "1"
                           << "门框生产排单";
        QTest::newRow("2") << "2"
                           << "---门扇生产排单---";
        QTest::newRow("3") << "3"
                           << "门框生产排单";
        QTest::newRow("4") << "4"
                           << "";
        QTest::newRow("0") << "0"
                           << "";
    }
    void dispatch() {
        QFETCH(QString, type);
        QFETCH(QString, title);
        RecordingSurface s; // portrait
        PrintBillSheet(s, bill(type, type == "2" ? kDoorLeafTitles : kFrameTitles, {}));
        QCOMPARE(s.orient, PrintSurface::Orientation::Landscape);
        QCOMPARE(s.count(Op::BeginJob), title.isEmpty() ? 0 : 1);
        if (!title.isEmpty())
            QCOMPARE(s.texts().first().text, title);
        // Landscape is kept: a second print does not switch again.
        PrintBillSheet(s, bill(type, kFrameTitles, {}));
        QCOMPARE(s.count(Op::SetOrientation), 1);
    }

    void typeThatIsNoNumber() {
        RecordingSurface s;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, PrintBillSheet(s, bill("", kFrameTitles, {})));
        QCOMPARE(s.orient, PrintSurface::Orientation::Landscape);
        QCOMPARE(s.count(Op::BeginJob), 0);
    }

    void failingStepEndsTheJob() {
        RecordingSurface s = landscapeSurface();
        s.failOnText = "客户名称:张记建材";
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, PrintFrameSheet(s, bill("1", kFrameTitles, {})));
        QCOMPARE(s.count(Op::BeginJob), 1);
        QCOMPARE(s.count(Op::EndJob), 1);
    }

    void pdf_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("headerMm");
        QTest::newRow("frame") << "1"
                               << "门框生产排单" << 5;
        QTest::newRow("door leaf") << "2"
                                   << "---门扇生产排单---" << 4;
    }
    void pdf() {
        QFETCH(QString, type);
        QFETCH(QString, title);
        QTemporaryDir dir;
        dir.setAutoRemove(qEnvironmentVariableIsEmpty("KVT_KEEP_PDF"));
        const QString file = dir.filePath("sheet.pdf");
        const BillSnapshot b = bill(type, type == "1" ? kFrameTitles : kDoorLeafTitles,
                                    {type == "1" ? frameLine("实木门", "7") : doorLeafLine("平开门", "880", "3")});
        PrintJobToPdf(file, [&](PrintSurface& s) { PrintBillSheet(s, b); });

        const auto words = test::PdfWords(file);
        QVERIFY(!words.isEmpty());
        QCOMPARE(words.first().pageWidthMm > words.first().pageHeightMm, true); // landscape
        // Design millimetres become m * 47 dots of 1200 dpi, inside 5 mm margins.
        auto mm = [](int m) { return 5.0 + m * kD * 25.4 / kDpi; };
        const auto t = test::FindWord(words, title);
        QVERIFY2(t.has_value(), "title is not text");
        QVERIFY(qAbs(t->yMm - mm(10)) < 0.5);
        QVERIFY(qAbs((t->xMm + t->xMaxMm) / 2 - 297.0 / 2) < 0.5); // centred on the page
        const struct {
            const char* text;
            int x, y;
        } expected[] = {{"单据编号:1024", 220, 19},
                        {"客户名称:张记建材", 10, 26},
                        {"单据日期:2024-03-05", 220, 26},
                        {"送货地址:东门路8号", 10, 33},
                        {"安装人员:李师傅", 220, 33}};
        for (const auto& e : expected) {
            const auto w = test::FindWord(words, QString::fromUtf8(e.text));
            QVERIFY2(w.has_value(), e.text);
            QVERIFY2(qAbs(w->xMm - mm(e.x)) < 0.5, qPrintable(QString("%1 x %2").arg(e.text).arg(w->xMm)));
            QVERIFY2(qAbs(w->yMm - mm(e.y)) < 0.5, qPrintable(QString("%1 y %2").arg(e.text).arg(w->yMm)));
        }
        QVERIFY(test::FindWord(words, type == "1" ? "实木门" : "平开门").has_value());
    }
};

QTEST_MAIN(TestSheets)
#include "test_sheets.moc"
