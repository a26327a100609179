// Formulas on a bill line: the substitution of quoted titles, the size a formula gives, and the
// command-line tester's --line and --round run as a child process.

#include "expcalc/LineFormula.h"

#include <QProcess>
#include <QtTest>

using namespace kvt::expcalc;

namespace {

std::vector<std::string> frameLine() {
    std::vector<std::string> cells(FrameTitles.size());
    cells[3] = " ";
    cells[4] = "900";
    cells[5] = "2100";
    cells[6] = "20";
    return cells;
}

} // namespace

class TestLineFormula : public QObject {
    Q_OBJECT
private slots:
    void size_data() {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<QString>("cell");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("unknown");
        QTest::addColumn<QString>("messages");
        QTest::newRow("one title") << "\"见光宽\"+40"
                                   << "940" << true << ""
                                   << "";
        QTest::newRow("two titles") << "\"见光高\"+\"埋地\""
                                    << "2120" << true << ""
                                    << "";
        QTest::newRow("half to even") << "\"见光宽\"/2+0.5"
                                      << "450" << true << ""
                                      << "";
        QTest::newRow("space cell adds nothing") << "\"玻璃款式\"1"
                                                 << "1" << true << ""
                                                 << "";
        QTest::newRow("unknown title") << "\"宽度\"+1"
                                       << "0" << false << "宽度"
                                       << "";
        QTest::newRow("door title on frame") << "\"现量宽\""
                                             << "0" << false << "现量宽"
                                             << "";
        QTest::newRow("unclosed quote") << "1+\"见光宽"
                                        << "0" << false << ""
                                        << "";
        QTest::newRow("calculator refuses") << "\"见光宽\"+*1"
                                            << "0" << false << ""
                                            << "表达式中运算符前后有误！;";
        QTest::newRow("too large for a whole number") << "10^20"
                                                      << "0" << false << ""
                                                      << "";
    }
    void size() {
        QFETCH(QString, formula);
        QFETCH(QString, unknown);
        const SizeResult r = EvaluateSize(formula.toStdString(), FrameTitleList(), frameLine());
        QTEST(QString::fromStdString(r.cell), "cell");
        QTEST(r.ok, "ok");
        QCOMPARE(QString::fromStdString(r.unknownTitle.value_or("")), unknown);
        QTEST(QString::fromStdString(r.messages), "messages");
    }

    void quotedNames() {
        const QuotedNames n = FindQuotedNames("\"a\"+\"b\"*\"a");
        QCOMPARE(n.names, (std::vector<std::string>{"a", "b", ""}));
        QVERIFY(n.unclosed);
        QVERIFY(!FindQuotedNames("\"a\"+1").unclosed);
    }

    void kvtcalc_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("exitCode");
        const QStringList width = {"--line", "见光宽=900"};
        QTest::newRow("the bill's substitution") << (width + QStringList{"--line", "埋地=20", "\"见光宽\"+40"}) << ""
                                                 << "OK\t940\n"
                                                 << 0;
        QTest::newRow("a title not given") << (width + QStringList{"\"见光高\""}) << ""
                                           << "ERR\t没有给出“见光高”这一列;\n"
                                           << 0;
        QTest::newRow("a quote inside the formula's title") << (width + QStringList{"\"见\"光宽\"+1"}) << ""
                                                            << "ERR\t没有给出“见”这一列;\n"
                                                            << 0;
        QTest::newRow("a quote inside a --line title") << QStringList{"--line", "门\"框=3", "1"} << ""
                                                       << "" << 2;
        QTest::newRow("a quote inside a value") << QStringList{"--line", "备注=a\"b", "\"备注\""} << ""
                                                << "ERR\t表达式中有无效字符;\n"
                                                << 0;
        QTest::newRow("unclosed quote") << (width + QStringList{"\"见光宽"}) << ""
                                        << "ERR\t双引号不成对;\n"
                                        << 0;
        QTest::newRow("--line=") << QStringList{"--line=a=3", "\"a\"*2"} << ""
                                 << "OK\t6\n"
                                 << 0;
        QTest::newRow("the later cell wins") << QStringList{"--line", "a=1", "--line", "a=2", "\"a\""} << ""
                                             << "OK\t2\n"
                                             << 0;
        QTest::newRow("--line without a cell") << QStringList{"--line"} << ""
                                               << "" << 2;
        QTest::newRow("--line without =") << QStringList{"--line", "见光宽", "1"} << ""
                                          << "" << 2;
        QTest::newRow("without --line as before") << QStringList{"\"见光宽\"+40", "850.5"} << ""
                                                  << "ERR\t表达式中有无效字符;\nOK\t850.5\n"
                                                  << 0;
        QTest::newRow("--round halves to even")
            << QStringList{"--round", "--line", "w=850.5", "\"w\"", "\"w\"+1", "-2.5"} << ""
            << "OK\t850\nOK\t852\nOK\t-2\n"
            << 0;
        QTest::newRow("--round beyond 64 bits") << QStringList{"--round", "10^20"} << ""
                                                << "ERR\t结果超出整数范围;\n"
                                                << 0;
        QTest::newRow("-- ends the options") << QStringList{"--", "--round"} << ""
                                             << "ERR\t表达式中有无效字符;\n"
                                             << 0;
        QTest::newRow("a formula list on standard input") << QStringList{"--line", "a=4"} << "\"a\"*2\r\n\"a\"/0\n"
                                                          << "OK\t8\nERR\t除数不能为零!;\n"
                                                          << 0;
    }
    void kvtcalc() {
        QFETCH(QStringList, args);
        QFETCH(QString, input);
        QProcess p;
        p.start(QStringLiteral(KVTCALC), args);
        QVERIFY(p.waitForStarted());
        p.write(input.toUtf8());
        p.closeWriteChannel();
        QVERIFY(p.waitForFinished());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QTEST(p.exitCode(), "exitCode");
        QTEST(QString::fromUtf8(p.readAllStandardOutput()), "output");
        if (p.exitCode() != 0)
            QVERIFY(!p.readAllStandardError().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestLineFormula)
#include "tst_line_formula.moc"
