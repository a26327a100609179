// See GridHighlight.h. Both grids paint through these few lines: the plain cell of the string grid,
// and the current row and cell of either grid.
#include "controls/GridHighlight.h"

#include <QAbstractItemView>
#include <QPainter>

namespace kvt {

void PaintGridCell(QPainter& p, const QRect& rect, const QString& text, const QColor& fill, const QColor& ink,
                   const QFont& font, Qt::Alignment align, int rightMargin) {
    if (rect.isEmpty())
        return;
    p.save();
    p.setClipRect(rect);
    p.fillRect(rect, fill);
    p.setPen(ink);
    p.setFont(font);
    p.drawText(rect.adjusted(2, 2, -rightMargin, 0), align | Qt::AlignTop | Qt::TextSingleLine, text);
    p.restore();
}

GridHighlight::GridHighlight(QAbstractItemView* view, const QColor& cellColor)
    : m_view(view), m_selCellColor(cellColor) {}

QColor GridHighlight::SelCellColor() const {
    // The system colour follows the desktop: it is read when painting, not fixed at creation.
    return m_selCellColor.isValid() ? m_selCellColor : m_view->palette().color(QPalette::Active, QPalette::Highlight);
}
void GridHighlight::SetSelCellColor(const QColor& c) {
    m_selCellColor = c;
    changed();
}
QColor GridHighlight::SelCellFontColor() const {
    return m_selCellFontColor;
}
void GridHighlight::SetSelCellFontColor(const QColor& c) {
    m_selCellFontColor = c;
    changed();
}
QColor GridHighlight::SelRowColor() const {
    return m_selRowColor;
}
void GridHighlight::SetSelRowColor(const QColor& c) {
    m_selRowColor = c;
    changed();
}
QColor GridHighlight::SelRowFontColor() const {
    return m_selRowFontColor;
}
void GridHighlight::SetSelRowFontColor(const QColor& c) {
    m_selRowFontColor = c;
    changed();
}

void GridHighlight::paintCurrentRowCell(QPainter& p, const QRect& rect, const QString& text, const QFont& font,
                                        bool currentCell, Qt::Alignment align, int rightMargin) const {
    if (currentCell)
        PaintGridCell(p, rect, text, SelCellColor(), SelCellFontColor(), font, align, rightMargin);
    else
        PaintGridCell(p, rect, text, SelRowColor(), SelRowFontColor(), font, align, rightMargin);
}

void GridHighlight::changed() {
    m_view->viewport()->update();
}

} // namespace kvt
