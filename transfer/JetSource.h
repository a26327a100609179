#pragma once
// The old program's database file (Jet 4 .mdb, or an ACE .accdb) read as a row source, through
// libmdb. Only read: the file is opened without write access and nothing is ever written to it.
// Values are decoded from the row bytes here, not by the library's converters: texts exactly as
// stored (UTF-16, surrogate pairs, CR LF and spaces kept; empty text apart from NULL), memos of
// any length whole, numbers with the digits the old program showed.

#include "transfer/RowSource.h"

#include <QDateTime>

#include <memory>

namespace kvt {

class JetSource : public RowSource {
public:
    /// Opens the file at path. Throws StoreError with a message saying why when it is no Jet file
    /// (judged by its content, not its name), an older format, damaged or cut short, or encrypted.
    explicit JetSource(const QString& path);
    ~JetSource() override;
    JetSource(const JetSource&) = delete;
    JetSource& operator=(const JetSource&) = delete;

    /// True when the file starts with the "Standard Jet DB" or "Standard ACE DB" signature.
    static bool IsJetFile(const QString& path);

    QString describe() const override;
    /// The user tables, in the file's catalogue order (system tables left out).
    QStringList tables() const override;
    std::vector<SourceColumn> columns(const QString& table) override;
    qint64 rowCount(const QString& table) override;
    /// Rows as RowSource gives them, except that a Date column's value is a QDateTime (UTC clock
    /// holding the file's wall time), so that a time of day stays visible to the caller.
    /// Columns of a kind no row source carries (OLE objects, binary data) are left out of the row
    /// and out of columns(); skippedColumns() names them.
    void readRows(const QString& table, const std::function<bool(const SourceRow&)>& row) override;
    /// The same, decoding only the columns whose positions are listed (all when none is); the
    /// others stay NULL. The row may be changed by row: each decoded value is written anew.
    void readColumns(const QString& table, const std::vector<int>& wanted, const std::function<bool(SourceRow&)>& row);

    /// Columns of the table not offered because their values are no text, number or date
    /// ("照片（OLE 对象）").
    QStringList skippedColumns(const QString& table);
    /// True when a unique index that allows no NULL (a primary key) holds the table's column alone.
    bool keyIsUnique(const QString& table, const QString& column);
    /// "Jet 4（Access 2000 至 2003）" or "ACE（Access 2007 及以后）".
    QString format() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace kvt
