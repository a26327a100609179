// kvtcut as a process: the JSON it prints for a problem file (checked as a plan, lengths in
// millimetres), its options, the time limit, and bad input: exit code 1, a Chinese message on stderr,
// nothing on stdout.
#include "cutting/GeneratedProblems.h"
#include "cutting/PlanCheck.h"

#include "cutting/InstanceFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace kvt::cutting;

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QString err;
};

Run kvtcut(const QStringList& args) {
    QProcess process;
    process.start(QStringLiteral(KVTCUT), args);
    if (!process.waitForFinished(120'000))
        qFatal("kvtcut did not finish");
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            QString::fromUtf8(process.readAllStandardError())};
}

// The printed plan in the library's terms, for the checker; lengths back from millimetres.
Plan planFromJson(const QJsonObject& json) {
    Plan plan;
    plan.newBars = json["bars"].toInt();
    plan.lowerBound = json["lower_bound"].toInt();
    plan.optimal = json["optimal"].toBool();
    plan.seconds = json["seconds"].toDouble();
    for (const QJsonValue& p : json["patterns"].toArray()) {
        Pattern pattern;
        pattern.count = p["count"].toInt();
        for (const QJsonValue& piece : p["pieces"].toArray())
            pattern.pieces.push_back(std::llround(piece.toDouble() * 10));
        plan.patterns.push_back(pattern);
    }
    return plan;
}

bool hasChinese(const QString& text) {
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() >= 0x4e00 && c.unicode() <= 0x9fff; });
}

} // namespace

class TestKvtcut : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void plans_data();
    void plans();
    void timeLimit();
    void badInput_data();
    void badInput();

private:
    QString write(const QString& name, const QByteArray& text);
    QTemporaryDir m_dir;
};

void TestKvtcut::initTestCase() {
    QVERIFY(m_dir.isValid());
}

QString TestKvtcut::write(const QString& name, const QByteArray& text) {
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestKvtcut::plans_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("bars");
    QTest::addColumn<QString>("somePiece"); // as it must appear in the JSON text

    QTest::newRow("CR LF, as published") << QByteArray("2\r\n150\r\n100\t1\r\n50\t3\r\n") << QStringList{} << 2
                                         << "[100, 50]";
    QTest::newRow("kerf makes a third bar")
        << QByteArray("1 1000 250 8") << QStringList{"--kerf", "0.1"} << 3 << "[250, 250, 250]";
    QTest::newRow("no kerf, two bars") << QByteArray("1 1000 250 8") << QStringList{} << 2 << "[250, 250, 250, 250]";
    QTest::newRow("decimal lengths and trim")
        << QByteArray("2 6000\n2140.5 2\n1700 1") << QStringList{"--trim", "5", "--kerf", "3"} << 1 << "2140.5";
    QTest::newRow("trim pushes over") << QByteArray("1 6000 3000 2") << QStringList{"--trim", "0.1"} << 2 << "[3000]";
}

void TestKvtcut::plans() {
    QFETCH(QByteArray, file);
    QFETCH(QStringList, options);
    QFETCH(int, bars);
    QFETCH(QString, somePiece);
    const QString path = write(QStringLiteral("plan.txt"), file);
    const Run run = kvtcut(QStringList{"--instance", path} + options);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QString());
    QVERIFY2(QString::fromUtf8(run.out).contains(somePiece), run.out.constData());
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(run.out, &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QVERIFY(json.isObject());
    for (const char* key : {"bars", "lower_bound", "optimal", "seconds", "patterns"})
        QVERIFY2(json.object().contains(key), key);

    Problem problem;
    std::string readError;
    QVERIFY(parseInstance(file.toStdString(), problem, readError));
    for (int i = 0; i + 1 < options.size(); i += 2)
        QVERIFY(parseMillimetres(options[i + 1].toStdString(), options[i] == "--kerf" ? problem.kerf : problem.trim));
    const Plan plan = planFromJson(json.object());
    QCOMPARE(QString::fromStdString(check::planError(problem, plan)), QString());
    QCOMPARE(plan.newBars, bars);
    QVERIFY(plan.optimal);
}

