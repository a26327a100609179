#pragma once
// The small editors of the cutting list's tables, opened from the 下料单 tab: materials (材料)
// and offcuts in stock (余料). Rows are added (Insert, or Down past the last row), changed and
// deleted (Ctrl+Delete) in the grid; every change waits for "保存", which checks each changed row
// first and refuses a bad value with a message naming the field.

#include <QDialog>
#include <QMap>

class QPushButton;

namespace kvt {
class DataQuery;
class TQorDBGrid;

class TTableEditor : public QDialog {
    Q_OBJECT
public:
    /// Reads the table again, dropping unsaved changes, and shows the window.
    void reopen();

    TQorDBGrid* Grid;
    QPushButton* Button_save;
    QPushButton* Button_exit;
    DataQuery* Query;

    void Button_saveClick();

protected:
    TTableEditor(const char* name, const QString& caption, const char* gridName, QWidget* parent);

    /// The statement that lists the table.
    virtual QString listSql() const = 0;
    /// The problem of a changed row (1-based) and the field it concerns; empty when none.
    virtual QString rowProblem(int row, QString& field) = 0;
    /// What is refused before the rows are written, for the whole table; empty when nothing.
    virtual QString tableProblem() { return QString(); }
    /// Values the program fills in before a row is written.
    virtual void complete(int row) { Q_UNUSED(row); }
    /// Runs after the rows are written, within the same transaction.
    virtual void afterWrite() {}
    /// Runs after the table was read.
    virtual void afterOpen() {}

    QString text(int row, const char* field) const;
};

/// 材料: name, stock length, kerf, trim and the shortest offcut worth keeping. A material renamed
/// takes its pieces and offcuts along; one that pieces or offcuts still use cannot be deleted.
class TMaterialEditor final : public TTableEditor {
    Q_OBJECT
public:
    explicit TMaterialEditor(QWidget* parent = nullptr);

protected:
    QString listSql() const override;
    QString rowProblem(int row, QString& field) override;
    QString tableProblem() override;
    void afterWrite() override;
    void afterOpen() override;

private:
    /// 材料名称 of every saved row as read, by 材料ID.
    QMap<qint64, QString> m_readNames;
};

/// 余料: material, length, where it came from and when it was put on the rack. An offcut found
/// on the rack is added (its date today unless given), one that is gone is deleted.
class TOffcutEditor final : public TTableEditor {
    Q_OBJECT
public:
    explicit TOffcutEditor(QWidget* parent = nullptr);

protected:
    QString listSql() const override;
    QString rowProblem(int row, QString& field) override;
    QString tableProblem() override;
    void complete(int row) override;

private:
    QStringList m_materials;
};

} // namespace kvt
