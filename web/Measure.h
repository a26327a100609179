#pragma once
// What the measurer's page reads and writes: the bills with frames not measured yet, one bill's
// lines, and the save of the sizes typed on site. No HTML and no HTTP here.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <optional>

namespace kvt::web {

/// One line of a bill as the page shows it.
struct MeasureLine {
    qint64 id = 0; // 门框ID
    QString product;
    QString lightWidth, lightHeight, buried, remark;
    QString measuredWidth, measuredHeight;
    /// A line without a product has no formulas: the page shows it without fields.
    bool hasProduct = false;
    /// Stands for every value of the line as read; a save checks the line still holds them.
    QByteArray fingerprint;
};

struct MeasureBill {
    qint64 id = 0;
    QString client, address, date;
    QList<MeasureLine> lines;
};

/// How many bills the list shows at most.
inline constexpr int kListedBills = 30;
/// The longest search the list takes, in characters; a longer one is cut there and the page says so.
inline constexpr int kSearchLength = 100;

/// The newest bills with lines not measured yet (a visible-light width and no measured width),
/// each with those lines only; search, when not empty, must be part of the client's name or the
/// address. more tells whether older ones were left out.
QList<MeasureBill> unmeasuredBills(const QString& search, bool* more = nullptr);
/// A bill with all its lines, in key order; nullopt when there is no such bill.
std::optional<MeasureBill> measureBill(qint64 billId);

// The statements behind the pages, in the program's dialect.
/// The newest bills with unmeasured lines (at most kListedBills + 1), with date, client and address;
/// searching, only those whose client's name or address is like the two parameters (searchPattern).
QString unmeasuredBillsSql(bool searching);
/// The LIKE pattern, for unmeasuredBillsSql's parameters, of a name or an address containing text.
QString searchPattern(const QString& text);
/// The unmeasured lines of these bills, with their products' names.
QString unmeasuredLinesSql(const QStringList& billIds);
/// A bill's date, client and address.
QString billHeaderSql(qint64 billId);
/// Every line of a bill, in key order, as the save reads them.
QString billLinesSql(qint64 billId);
/// The same with each line's product name after the line's own columns, as the page shows them.
QString billLinesShownSql(qint64 billId);
/// The products of these keys, whole (for their formulas).
QString productsSql(const QStringList& productIds);

/// The sizes typed for one line, with the fingerprint of the line as the page showed it.
struct TypedLine {
    qint64 id = 0;
    QString width, height;
    QByteArray fingerprint;
};

/// Why a typed size cannot be saved ("" when it can, and for an empty text: nothing typed).
QString sizeProblem(const QString& text);

struct SaveOutcome {
    enum class Kind { Saved, Invalid, Conflict, NoBill };
    Kind kind = Kind::Saved;
    /// Invalid: the message of each refused field, by its name on the page ("w12", "h12").
    QHash<QString, QString> errors;
    /// Conflict: the lines changed or removed since the page was loaded.
    QList<qint64> changed;
    /// Saved: how many lines were written.
    int written = 0;
    /// Saved: how many lines sent had changed since the page was loaded, but hold the very sizes sent
    /// (the same form sent twice): nothing of theirs is written again.
    int alreadyStored = 0;
};

/// Writes the typed sizes of a bill's lines and their door-leaf and glass sizes from the products'
/// formulas, in one transaction; a line whose typed sizes equal the stored ones is left alone.
/// Nothing is written when a size is refused, or when a line listed no longer holds what its
/// fingerprint stands for (changed in the office, or by another phone's save), unless each such line
/// holds the sizes typed for it (this form's own earlier save).
SaveOutcome saveMeasurements(qint64 billId, const QList<TypedLine>& typed);

} // namespace kvt::web
