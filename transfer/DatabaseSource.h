#pragma once
// A database of ours read as a row source: a file opened read-only or a server's database connected
// to without setting anything up, seen in one snapshot for as long as the source lives. It owns an
// engine of its own, so that the program's open database (the copy's target) stays open beside it.

#include "transfer/RowSource.h"

#include <memory>

namespace kvt {

namespace engine {
class Engine;
}

class DatabaseSource final : public RowSource {
public:
    /// Opens location (a file's path or a server connection) for reading; throws StoreError saying
    /// why not. Nothing is made, set up or written.
    explicit DatabaseSource(const QString& location);
    ~DatabaseSource() override;

    QString describe() const override;
    QStringList tables() const override;
    std::vector<SourceColumn> columns(const QString& table) override;
    qint64 rowCount(const QString& table) override;
    /// The rows in the order of the table's key (texts in byte order on either engine).
    void readRows(const QString& table, const std::function<bool(const SourceRow&)>& row) override;
    qint64 numberingPosition(const QString& table, const QString& key) override;

private:
    QString m_location;
    std::unique_ptr<engine::Engine> m_engine;
    QStringList m_tables;
};

} // namespace kvt
