// The real message boxes, as a clerk sees them: Chinese buttons, and a question answered No unless
// Yes is chosen.
#include "controls/Dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>

#include <functional>

class TestDialogs : public QObject {
    Q_OBJECT
private slots:
    void realBoxesSpeakChinese_data();
    void realBoxesSpeakChinese();
};

namespace {

/// Once the next modal box is up: its buttons' texts, then press the one whose text is press (or
/// Escape when press is empty).
void answerNextBox(QStringList* seen, const QString& press)
{
    QTimer::singleShot(0, [=] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box) {
            answerNextBox(seen, press);
            return;
        }
        QAbstractButton* chosen = nullptr;
        for (QAbstractButton* b : box->findChildren<QAbstractButton*>()) {
            if (b->text().isEmpty())
                continue;
            *seen << b->text();
            if (b->text() == press)
                chosen = b;
        }
        if (chosen)
            chosen->click();
        else
            QTest::keyClick(box, Qt::Key_Escape);
    });
}

} // namespace

void TestDialogs::realBoxesSpeakChinese_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("press");
    QTest::addColumn<QStringList>("buttons");
    QTest::addColumn<bool>("answer");
    QTest::newRow("question, yes") << "confirm" << "是(&Y)" << QStringList{"是(&Y)", "否(&N)"} << true;
    QTest::newRow("question, no") << "confirm" << "否(&N)" << QStringList{"是(&Y)", "否(&N)"} << false;
    QTest::newRow("question, escape") << "confirm" << "" << QStringList{"是(&Y)", "否(&N)"} << false;
    QTest::newRow("message") << "message" << "确定" << QStringList{"确定"} << false;
    QTest::newRow("report") << "text" << "确定" << QStringList{"确定"} << false;
}

void TestDialogs::realBoxesSpeakChinese()
{
    QFETCH(QString, kind);
    QFETCH(QString, press);
    QFETCH(QStringList, buttons);
    QFETCH(bool, answer);
    kvt::DialogService::setInstance(nullptr);
    QStringList seen;
    answerNextBox(&seen, press);
    auto& service = kvt::DialogService::instance();
    bool result = false;
    if (kind == "confirm")
        result = service.confirm(nullptr, "单据尚未保存，确定退出吗？");
    else if (kind == "message")
        service.message(nullptr, "保存成功");
    else
        service.showText(nullptr, "报告", "导入报告");
    seen.sort();
    buttons.sort();
    QCOMPARE(seen, buttons);
    QCOMPARE(result, answer);
}

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
