#pragma once
// Reads the words of a PDF back with poppler's pdftotext -bbox, positions in millimetres from
// the top left of the page.

#include <QFile>
#include <QList>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QTextDocumentFragment>

#include <optional>

namespace kvt::test {

struct PdfWord {
    QString text;
    int page = 0; ///< 1-based
    double xMm = 0, yMm = 0, xMaxMm = 0, yMaxMm = 0;
    double pageWidthMm = 0, pageHeightMm = 0;
};

inline QList<PdfWord> PdfWords(const QString& file) {
    QProcess p;
    p.start("pdftotext", {"-bbox", file, "-"});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
    constexpr double mmPerPt = 25.4 / 72.0;
    static const QRegularExpression tag(
        R"re(<page width="([\d.]+)" height="([\d.]+)">|<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
    QList<PdfWord> words;
    int page = 0;
    double pw = 0, ph = 0;
    for (auto it = tag.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        if (!m.captured(1).isEmpty()) {
            ++page;
            pw = m.captured(1).toDouble() * mmPerPt;
            ph = m.captured(2).toDouble() * mmPerPt;
            continue;
        }
        PdfWord w;
        w.text = QTextDocumentFragment::fromHtml(m.captured(7)).toPlainText();
        w.page = page;
        w.xMm = m.captured(3).toDouble() * mmPerPt;
        w.yMm = m.captured(4).toDouble() * mmPerPt;
        w.xMaxMm = m.captured(5).toDouble() * mmPerPt;
        w.yMaxMm = m.captured(6).toDouble() * mmPerPt;
        w.pageWidthMm = pw;
        w.pageHeightMm = ph;
        words << w;
    }
    return words;
}

inline std::optional<PdfWord> FindWord(const QList<PdfWord>& words, const QString& text, int page = 0) {
    for (const PdfWord& w : words)
        if (w.text == text && (page == 0 || w.page == page))
            return w;
    return std::nullopt;
}

} // namespace kvt::test
