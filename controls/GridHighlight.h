#pragma once
// The one painting the two highlighting grids share: a cell filled and written on one line, and the
// colours a grid paints its current row and its current cell in over its ordinary look. The string
// grid (QorControlUnit) and the data-bound grid (QorDBGrid) each take both from here; this file
// knows neither of them, only the view it repaints when a colour changes.

#include <QColor>
#include <QString>

class QAbstractItemView;
class QFont;
class QPainter;
class QRect;

namespace kvt {

/// Fills rect and writes text into it on one line, 2 px in from the left and the top and
/// rightMargin px in from the right, clipped to the cell. align is the text's horizontal alignment.
void PaintGridCell(QPainter& p, const QRect& rect, const QString& text, const QColor& fill, const QColor& ink,
                   const QFont& font, Qt::Alignment align = Qt::AlignLeft, int rightMargin = 0);

/// The colours of a grid's current row and current cell; a grid inherits them with their given
/// names. A colour changed repaints the grid.
class GridHighlight {
public:
    /// cellColor: the current cell's fill; invalid follows the desktop's highlight colour.
    GridHighlight(QAbstractItemView* view, const QColor& cellColor);

    QColor SelCellColor() const;
    void SetSelCellColor(const QColor& c);
    QColor SelCellFontColor() const;
    void SetSelCellFontColor(const QColor& c);
    QColor SelRowColor() const;
    void SetSelRowColor(const QColor& c);
    QColor SelRowFontColor() const;
    void SetSelRowFontColor(const QColor& c);

protected:
    /// Paints a cell of the current row over its ordinary look: the current cell in the cell
    /// colours, the row's other cells in the row colours (see PaintGridCell).
    void paintCurrentRowCell(QPainter& p, const QRect& rect, const QString& text, const QFont& font, bool currentCell,
                             Qt::Alignment align = Qt::AlignLeft, int rightMargin = 0) const;

private:
    void changed();

    QAbstractItemView* m_view;
    QColor m_selCellColor; ///< invalid: the palette's highlight colour
    QColor m_selCellFontColor{Qt::white};
    QColor m_selRowColor{0, 128, 0};
    QColor m_selRowFontColor{Qt::white};
};

} // namespace kvt
