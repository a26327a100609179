#pragma once
// The measurer's pages as HTML text: Chinese, made for a phone's narrow screen, everything in the
// page itself (no scripts, no files from elsewhere). Every text from the database or from the
// request goes through escapeHtml; each text from the database stands in a <bdi> of its own, so that
// right-to-left or override characters in it cannot turn the page's own text around it.

#include "web/Measure.h"

#include <QByteArray>
#include <QHash>
#include <QString>

namespace kvt::web {

/// text with & < > " ' written as character references: safe as element text and in a quoted
/// attribute.
QString escapeHtml(const QString& text);

/// The login form; message (may be empty) says why the last try failed.
QByteArray loginPage(const QString& message, const QString& name);

/// 待测量: the listed bills, the search box holding search; more says older bills were left out;
/// notice (may be empty) stands above the list.
QByteArray listPage(const QList<MeasureBill>& bills, const QString& search, bool more, const QString& user,
                    const QByteArray& formToken, const QString& notice = QString());

/// What a bill page shows besides the bill: the sizes typed last time, the messages of refused
/// fields and lines, and a notice at the top.
struct BillPageState {
    /// Texts to show in the fields instead of the stored sizes, by field name ("w12", "h12").
    QHash<QString, QString> typed;
    /// Messages shown next to fields or lines, by field name or by "l12" for the whole line.
    QHash<QString, QString> errors;
    QString notice;
    bool noticeIsError = false;
};

/// A bill with a form of its lines' measured sizes.
QByteArray billPage(const MeasureBill& bill, const BillPageState& state, const QString& user,
                    const QByteArray& formToken);

/// A page with a title and one message (refusals, a bill not found, a failure).
QByteArray messagePage(const QString& title, const QString& message, bool loggedIn);

} // namespace kvt::web
