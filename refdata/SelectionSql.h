#pragma once
// Statements of the selection window's searches. The typed search text goes in only through
// the store's quoting helpers, so any text finds exactly what it says.

#include <QString>

namespace kvt {

/// Every client, by name.
QString ClientListSql();
/// The clients whose custom number is exactly typed.
QString ClientByNumberSql(const QString& typed);
/// The clients whose name contains typed, by name.
QString ClientByNameSql(const QString& typed);

/// Every product (no ordering).
QString GoodsListSql();
/// All columns of the products whose custom number is exactly typed.
QString GoodsByNumberSql(const QString& typed);
/// The products whose name contains typed, by name.
QString GoodsByNameSql(const QString& typed);

/// The whole client table for editing; only names containing typed unless it is empty.
QString ClientEditSql(const QString& typed);
/// The whole product table for editing; only names containing typed unless it is empty.
QString GoodsEditSql(const QString& typed);

} // namespace kvt
