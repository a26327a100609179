#include "query/MaterialEditors.h"

#include "controls/Dialogs.h"
#include "controls/QorControlUnit.h"
#include "controls/QorDBGrid.h"
#include "query/MaterialValues.h"
#include "store/DataQuery.h"
#include "store/Database.h"

#include <QDate>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>

namespace kvt {

TTableEditor::TTableEditor(const char* name, const QString& caption, const char* gridName, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QString::fromLatin1(name));
    setWindowTitle(caption);
    resize(720, 420);
    Query = new DataQuery(this);
    Grid = new TQorDBGrid(this);
    Grid->setObjectName(QString::fromLatin1(gridName));
    QFont gridFont(QStringLiteral("宋体"));
    gridFont.setPixelSize(16);
    Grid->setFont(gridFont);
    Grid->SetDataQuery(Query);
    Grid->SetReadOnly(false);
    Button_save = new QPushButton(QStringLiteral("保存"), this);
    Button_save->setObjectName(QStringLiteral("Button_save"));
    Button_exit = new QPushButton(QStringLiteral("退出"), this);
    Button_exit->setObjectName(QStringLiteral("Button_exit"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button_save);
    buttons->addWidget(Button_exit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Grid, 1);
    layout->addLayout(buttons);
    connect(Button_save, &QPushButton::clicked, this, [this] { Guarded(this, [this] { Button_saveClick(); }); });
    connect(Button_exit, &QPushButton::clicked, this, &QDialog::close);
}

void TTableEditor::reopen() {
    Query->Close();
    Query->SetSql(listSql());
    Query->Open();
    afterOpen();
    show();
    raise();
    activateWindow();
}

QString TTableEditor::text(int row, const char* field) const {
    const int column = Query->FieldIndex(QString::fromUtf8(field));
    return column < 0 ? QString() : Query->TextAt(row, column);
}

void TTableEditor::Button_saveClick() {
    // Leaving the grid ends the cell being typed and drops a row added and left empty.
    Button_save->setFocus(Qt::OtherFocusReason);
    if (!Query->IsOpen())
        return;
    const QString refused = tableProblem();
    if (!refused.isEmpty()) {
        ShowMessage(this, refused);
        return;
    }
    for (int row = 1; row <= Query->RowCount(); ++row) {
        if (Query->StateOf(row) == RowState::Unchanged)
            continue;
        QString field;
        const QString problem = rowProblem(row, field);
        if (problem.isEmpty())
            continue;
        const int shown = Query->DisplayColumns().indexOf(Query->FieldIndex(field));
        Grid->setFocus();
        if (shown >= 0)
            Grid->setCurrentIndex(Grid->model()->index(row - 1, shown));
        ShowMessage(this, problem);
        return;
    }
    for (int row = 1; row <= Query->RowCount(); ++row)
        if (Query->StateOf(row) == RowState::Inserted)
            complete(row);
    try {
        TransactionScope scope;
        Query->ApplyUpdates();
        afterWrite();
        scope.Commit();
    } catch (const StoreError& e) {
        if (e.kind() != StoreError::Kind::Conflict)
            throw;
        throw StoreError(QStringLiteral("数据已被其他用户修改，本次修改没有保存。请关闭后重新打开。"), e.kind());
    }
    afterOpen();
}

// --- 材料 ----------------------------------------------------------------------------------

TMaterialEditor::TMaterialEditor(QWidget* parent)
    : TTableEditor("MaterialEditor", QStringLiteral("材料"), "Grid_materials", parent) {}

QString TMaterialEditor::listSql() const {
    return QStringLiteral("select * from 材料 order by 材料名称");
}

void TMaterialEditor::afterOpen() {
    m_readNames.clear();
    const int id = Query->FieldIndex(QStringLiteral("材料ID"));
    const int name = Query->FieldIndex(QStringLiteral("材料名称"));
    for (int row = 1; row <= Query->RowCount(); ++row)
        if (!Query->ValueAt(row, id).isNull())
            m_readNames.insert(Query->ValueAt(row, id).toLongLong(), Query->TextAt(row, name));
}

QString TMaterialEditor::rowProblem(int row, QString& field) {
    const MaterialValues values{text(row, "材料名称"), text(row, "原料长度"), text(row, "锯缝"), text(row, "端头余量"),
                                text(row, "最短余料")};
    field = MaterialProblemField(values);
    return MaterialProblem(values);
}

QString TMaterialEditor::tableProblem() {
    QSet<QString> names;
    const int id = Query->FieldIndex(QStringLiteral("材料ID"));
    QSet<qint64> kept;
    for (int row = 1; row <= Query->RowCount(); ++row) {
        const QString name = text(row, "材料名称").trimmed();
        if (!name.isEmpty() && names.contains(name))
            return QStringLiteral("材料名称“%1”重复：每种材料只能有一行。").arg(name);
        names.insert(name);
        if (!Query->ValueAt(row, id).isNull())
            kept.insert(Query->ValueAt(row, id).toLongLong());
    }
    // A material deleted here must not leave pieces or offcuts naming it.
    for (auto it = m_readNames.cbegin(); it != m_readNames.cend(); ++it) {
        if (kept.contains(it.key()))
            continue;
        DataQuery used;
        used.SetSql(QStringLiteral("select (select count(*) from 商品部件 where 材料名称=%1), "
                                   "(select count(*) from 余料 where 材料名称=%1)")
                        .arg(SqlText(it.value())));
        used.Open();
        const qint64 pieces = used.FieldAt(0).asInteger(), offcuts = used.FieldAt(1).asInteger();
        if (pieces > 0 || offcuts > 0)
            return QStringLiteral("材料“%1”还有%2个商品部件和%3根余料在用，不能删除。")
                .arg(it.value())
                .arg(pieces)
                .arg(offcuts);
    }
    return QString();
}

void TMaterialEditor::afterWrite() {
    // A renamed material keeps its pieces and offcuts: they name it by its name.
    const int id = Query->FieldIndex(QStringLiteral("材料ID"));
    for (int row = 1; row <= Query->RowCount(); ++row) {
        const QVariant key = Query->ValueAt(row, id);
        if (key.isNull() || !m_readNames.contains(key.toLongLong()))
            continue;
        const QString before = m_readNames.value(key.toLongLong());
        const QString now = text(row, "材料名称");
        if (before == now)
            continue;
        for (const char* table : {"商品部件", "余料"})
            Database::Exec(QStringLiteral("update %1 set 材料名称=%2 where 材料名称=%3")
                               .arg(QString::fromUtf8(table), SqlText(now), SqlText(before)));
    }
}

// --- 余料 ----------------------------------------------------------------------------------

TOffcutEditor::TOffcutEditor(QWidget* parent)
    : TTableEditor("OffcutEditor", QStringLiteral("余料"), "Grid_offcuts", parent) {}

QString TOffcutEditor::listSql() const {
    return QStringLiteral("select * from 余料 order by 材料名称, 长度 desc");
}

QString TOffcutEditor::tableProblem() {
    DataQuery q;
    q.SetSql(QStringLiteral("select 材料名称 from 材料"));
    q.Open();
    m_materials.clear();
    for (int r = 1; r <= q.RowCount(); ++r)
        m_materials << q.TextAt(r, 0);
    return QString();
}

QString TOffcutEditor::rowProblem(int row, QString& field) {
    const OffcutValues values{text(row, "材料名称"), text(row, "长度")};
    field = OffcutProblemField(values, m_materials);
    return OffcutProblem(values, m_materials);
}

void TOffcutEditor::complete(int row) {
    if (text(row, "入库日期").isEmpty())
        Query->SetTextAt(row, Query->FieldIndex(QStringLiteral("入库日期")),
                         QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
    if (text(row, "来源").trimmed().isEmpty())
        Query->SetTextAt(row, Query->FieldIndex(QStringLiteral("来源")), QStringLiteral("手工录入"));
}

} // namespace kvt
