// Grid printing on a recording surface, and one real PDF read back.

#include "query/my_print.h"
#include "store/DataQuery.h"
#include "store/Database.h"
#include "support/PdfWords.h"
#include "support/RecordingSurface.h"

#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QTemporaryDir>
#include <QSignalSpy>
#include <QtTest>

using namespace kvt;
using kvt::test::RecordingSurface;
using Op = RecordingSurface::Op;

namespace {

/// Records as rows of texts, one text per field.
class Rows final : public PrintRecordSource {
public:
    explicit Rows(QList<QStringList> rows) : m_rows(std::move(rows)) {}
    void First() override { m_at = 0; }
    void Next() override { ++m_at; }
    bool Eof() const override { return m_at >= m_rows.size(); }
    QString DisplayText(int field) override {
        if (QCursor* c = QGuiApplication::overrideCursor())
            cursorShapes << c->shape();
        return m_rows[m_at].value(field);
    }
    int position() const { return m_at; }
    QList<Qt::CursorShape> cursorShapes;

private:
    QList<QStringList> m_rows;
    int m_at = -1;
};

QList<QStringList> numbered(int n) {
    QList<QStringList> rows;
    for (int i = 1; i <= n; ++i)
        rows << QStringList{QString("r%1").arg(i), QString("客户%1").arg(i)};
    return rows;
}

const QList<PrintColumn> kTwoColumns{{"单据ID", 40, 0}, {"客户名", 200, 1}};

// At 100 dpi a 12 point font is 17 pixels high: the title takes 34, a line 17 + 2.
RecordingSurface smallPage(int width, int height) {
    RecordingSurface s;
    s.dpi = 100;
    s.width = width;
    s.height = height;
    return s;
}

QList<RecordingSurface::Call> onPage(const QList<RecordingSurface::Call>& calls, int page) {
    QList<RecordingSurface::Call> out;
    for (const auto& c : calls)
        if (c.page == page)
            out << c;
    return out;
}

} // namespace

