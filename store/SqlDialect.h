#pragma once
// Translation of the program's statements (table and column names in Chinese, text literals
// between double quotes, dates between number signs) into SQLite's and PostgreSQL's dialects,
// token by token. Knows no connection: each engine calls the translation of its own dialect.

#include <QString>

namespace kvt {

/// Translates one statement; throws StoreError on an unterminated literal or a bad date.
/// A closing "for update" is dropped: a file's writer holds the whole file.
QString TranslateToSqlite(const QString& statement);

/// The same statement for a PostgreSQL server, meaning on the server what it means on SQLite:
/// texts in single quotes, dates as 'yyyy-mm-dd', the program's table and column names (in any
/// letter case) and [names] quoted as the tables spell them, aliases keeping their letter case,
/// like matching ASCII letters regardless of case (ilike over byte-ordered texts), ifnull as
/// coalesce, round() rounding halves away from zero as SQLite does, and NULLs ordered first
/// when ascending, last when descending.
QString TranslateToPostgres(const QString& statement);

/// A table or column name as a quoted identifier, the same on both engines ("a""b" for a"b).
QString QuotedName(const QString& name);

} // namespace kvt
