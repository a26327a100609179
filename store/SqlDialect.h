#pragma once
// Translation of the program's statements (table and column names in Chinese, text literals
// between double quotes, dates between number signs) into SQLite's dialect, token by token.

#include <QString>

namespace kvt {

/// Translates one statement; throws StoreError on an unterminated literal or a bad date.
QString TranslateToSqlite(const QString& statement);

} // namespace kvt
