#pragma once
// What a column holds, in the few kinds a column is typed after when a table is given one more
// column (Engine::typeOf) or a table is read from elsewhere.

namespace kvt {

/// What a column holds, as a copy writes it.
enum class ColumnKind {
    Integer, ///< whole numbers (QVariant qlonglong)
    Real,    ///< numbers (QVariant double, already holding the digits the source showed)
    Exact,   ///< exact decimals (QVariant QString of the decimal text, "12.50"), written as numbers
    Date,    ///< dates (QVariant QDate, or the text "yyyy-MM-dd" as a database holds it)
    Text,    ///< texts (QVariant QString; "" and NULL are different values)
};

} // namespace kvt