// A problem that takes far longer than the limit: the best plan so far, valid, printed soon after.
void TestKvtcut::timeLimit() {
    const generated::KnownProblem known = generated::wasteless(11, 330, 1'000'000, 3, 3, 250'010);
    QByteArray text = QByteArray::number(qsizetype(known.problem.pieces.size())) + "\n" +
                      QByteArray::fromStdString(millimetres(known.problem.stockLength)) + "\n";
    for (const Demand& d : known.problem.pieces)
        text += QByteArray::fromStdString(millimetres(d.length)) + "\t" + QByteArray::number(d.count) + "\n";
    const QString path = write(QStringLiteral("big.txt"), text);
    QElapsedTimer clock;
    clock.start();
    const Run run = kvtcut({"--instance", path, "--time-limit", "0.5"});
    const qint64 ms = clock.elapsed();
    QCOMPARE(run.exitCode, 0);
    const Plan plan = planFromJson(QJsonDocument::fromJson(run.out).object());
    QCOMPARE(QString::fromStdString(check::planError(known.problem, plan)), QString());
    QVERIFY(plan.newBars >= known.optimum);
    // Generous: this is about stopping at the limit at all, not about speed.
    QVERIFY2(ms < 500 + 5000, qPrintable(QString::number(ms)));
}

void TestKvtcut::badInput_data() {
    QTest::addColumn<QByteArray>("file"); // empty: no file written
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no such file") << QByteArray() << QStringList{} << "打不开";
    QTest::newRow("not a problem") << QByteArray("<html>hello</html>") << QStringList{} << "不是下料问题文件";
    QTest::newRow("lines missing") << QByteArray("3 150 20 1") << QStringList{} << "不是下料问题文件";
    QTest::newRow("piece over the bar") << QByteArray("1 150 151 1") << QStringList{} << "还长";
    QTest::newRow("piece over the trimmed bar") << QByteArray("1 150 150 1") << QStringList{"--trim", "0.1"} << "还长";
    QTest::newRow("zero length") << QByteArray("1 150 0 1") << QStringList{} << "长度必须大于零";
    QTest::newRow("negative length") << QByteArray("1 150 -20 1") << QStringList{} << "长度必须大于零";
    QTest::newRow("zero count") << QByteArray("1 150 20 0") << QStringList{} << "数量必须大于零";
    QTest::newRow("negative count") << QByteArray("1 150 20 -1") << QStringList{} << "数量必须大于零";
    QTest::newRow("zero bar") << QByteArray("1 0 20 1") << QStringList{} << "原料长度";
    QTest::newRow("trim leaves nothing") << QByteArray("1 150 20 1") << QStringList{"--trim", "75"} << "没有可用长度";
    QTest::newRow("negative kerf") << QByteArray("1 150 20 1") << QStringList{"--kerf", "-1"} << "锯缝";
    QTest::newRow("kerf not a number") << QByteArray("1 150 20 1") << QStringList{"--kerf", "abc"} << "--kerf";
    QTest::newRow("zero time limit") << QByteArray("1 150 20 1") << QStringList{"--time-limit", "0"} << "--time-limit";
    QTest::newRow("unknown option") << QByteArray("1 150 20 1") << QStringList{"--fast", "1"} << "--fast";
    QTest::newRow("option without value") << QByteArray("1 150 20 1") << QStringList{"--kerf"} << "--kerf";
}

void TestKvtcut::badInput() {
    QFETCH(QByteArray, file);
    QFETCH(QStringList, options);
    QFETCH(QString, expected);
    const QString path =
        file.isEmpty() ? m_dir.filePath(QStringLiteral("missing.txt")) : write(QStringLiteral("bad.txt"), file);
    const Run run = kvtcut(QStringList{"--instance", path} + options);
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.out, QByteArray());
    QVERIFY2(run.err.contains(expected), qPrintable(run.err));
    QVERIFY2(hasChinese(run.err), qPrintable(run.err));
}

QTEST_GUILESS_MAIN(TestKvtcut)
#include "tst_kvtcut.moc"
