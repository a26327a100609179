#pragma once
// The drawing surface the printouts draw on: the printer's orientation, job and pages, its
// geometry, the canvas font, text and lines. All coordinates are device pixels measured from
// the top left of the printable area; texts are anchored at their top-left corner.

#include <QFlags>
#include <QRect>
#include <QString>

#include <functional>
#include <memory>

class QPainter;
class QPaintDevice;
class QPrinter;
class QWidget;

namespace kvt {

class PrintSurface {
public:
    enum class Orientation { Portrait, Landscape };
    enum FontStyleFlag { Plain = 0, Bold = 1, Underline = 2 };
    Q_DECLARE_FLAGS(FontStyle, FontStyleFlag)

    virtual ~PrintSurface() = default;

    virtual Orientation orientation() const = 0;
    /// Takes effect for the next job; the setting stays for later jobs.
    virtual void setOrientation(Orientation orientation) = 0;

    virtual void beginJob() = 0;
    /// Ends the job; harmless when no job is open.
    virtual void endJob() = 0;
    virtual void newPage() = 0;
    /// True once the current job has been aborted (by the user or the printer).
    virtual bool aborted() const = 0;

    /// Horizontal resolution in dots per inch.
    virtual int resolutionX() const = 0;
    /// Printable area in device pixels.
    virtual int pageWidth() const = 0;
    virtual int pageHeight() const = 0;

    virtual QString fontName() const = 0;
    virtual void setFontName(const QString& typeface) = 0;
    /// Font height as cell height (line height including internal leading) in device pixels.
    virtual void setFontHeight(int pixels) = 0;
    virtual void setFontSize(int points) = 0;
    virtual void setFontStyle(FontStyle style) = 0;

    /// Width and height of a string in the current font, in device pixels.
    virtual int textWidth(const QString& text) = 0;
    virtual int textHeight(const QString& text) = 0;
    /// Draws text with its top-left corner at (x, y).
    virtual void textOut(int x, int y, const QString& text) = 0;
    /// Fills box with the background colour, then draws text at (x, y) clipped to box.
    virtual void textRect(const QRect& box, int x, int y, const QString& text) = 0;

    virtual void setPenWidth(int pixels) = 0;
    virtual void moveTo(int x, int y) = 0;
    /// Draws a line from the pen position to (x, y), which becomes the pen position.
    virtual void lineTo(int x, int y) = 0;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(PrintSurface::FontStyle)

/// A surface drawing on a printer, or on any paint device that has a resolution (a PDF
/// writer, an image). Orientation and pages need a paged device; elsewhere they are ignored.
class QPrinterSurface : public PrintSurface {
public:
    explicit QPrinterSurface(QPaintDevice* device);
    ~QPrinterSurface() override;
    QPrinterSurface(const QPrinterSurface&) = delete;
    QPrinterSurface& operator=(const QPrinterSurface&) = delete;

    Orientation orientation() const override;
    void setOrientation(Orientation orientation) override;
    void beginJob() override;
    void endJob() override;
    void newPage() override;
    bool aborted() const override;
    int resolutionX() const override;
    int pageWidth() const override;
    int pageHeight() const override;
    QString fontName() const override;
    void setFontName(const QString& typeface) override;
    void setFontHeight(int pixels) override;
    void setFontSize(int points) override;
    void setFontStyle(FontStyle style) override;
    int textWidth(const QString& text) override;
    int textHeight(const QString& text) override;
    void textOut(int x, int y, const QString& text) override;
    void textRect(const QRect& box, int x, int y, const QString& text) override;
    void setPenWidth(int pixels) override;
    void moveTo(int x, int y) override;
    void lineTo(int x, int y) override;

private:
    struct State;
    std::unique_ptr<State> d;
};

using PrintJob = std::function<void(PrintSurface&)>;

/// The program's printer: the default printer (a PDF printer when none is installed). Its
/// settings, the orientation among them, last for the whole run.
QPrinter& ProgramPrinter();

/// Shows the job in a print preview on the program's printer, from which the user prints it,
/// picks another printer or saves a PDF. Returns when the preview closes: true when the user printed
/// from it, false when it was closed without printing. An exception thrown by the job closes the
/// preview and is thrown on from here.
bool PreviewPrintJob(QWidget* parent, const QString& title, const PrintJob& job);

/// Prints the job straight into a PDF file: A4 with 5 mm margins, the given orientation and
/// resolution.
void PrintJobToPdf(const QString& fileName, const PrintJob& job,
                   PrintSurface::Orientation orientation = PrintSurface::Orientation::Portrait, int dpi = 1200);

} // namespace kvt
