#pragma once
// The old program's kvt.mdb as a source for the copy: its five tables with what a long-used file
// holds resolved the conservative way, and a report that lists each such place by bill number,
// table and column, so that nothing is lost or changed without a word.
//
// The old program saved a bill in three steps without a lock, and workshops edited the file by
// hand in the database program; so a bill number can stand on two headers, lines can lack their
// header, dates can carry a time of day and number columns can hold texts. Here:
// - a key given twice (or missing) keeps its first row; each further row gets a new key past the
//   largest (a bill's lines cannot be told apart and stay under the old number);
// - lines without a header and bills whose client or installer is gone are copied as they are;
// - a date keeps its day, a time of day is named in the report;
// - a number column made as text is read as a number where its text is one; any other text
//   leaves the cell NULL and is written into the report; NULLs stay NULL;
// - the counter row is set past the largest bill number when it is behind it or missing.

#include "transfer/RowSource.h"

#include <memory>

namespace kvt {

class JetSource;

/// How much the old file holds, for the question at the first start.
struct LegacyCounts {
    qint64 bills = 0;
    qint64 clients = 0;
    qint64 products = 0;
};

class LegacySource : public RowSource {
public:
    /// Opens the old file (only read) and reads through its keys once. Throws StoreError when it
    /// is no readable Jet file or lacks one of 历史单据, 单据明细, 商品信息, 客户信息.
    explicit LegacySource(const QString& path);
    ~LegacySource() override;

    QString describe() const override;
    /// The five tables of the program (系统设置 even when the file has none).
    QStringList tables() const override;
    /// The old table's columns in its order; a number column of the program made as text in the
    /// old file is offered as a number.
    std::vector<SourceColumn> columns(const QString& table) override;
    qint64 rowCount(const QString& table) override;
    /// The rows with the fix-ups above; dates as QDate.
    void readRows(const QString& table, const std::function<bool(const SourceRow&)>& row) override;

    LegacyCounts counts() const;
    /// The report: the file, its tables, what was found and done; each table's values as
    /// found by its last complete read.
    QStringList report() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

/// The file the report is kept in beside a target file: kvt-导入报告.txt beside kvt.db.
QString LegacyReportPath(const QString& targetFile);

} // namespace kvt
