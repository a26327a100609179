#pragma once
// A print surface for tests: records every call with the font and pen in force, and measures
// text by a fixed rule (ASCII half the cell height wide, anything else the full cell height).

#include "controls/PrintSurface.h"

#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>

#include <cmath>
#include <stdexcept>

namespace kvt::test {

class RecordingSurface final : public PrintSurface {
public:
    enum class Op { SetOrientation, BeginJob, EndJob, NewPage, TextOut, TextRect, Line };

    struct Call {
        Op op;
        int page = 0; ///< 1-based page of the job the call was made on (0 outside a job)
        QString text;
        QPoint at; ///< text position, or a line's start
        QPoint to; ///< a line's end
        QRect box; ///< TextRect's box
        QString fontName;
        int fontHeight = 0; ///< cell height in pixels
        FontStyle style;
        int penWidth = 0;
    };

    // Geometry; tests set these before printing.
    int dpi = 1200;
    int width = 9920;
    int height = 14030;
    Orientation orient = Orientation::Portrait;

    /// When >= 0, the job reports itself aborted once this many texts have been drawn.
    int abortAfterTexts = -1;
    /// A text whose drawing throws, to test failure paths.
    QString failOnText;

    QList<Call> calls;

    // Current state, visible to tests.
    QString font = "Default";
    int cellHeight = 100;
    FontStyle style;
    int pen = 1;
    QPoint penPos;
    bool inJob = false;
    int page = 0;
    int textsDrawn = 0;

    Orientation orientation() const override { return orient; }
    void setOrientation(Orientation o) override {
        orient = o;
        record(Op::SetOrientation);
    }
    void beginJob() override {
        inJob = true;
        page = 1;
        textsDrawn = 0;
        record(Op::BeginJob);
    }
    void endJob() override {
        record(Op::EndJob);
        inJob = false;
    }
    void newPage() override {
        ++page;
        record(Op::NewPage);
    }
    bool aborted() const override { return abortAfterTexts >= 0 && textsDrawn >= abortAfterTexts; }
    int resolutionX() const override { return dpi; }
    int pageWidth() const override { return orient == Orientation::Portrait ? width : height; }
    int pageHeight() const override { return orient == Orientation::Portrait ? height : width; }
    QString fontName() const override { return font; }
    void setFontName(const QString& typeface) override { font = typeface; }
    void setFontHeight(int pixels) override { cellHeight = pixels; }
    void setFontSize(int points) override { cellHeight = int(std::lround(points * dpi / 72.0)); }
    void setFontStyle(FontStyle s) override { style = s; }
    int textWidth(const QString& text) override {
        int w = 0;
        for (QChar c : text)
            w += c.unicode() < 128 ? cellHeight / 2 : cellHeight;
        return w;
    }
    int textHeight(const QString&) override { return cellHeight; }
    void textOut(int x, int y, const QString& text) override { drawText(Op::TextOut, QRect(), x, y, text); }
    void textRect(const QRect& box, int x, int y, const QString& text) override {
        drawText(Op::TextRect, box, x, y, text);
    }
    void setPenWidth(int pixels) override { pen = pixels; }
    void moveTo(int x, int y) override { penPos = QPoint(x, y); }
    void lineTo(int x, int y) override {
        Call c = make(Op::Line);
        c.at = penPos;
        c.to = QPoint(x, y);
        calls << c;
        penPos = c.to;
    }

    // Queries over the record.
    QList<Call> ofOp(Op op) const {
        QList<Call> out;
        for (const Call& c : calls)
            if (c.op == op)
                out << c;
        return out;
    }
    /// Text calls (both kinds), in drawing order.
    QList<Call> texts() const {
        QList<Call> out;
        for (const Call& c : calls)
            if (c.op == Op::TextOut || c.op == Op::TextRect)
                out << c;
        return out;
    }
    QList<Call> lines() const { return ofOp(Op::Line); }
    /// The first text call drawing exactly this text; throws when there is none.
    Call text(const QString& t) const {
        for (const Call& c : calls)
            if ((c.op == Op::TextOut || c.op == Op::TextRect) && c.text == t)
                return c;
        throw std::runtime_error(("no text drawn: " + t).toStdString());
    }
    int count(Op op) const { return int(ofOp(op).size()); }

private:
    Call make(Op op) const {
        Call c;
        c.op = op;
        c.page = inJob ? page : 0;
        c.fontName = font;
        c.fontHeight = cellHeight;
        c.style = style;
        c.penWidth = pen;
        return c;
    }
    void record(Op op) { calls << make(op); }
    void drawText(Op op, const QRect& box, int x, int y, const QString& text) {
        if (!failOnText.isEmpty() && text == failOnText)
            throw std::runtime_error("drawing failed");
        Call c = make(op);
        c.at = QPoint(x, y);
        c.box = box;
        c.text = text;
        calls << c;
        ++textsDrawn;
    }
};

} // namespace kvt::test
