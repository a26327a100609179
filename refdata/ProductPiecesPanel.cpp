#include "refdata/ProductPiecesPanel.h"

#include "controls/Dialogs.h"
#include "controls/QorControlUnit.h"
#include "controls/QorDBGrid.h"
#include "refdata/FormulaTestUnit.h"
#include "refdata/ProductPieces.h"
#include "store/DataQuery.h"
#include "store/Database.h"

#include <QLabel>
#include <QVBoxLayout>

namespace kvt {
namespace {

const QString kProductId = QStringLiteral("商品ID");

QStringList materialNames() {
    DataQuery q;
    q.SetSql(QStringLiteral("select 材料名称 from 材料"));
    q.Open();
    QStringList names;
    for (int r = 1; r <= q.RowCount(); ++r)
        names << q.TextAt(r, 0);
    return names;
}

QString cell(const DataQuery& q, int row, const char* field) {
    const int column = q.FieldIndex(QString::fromUtf8(field));
    return column < 0 ? QString() : q.TextAt(row, column);
}

/// The list row of a product, or 0 when the list no longer holds it.
int rowOfProduct(const DataQuery& products, qint64 productId) {
    const int column = products.FieldIndex(kProductId);
    for (int r = 1; r <= products.RowCount(); ++r)
        if (!products.ValueAt(r, column).isNull() && products.ValueAt(r, column).toLongLong() == productId)
            return r;
    return 0;
}

} // namespace

TProductPiecesPanel::TProductPiecesPanel(DataQuery* products, QWidget* parent) : QWidget(parent), m_products(products) {
    setObjectName(QStringLiteral("Panel_pieces"));
    Label_pieces = new QLabel(QStringLiteral("部件"), this);
    Label_pieces->setObjectName(QStringLiteral("Label_pieces"));
    CGDBGrid_pieces = new TQorDBGrid(this);
    CGDBGrid_pieces->setObjectName(QStringLiteral("CGDBGrid_pieces"));
    QFont gridFont(QStringLiteral("宋体"));
    gridFont.setPixelSize(16);
    CGDBGrid_pieces->setFont(gridFont);
    CGDBGrid_pieces->SetReadOnly(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Label_pieces);
    layout->addWidget(CGDBGrid_pieces, 1);

    connect(m_products, &DataQuery::currentRowChanged, this, [this] { Guarded(this, [this] { followProduct(); }); });
    connect(m_products, &DataQuery::resultReset, this, [this] { Guarded(this, [this] { followProduct(); }); });
}

void TProductPiecesPanel::setEditing(bool on) {
    m_editing = on;
    if (!on)
        clear();
    followProduct();
}

void TProductPiecesPanel::clear() {
    CGDBGrid_pieces->SetDataQuery(nullptr);
    for (auto& [id, query] : m_pieces)
        delete query;
    m_pieces.clear();
}

bool TProductPiecesPanel::hasPendingChanges() const {
    for (const auto& [id, query] : m_pieces)
        if (query->HasPendingChanges())
            return true;
    return false;
}

DataQuery* TProductPiecesPanel::piecesOf(qint64 productId) {
    auto found = m_pieces.find(productId);
    if (found != m_pieces.end())
        return found->second;
    auto* query = new DataQuery(this);
    query->SetSql(QStringLiteral("select * from 商品部件 where 商品ID=%1 order by 部件ID").arg(productId));
    query->Open();
    for (const char* hidden : {"部件ID", "商品ID"})
        query->SetFieldVisible(query->FieldIndex(QString::fromUtf8(hidden)), false);
    m_pieces.emplace(productId, query);
    return query;
}

DataQuery* TProductPiecesPanel::currentPieces() const {
    return CGDBGrid_pieces->dataQuery();
}

void TProductPiecesPanel::followProduct() {
    DataQuery* shown = nullptr;
    QString caption = QStringLiteral("部件");
    if (m_editing && m_products->IsOpen() && m_products->CurrentRow() > 0 && m_products->FieldIndex(kProductId) >= 0) {
        const DataField id = m_products->Field(kProductId);
        if (id.isNull()) {
            caption = QStringLiteral("部件（新商品保存后才能录入部件）");
        } else {
            shown = piecesOf(id.asInteger());
            caption = QStringLiteral("部件：%1").arg(m_products->Field(QStringLiteral("商品名称")).asString());
        }
    }
    Label_pieces->setText(caption);
    if (CGDBGrid_pieces->dataQuery() != shown) {
        CGDBGrid_pieces->SetDataQuery(shown);
        const int widths[] = {120, 200, 60, 290}; // 部件名称, 材料名称, 件数, 长度公式
        for (int c = 0; c < 4 && c < CGDBGrid_pieces->ColumnCount(); ++c)
            CGDBGrid_pieces->SetColumnWidth(c, widths[c]);
    }
    CGDBGrid_pieces->SetReadOnly(!shown);
}

bool TProductPiecesPanel::checkBeforeSave(QWidget* parent) {
    if (m_pieces.empty())
        return true;
    const QStringList materials = materialNames();
    struct Found {
        qint64 productId;
        int row;
        PieceFinding finding;
    };
    QList<Found> refusals;
    for (const auto& [productId, pieces] : m_pieces) {
        const int productRow = rowOfProduct(*m_products, productId);
        if (productRow == 0)
            continue; // the product is deleted: its pieces go with it
        const bool productChanged = m_products->StateOf(productRow) != RowState::Unchanged;
        const ProductSample product = ProductOfRow(m_products, productRow);
        for (int row = 1; row <= pieces->RowCount(); ++row) {
            if (!productChanged && pieces->StateOf(row) == RowState::Unchanged)
                continue;
            const PieceValues values{cell(*pieces, row, "部件名称"), cell(*pieces, row, "材料名称"),
                                     cell(*pieces, row, "件数"), cell(*pieces, row, "长度公式")};
            for (const PieceFinding& f : CheckPiece(product, values, materials))
                refusals.push_back({productId, row, f});
        }
    }
    auto goTo = [&](const Found& f) {
        m_products->MoveToRow(rowOfProduct(*m_products, f.productId));
        DataQuery* pieces = m_pieces.at(f.productId);
        const int shownColumn = pieces->DisplayColumns().indexOf(pieces->FieldIndex(f.finding.field));
        CGDBGrid_pieces->setFocus();
        if (shownColumn >= 0)
            CGDBGrid_pieces->setCurrentIndex(CGDBGrid_pieces->model()->index(f.row - 1, shownColumn));
    };
    return TellFindings(parent, refusals, QList<Found>(), goTo);
}

void TProductPiecesPanel::applyUpdates() {
    for (const auto& [productId, pieces] : m_pieces) {
        if (!pieces->HasPendingChanges() || rowOfProduct(*m_products, productId) == 0)
            continue;
        const int column = pieces->FieldIndex(kProductId);
        for (int row = 1; row <= pieces->RowCount(); ++row)
            if (pieces->StateOf(row) == RowState::Inserted && pieces->ValueAt(row, column).isNull())
                pieces->SetTextAt(row, column, QString::number(productId));
        pieces->ApplyUpdates();
    }
    // A product deleted here, or by another workstation, takes its pieces with it.
    Database::Exec(QStringLiteral("delete from 商品部件 where 商品ID not in (select 商品ID from 商品信息)"));
}

} // namespace kvt
