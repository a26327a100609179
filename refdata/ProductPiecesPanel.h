#pragma once
// 部件 in the product editor: a small grid of the current product's pieces under the product
// list. Each product visited keeps its own rows and pending changes, so pieces edited on several
// products all wait for "保存" and are written with the products, in one transaction.

#include <QWidget>

#include <map>

class QLabel;

namespace kvt {
class DataQuery;
class TQorDBGrid;

class TProductPiecesPanel : public QWidget {
    Q_OBJECT
public:
    /// Follows the current row of products, the product editor's list.
    TProductPiecesPanel(DataQuery* products, QWidget* parent);

    QLabel* Label_pieces;
    /// The current product's pieces: 部件名称, 材料名称, 件数, 长度公式.
    TQorDBGrid* CGDBGrid_pieces;

    /// Editing on (the product editor is open) or off (the panel shows nothing).
    void setEditing(bool on);
    /// Drops every product's rows and their unsaved changes (a new search, the window closed).
    void clear();
    /// True when a product's pieces have changes not yet saved.
    bool hasPendingChanges() const;

    /// Checks the changed pieces, and the pieces of changed products, before a save: the first
    /// refusal is shown and stops the save, the current product and cell then on that piece.
    bool checkBeforeSave(QWidget* parent);
    /// Writes every product's pending pieces, and removes the pieces of products that are gone.
    /// Called inside the products' save transaction, after the products are written.
    void applyUpdates();

    /// The current product's pieces query; nullptr when the current row is no saved product.
    DataQuery* currentPieces() const;

private:
    /// Shows the pieces of the current product, reading them on its first visit.
    void followProduct();
    DataQuery* piecesOf(qint64 productId);

    DataQuery* m_products;
    std::map<qint64, DataQuery*> m_pieces; ///< by 商品ID, each product visited since the last search
    bool m_editing = false;
};

} // namespace kvt
