#pragma once
// Printing from the real print preview in a test: press the button that opens it, wait until the
// preview is up and idle, print from it into a PDF file and close it.

#include "controls/PrintSurface.h"

#include <QApplication>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace kvt::test {

/// Presses a print button and prints from the preview it shows into a PDF file; returns the
/// preview's caption ("no print preview" when none came up).
inline QString PrintThroughPreview(QPushButton* button, const QString& pdf) {
    QPrinter& printer = ProgramPrinter();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    // The preview runs its job once before it is shown, and grid jobs let events through while
    // they draw: wait until the preview is up and idle before printing from it.
    QString seen = QStringLiteral("no print preview");
    QTimer poll;
    int tries = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* preview = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget());
        if (++tries > 1000) {
            poll.stop();
            if (QWidget* stuck = QApplication::activeModalWidget())
                stuck->close();
            return;
        }
        if (!preview || !preview->isVisible() || !preview->isEnabled())
            return;
        poll.stop();
        seen = preview->windowTitle();
        preview->findChild<QPrintPreviewWidget*>()->print();
        preview->accept();
    });
    poll.start(10);
    QTest::mouseClick(button, Qt::LeftButton);
    return seen;
}

} // namespace kvt::test
