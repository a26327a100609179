// A second copy of the program for the bill tests: it opens the database the test names and
// saves new frame bills through the real bill window.
//   bill_save_child <db> once   saves one bill and prints its number
//   bill_save_child <db> loop   saves bills of ten lines until it is killed, printing each number
//   bill_save_child <db> loop N saves N such bills, printing each number
//   bill_save_child <db> edit N text
//                               another workstation: opens bill N in its frame view, sets the first
//                               line's remark to text, saves, and prints "saved" or the message

#include "bill/test_bill_support.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include <cstdio>
#include <cstdlib>

namespace {

QString g_lastMessage;

class SilentDialogs final : public kvt::DialogService {
public:
    void message(QWidget*, const QString& text, const QString&, Icon) override {
        g_lastMessage = text;
        std::fprintf(stderr, "message: %s\n", text.toUtf8().constData());
        std::printf("message: %s\n", text.toUtf8().constData());
        std::fflush(stdout);
    }
    bool confirm(QWidget*, const QString&, const QString&) override { return true; }
};

int saveOne(const char* productId) {
    using namespace kvt;
    kvt::Control<QPushButton>(QStringLiteral("MainForm"), QStringLiteral("Button1"))->click();
    auto* b = qobject_cast<TBillForm*>(Form(QStringLiteral("BillForm")));
    b->LabelClentID->setText(QStringLiteral("1"));
    b->Label_setup_man_id->setText(QStringLiteral("1"));
    b->EditClient->setText(QStringLiteral("子进程"));
    b->EditSetup_man->setText(QStringLiteral("子进程"));
    for (int r = 1; r <= 10; ++r) {
        for (int c = 3; c <= 11; ++c)
            b->Grid_Bill->SetCells(c, r, QString::number(r * 10 + c));
        b->Grid_Bill->SetCells(12, r, QString::fromLatin1(productId));
    }
    const QString shown = b->EditBill_id->text();
    g_lastMessage.clear();
    b->ButtonSave->click();
    if (b->isVisible())
        return -1;
    // The number the bill was saved under: another copy may have taken the one shown.
    const QRegularExpressionMatch other =
        QRegularExpression(QStringLiteral("本单据已保存为([0-9]+)号")).match(g_lastMessage);
    std::printf("%s\n", (other.hasMatch() ? other.captured(1) : shown).toLatin1().constData());
    std::fflush(stdout);
    return 0;
}

int editFirstLine(qint64 billId, const QString& remark) {
    using namespace kvt;
    test::openSavedBill(billId, false);
    TBillForm* b = test::billForm();
    b->Grid_Bill->SetCells(11, 1, remark);
    b->ButtonSave->click();
    if (!b->isVisible())
        std::printf("saved\n");
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 3)
        return 2;
    SilentDialogs dialogs;
    kvt::DialogService::setInstance(&dialogs);
    kvt::CreateForms(QString::fromLocal8Bit(argv[1]));
    if (qstrcmp(argv[2], "edit") == 0 && argc >= 5) {
        const int rc = editFirstLine(QByteArray(argv[3]).toLongLong(), QString::fromUtf8(argv[4]));
        kvt::DestroyForms();
        return rc;
    }
    const bool loop = qstrcmp(argv[2], "loop") == 0;
    const long count = loop && argc >= 4 ? std::atol(argv[3]) : (loop ? -1 : 1);
    for (long saved = 0; count < 0 || saved < count; ++saved)
        if (saveOne("1") != 0)
            return 1;
    kvt::DestroyForms();
    return 0;
}