class TestPrintGrid : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QFont::insertSubstitution("宋体", "AR PL UMing CN"); }

    void widths_data() {
        QTest::addColumn<int>("screen");
        QTest::addColumn<int>("tenths");
        QTest::newRow("64 px") << 64 << 8;
        QTest::newRow("200 px") << 200 << 22;
        QTest::newRow("9 px") << 9 << 2;
        QTest::newRow("0 px") << 0 << 2;
    }
    void widths() {
        QFETCH(int, screen);
        QFETCH(int, tenths);
        QCOMPARE(PrintWidthTenths(screen), tenths);
    }

    void pixels_data() {
        QTest::addColumn<int>("tenths");
        QTest::addColumn<int>("dpi");
        QTest::addColumn<int>("pixels");
        QTest::newRow("0.8 in at 1200") << 8 << 1200 << 960;
        QTest::newRow("2.2 in at 600") << 22 << 600 << 1320;
        QTest::newRow("half to even, down") << 5 << 73 << 36;
        QTest::newRow("half to even, up") << 5 << 75 << 38;
        QTest::newRow("0.7 in at 96") << 7 << 96 << 67;
    }
    void pixels() {
        QFETCH(int, tenths);
        QFETCH(int, dpi);
        QFETCH(int, pixels);
        QCOMPARE(TenthsToPixels(tenths, dpi), pixels);
    }

    void onePageLayout_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("footer");
        QTest::addColumn<QString>("printedTitle");
        QTest::addColumn<QString>("printedFooter");
        QTest::newRow("list") << "清单"
                              << ""
                              << "清单"
                              << "第1页";
        QTest::newRow("untitled") << ""
                                  << ""
                                  << "<无标题>"
                                  << "第1页";
        QTest::newRow("footer text") << "清单"
                                     << "合计"
                                     << "清单"
                                     << "合计  第1页";
    }
    void onePageLayout() {
        QFETCH(QString, title);
        QFETCH(QString, footer);
        QFETCH(QString, printedTitle);
        QFETCH(QString, printedFooter);
        RecordingSurface s = smallPage(800, 1100);
        Rows rows({});
        TPrnOut out(s);
        out.PrintGrid(kTwoColumns, rows, title, footer);

        const auto texts = s.texts();
        QCOMPARE(texts.size(), 4); // title, two column titles, footer
        QCOMPARE(texts[0].op, Op::TextOut);
        QCOMPARE(texts[0].text, printedTitle);
        QCOMPARE(texts[0].fontName, QString("宋体"));
        QCOMPARE(texts[0].fontHeight, 17);
        QCOMPARE(texts[0].at, QPoint(400 - s.textWidth(printedTitle) / 2, 0));

        // Column titles: bold underlined, 0.6 and 2.2 inches wide, from x = 50 below the title.
        QCOMPARE(texts[1].text, QString("单据ID"));
        QCOMPARE(texts[1].style, PrintSurface::Bold | PrintSurface::Underline);
        QCOMPARE(texts[1].box, QRect(50, 34, 60, 17));
        QCOMPARE(texts[2].box, QRect(110, 34, 220, 17));
        QCOMPARE(texts[2].at, QPoint(110, 34));

        QCOMPARE(texts[3].text, printedFooter);
        QCOMPARE(texts[3].style, PrintSurface::FontStyle(PrintSurface::Plain));
        QCOMPARE(texts[3].at.y(), 1100 - 17);
        QCOMPARE(s.count(Op::BeginJob), 1);
        QCOMPARE(s.count(Op::NewPage), 0);
        QCOMPARE(s.calls.last().op, Op::EndJob);
        QCOMPARE(out.CurrentY, 0);
        QCOMPARE(out.PageNumber, 2);
        QVERIFY(!out.Truncated());
    }

    void recordsFollowTheTitles() {
        RecordingSurface s = smallPage(800, 1100);
        Rows rows(numbered(2));
        TPrnOut(s).PrintGrid(kTwoColumns, rows, "清单", "");
        const auto r1 = s.text("r1");
        QCOMPARE(r1.style, PrintSurface::FontStyle(PrintSurface::Plain));
        QCOMPARE(r1.box, QRect(50, 53, 60, 17));
        QCOMPARE(s.text("客户1").at, QPoint(110, 53));
        QCOMPARE(s.text("r2").at, QPoint(50, 72));
        QVERIFY(rows.Eof()); // left at the end of the data set
    }

    void wrapping_data() {
        QTest::addColumn<QList<int>>("screenWidths");
        QTest::addColumn<QList<QRect>>("boxes"); // for the first record
        // 100 dpi, page 400 wide: widths in pixels are tenths * 10.
        QTest::newRow("fits") << QList<int>{80, 180} << QList<QRect>{{50, 53, 100, 17}, {150, 53, 200, 17}};
        QTest::newRow("third cell wraps")
            << QList<int>{80, 180, 130} << QList<QRect>{{50, 70, 100, 17}, {150, 70, 200, 17}, {70, 87, 220, 17}};
        QTest::newRow("wrapped cell then next on same line")
            << QList<int>{80, 180, 130, 0}
            << QList<QRect>{{50, 70, 100, 17}, {150, 70, 200, 17}, {70, 87, 220, 17}, {290, 87, 20, 17}};
        QTest::newRow("cell wider than the page") << QList<int>{500} << QList<QRect>{{70, 87, 590, 17}};
    }
    void wrapping() {
        QFETCH(QList<int>, screenWidths);
        QFETCH(QList<QRect>, boxes);
        QList<PrintColumn> columns;
        QStringList record;
        for (int i = 0; i < screenWidths.size(); ++i) {
            columns << PrintColumn{QString("T%1").arg(i), screenWidths[i], i};
            record << QString("v%1").arg(i);
        }
        RecordingSurface s = smallPage(400, 2000);
        Rows rows({record});
        TPrnOut(s).PrintGrid(columns, rows, "清单", "");
        for (int i = 0; i < boxes.size(); ++i) {
            const auto c = s.text(record[i]);
            QCOMPARE(c.box, boxes[i]);
            QCOMPARE(c.at, boxes[i].topLeft());
        }
    }

    void severalPages_data() {
        QTest::addColumn<QString>("footer");
        QTest::newRow("page number only") << "";
        QTest::newRow("footer text") << "张记";
    }
    void severalPages() {
        QFETCH(QString, footer);
        // Page 200 high: the footer line starts at 183; a line whose top passes 166 breaks.
        RecordingSurface s = smallPage(800, 200);
        Rows rows(numbered(20));
        TPrnOut out(s);
        out.PrintGrid(kTwoColumns, rows, "清单", footer);

        // Six records a page: from 53 on the first page; on the later ones the record carried
        // over starts one blank line below the column titles, at 70.
        const int pages = 4;
        QCOMPARE(s.count(Op::NewPage), pages - 1);
        for (int p = 1; p <= pages; ++p) {
            const auto texts = onPage(s.texts(), p);
            QVERIFY(texts.size() > 3);
            QCOMPARE(texts[0].text, QString("清单"));
            QCOMPARE(texts[0].at.y(), 0);
            QCOMPARE(texts[1].text, QString("单据ID"));
            QCOMPARE(texts[1].at, QPoint(50, 34));
            QCOMPARE(texts[2].text, QString("客户名"));
            const QString number = QString("第%1页").arg(p);
            QCOMPARE(texts.last().text, footer.isEmpty() ? number : footer + "  " + number);
            QCOMPARE(texts.last().at.y(), 200 - 17);
        }
        QCOMPARE(s.text("r6").at, QPoint(50, 148));
        QCOMPARE(s.text("r6").page, 1);
        QCOMPARE(s.text("r7").page, 2);
        QCOMPARE(s.text("r7").at, QPoint(70, 70));     // continued, indented
        QCOMPARE(s.text("客户7").at, QPoint(200, 70)); // 0.6 inch + 140
        QCOMPARE(s.text("r8").at, QPoint(50, 89));
        QCOMPARE(s.text("r20").page, 4);
        // Every record printed once, in order.
        QStringList firsts;
        for (const auto& c : s.texts())
            if (c.text.startsWith('r'))
                firsts << c.text;
        QCOMPARE(firsts.size(), 20);
        QCOMPARE(firsts.last(), QString("r20"));
        QCOMPARE(out.PageNumber, pages + 1);
    }

    void pageTooShort_data() {
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("pages");
        QTest::addColumn<QStringList>("records"); // first texts of the records printed
        QTest::newRow("not even the column titles") << 60 << 1 << QStringList{};
        QTest::newRow("one record on the first page only") << 90 << 2 << QStringList{"r1"};
    }
    void pageTooShort() {
        QFETCH(int, height);
        QFETCH(int, pages);
        QFETCH(QStringList, records);
        RecordingSurface s = smallPage(800, height);
        Rows rows(numbered(5));
        TPrnOut out(s);
        out.PrintGrid(kTwoColumns, rows, "清单", "");
        QVERIFY(out.Truncated());
        QCOMPARE(s.count(Op::NewPage), pages - 1);
        QCOMPARE(s.count(Op::EndJob), 1);
        QStringList printed;
        for (const auto& c : s.texts())
            if (c.text.startsWith('r'))
                printed << c.text;
        QCOMPARE(printed, records);
        QCOMPARE(s.texts().last().text, QString("第%1页").arg(pages));
    }

    void abortedJobStopsDrawing() {
        RecordingSurface s = smallPage(800, 200);
        s.abortAfterTexts = 7; // title, two titles, two records
        Rows rows(numbered(20));
        TPrnOut(s).PrintGrid(kTwoColumns, rows, "清单", "");
        QCOMPARE(s.texts().size(), 7);
        QCOMPARE(s.count(Op::NewPage), 0);
        QCOMPARE(s.count(Op::EndJob), 1);
        QCOMPARE(rows.position(), 2); // the record loop stopped as well
    }

    // Cancelled from the progress report: the page in hand gets its footer and the job ends.
    void cancelledJobEndsCleanly() {
        RecordingSurface s = smallPage(800, 1100);
        Rows rows(numbered(20));
        TPrnOut out(s);
        QList<int> seen;
        out.Progress = [&seen](int done, int count) {
            seen << done;
            return count == -1 && done < 3;
        };
        out.PrintGrid(kTwoColumns, rows, "清单", "");
        QVERIFY(out.Cancelled());
        QCOMPARE(seen, (QList<int>{0, 1, 2, 3}));
        QCOMPARE(s.texts().size(), 1 + 2 + 3 * 2 + 1); // title, column titles, three records, footer
        QCOMPARE(s.texts().last().text, QString("第1页"));
        QCOMPARE(s.count(Op::EndJob), 1);
    }

    // Printing a query walks its rows without moving its current row, so the grid that shows it
    // neither follows the job nor repaints for every record.
    void queryRowStaysWhilePrinting() {
        QTemporaryDir dir;
        Database::Open(dir.filePath("print.db"));
        for (int i = 1; i <= 5; ++i)
            Database::Exec(QString("insert into 客户信息 (客户名) values (\"客户%1\")").arg(i));
        DataQuery q;
        q.SetSql("select 客户ID,客户名 from 客户信息 order by 客户ID");
        q.Open();
        q.MoveToRow(2);
        QSignalSpy moved(&q, &DataQuery::currentRowChanged);
        RecordingSurface s = smallPage(800, 1100);
        PrintGrid(s, kTwoColumns, q, "清单", "");
        QCOMPARE(moved.count(), 0);
        QCOMPARE(q.CurrentRow(), 2);
        QCOMPARE(s.text("客户5").text, QString("客户5"));
        q.Close();
        Database::Close();
    }

    void failures_data() {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<int>("textsBefore");
        QTest::newRow("in a record") << "客户2" << 6;
        QTest::newRow("in the column titles") << "客户名" << 2;
        QTest::newRow("in the title") << "清单" << 0;
    }
    void failures() {
        QFETCH(QString, failing);
        QFETCH(int, textsBefore);
        RecordingSurface s = smallPage(800, 1100);
        s.failOnText = failing;
        Rows rows(numbered(3));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, TPrnOut(s).PrintGrid(kTwoColumns, rows, "清单", ""));
        QCOMPARE(s.texts().size(), textsBefore);
        QCOMPARE(s.count(Op::EndJob), 1);
        QCOMPARE(s.calls.last().op, Op::EndJob);
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    void hourglassWhilePrinting() {
        RecordingSurface s = smallPage(800, 1100);
        Rows rows(numbered(2));
        TPrnOut(s).PrintGrid(kTwoColumns, rows, "清单", "");
        QCOMPARE(rows.cursorShapes, QList<Qt::CursorShape>(4, Qt::WaitCursor));
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    void pdf() {
        QTemporaryDir dir;
        const QString file = dir.filePath("list.pdf");
        QList<QStringList> data;
        for (int i = 1; i <= 150; ++i)
            data << QStringList{QString::number(1000 + i), QString("张记建材%1").arg(i)};
        Rows rows(data);
        int lineHeight = 0, pageHeight = 0, dpi = 0;
        PrintJobToPdf(file, [&](PrintSurface& s) {
            TPrnOut out(s);
            out.PrintGrid(kTwoColumns, rows, "清单", "");
            lineHeight = out.LineHeight;
            pageHeight = out.PageHeight;
            dpi = out.PixelsPerInchX;
        });
        const auto words = test::PdfWords(file);
        QVERIFY(!words.isEmpty());
        const int pages = words.last().page;
        QVERIFY(pages >= 2);
        const double pxToMm = 25.4 / dpi;
        for (int p = 1; p <= pages; ++p) {
            const auto title = test::FindWord(words, "清单", p);
            QVERIFY2(title.has_value(), "title is not text");
            QVERIFY(qAbs(title->yMm - 5.0) < 0.5); // top of the printable area
            QVERIFY(qAbs((title->xMm + title->xMaxMm) / 2 - 105.0) < 0.5);
            const auto heading = test::FindWord(words, "客户名", p);
            QVERIFY(heading.has_value());
            QVERIFY(qAbs(heading->xMm - (5.0 + (50 + TenthsToPixels(6, dpi)) * pxToMm)) < 0.5);
            const auto footer = test::FindWord(words, QString("第%1页").arg(p), p);
            QVERIFY2(footer.has_value(), qPrintable(QString("page %1 has no footer").arg(p)));
            QVERIFY(qAbs(footer->yMm - (5.0 + (pageHeight - lineHeight) * pxToMm)) < 0.5);
        }
        QVERIFY(test::FindWord(words, "张记建材150").has_value());
    }
};

QTEST_MAIN(TestPrintGrid)
#include "test_print_grid.moc"
