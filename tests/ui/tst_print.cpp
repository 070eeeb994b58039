#include <QFontInfo>
#include <QPaintEngine>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextItem>
#include <QtTest>
#include <vector>

#include "core/platform/Error.h"
#include "core/playlist/EntryList.h"
#include "testsupport/ScriptedPrompts.h"
#include "testsupport/TestSupport.h"
#include "ui/platform/Prompts.h"
#include "ui/playlist/Print.h"

using namespace cadrell;

namespace {

struct TextRun {
    int page;
    QPointF baseline;
    QString text;
    QFont font;
    // The top of the text cell, which is what a printed y position means.
    int top() const { return qRound(baseline.y()) - QFontMetrics(font).ascent(); }
};

// Keeps every text item handed to it, with its position and the font resolved for the device.
class RecordingEngine : public QPaintEngine {
public:
    RecordingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawTextItem(const QPointF& p, const QTextItem& item) override {
        runs.push_back({page, p, item.text(), item.font()});
    }
    Type type() const override { return User; }

    int page = 0;
    std::vector<TextRun> runs;
};

// A page of a printer of any resolution and size, in device units.
class RecordingPage : public QPaintDevice {
public:
    RecordingPage(int dpi, int width, int height) : dpi_(dpi), width_(width), height_(height) {}
    QPaintEngine* paintEngine() const override { return &engine_; }
    RecordingEngine& engine() const { return engine_; }

protected:
    int metric(PaintDeviceMetric m) const override {
        switch (m) {
            case PdmWidth:
                return width_;
            case PdmHeight:
                return height_;
            case PdmWidthMM:
                return width_ * 254 / (dpi_ * 10);
            case PdmHeightMM:
                return height_ * 254 / (dpi_ * 10);
            case PdmDpiX:
            case PdmDpiY:
            case PdmPhysicalDpiX:
            case PdmPhysicalDpiY:
                return dpi_;
            case PdmDepth:
                return 32;
            case PdmNumColors:
                return INT_MAX;
            case PdmDevicePixelRatio:
                return 1;
            case PdmDevicePixelRatioScaled:
                return int(QPaintDevice::devicePixelRatioFScale());
            default:
                return QPaintDevice::metric(m);
        }
    }

private:
    int dpi_, width_, height_;
    mutable RecordingEngine engine_;
};

struct Recording {
    int pages = 0;
    std::vector<TextRun> runs;
};

Recording record(int dpi, int pageHeight, const QByteArray& fileName, const EntryList& entries,
                 const QFont& font) {
    RecordingPage page(dpi, dpi * 8, pageHeight);
    QPainter painter(&page);
    Recording r;
    r.pages = DrawPlaylistPages(
        painter, page, [&] { return ++page.engine().page, true; }, fileName, entries, font,
        Qt::black);
    painter.end();
    r.runs = page.engine().runs;
    return r;
}

EntryList entriesOf(const std::vector<QByteArray>& texts) {
    EntryList list;
    for (const QByteArray& t : texts)
        list.append(t);
    return list;
}

EntryList numbered(int count) {
    EntryList list;
    for (int i = 0; i < count; ++i)
        list.append(QByteArray("song ") + QByteArray::number(i + 1).rightJustified(4, '0') +
                    ".mp3");
    return list;
}

QFont tenPoint() {
    return QFont(QStringLiteral("DejaVu Sans"), 10);
}

// Lines per page of the given height; the first page also carries the title and an empty line.
int expectedPages(int count, int pageHeight, int h) {
    const int perPage = pageHeight / h;
    const int rest = std::max(0, count - (perPage - 2));
    return 1 + (rest + perPage - 1) / perPage;
}

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(-1) || p.exitCode() != 0)
        return QStringLiteral("<%1 failed: %2>")
            .arg(program, QString::fromLocal8Bit(p.readAllStandardError()));
    return QString::fromUtf8(p.readAllStandardOutput());
}

int pdfPages(const QString& pdf) {
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)"))
                                          .match(run(QStringLiteral("pdfinfo"), {pdf}));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

void configurePdf(QPrinter& printer, const QString& path, int dpi) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setResolution(dpi);
    printer.setPageSize(QPageSize(QPageSize::A4));
}

}  // namespace

class TestPrint : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void layout_data();
    void layout();
    void contents_data();
    void contents();
    void pageBreaks_data();
    void pageBreaks();
    void pdfPagesAndText();
    void pdfTextSizeAtAnyResolution();
    void jobThatCannotStartIsReported();

    void noDefaultPrinter();
    void cancelPrintsNothing();
    void confirmedPrinterServesEveryWindow();

private:
    // The next print dialog is answered with `result` (after `before` has run), unseen.
    void answerPrintDialog(int result, std::function<void()> before = {}) {
        prompts_->dialogs.push_back([this, result, before](QDialog& dialog) {
            shown_.push_back(&dialog);
            if (before)
                before();
            return result;
        });
    }

    std::unique_ptr<testsupport::ScriptedPrompts> prompts_;
    std::vector<QDialog*> shown_;
    QTemporaryDir dir_;
};

void TestPrint::init() {
    prompts_ = std::make_unique<testsupport::ScriptedPrompts>();
    shown_.clear();
    ForgetPrinterChoice();
    SetDefaultPrinterProbe([] { return true; });
}

void TestPrint::cleanup() {
    SetDefaultPrinterProbe({});
    // A dialog left unanswered in the script was never shown.
    const bool allAnswered = prompts_->unexpected == 0 && prompts_->dialogs.empty();
    prompts_.reset();
    QVERIFY(allAnswered);
}

void TestPrint::layout_data() {
    QTest::addColumn<int>("dpi");
    QTest::newRow("300 dpi") << 300;
    QTest::newRow("600 dpi") << 600;
    QTest::newRow("72 dpi") << 72;
}

void TestPrint::layout() {
    QFETCH(int, dpi);
    const EntryList entries = entriesOf(testsupport::list({"a.mp3", "b.mp3", "c.mp3"}));
    const Recording r = record(dpi, dpi * 11, "/music/list.m3u", entries, tenPoint());

    QCOMPARE(r.pages, 1);
    QCOMPARE(r.runs.size(), 4u);
    const int h = QFontMetrics(r.runs[0].font).boundingRect(QStringLiteral("W")).height();
    // The line height is the text cell of "W": at least the font's size, so lines never
    // overlap, and not much more.
    const qreal hPoints = h * 72.0 / dpi;
    QVERIFY2(hPoints >= 10 && hPoints < 15, qPrintable(QString::number(hPoints)));
    for (size_t i = 0; i < r.runs.size(); ++i) {
        const TextRun& run = r.runs[i];
        QCOMPARE(run.baseline.x(), 0.0);
        const int line = i == 0 ? 0 : int(i) + 1;
        QCOMPARE(run.top(), line * h);
        // Ten points on every printer: the size in device units follows the resolution.
        QCOMPARE(run.font.pointSizeF(), 10.0);
        QVERIFY2(qAbs(QFontInfo(run.font).pixelSize() - 10.0 * dpi / 72) <= 1,
                 qPrintable(QString::number(QFontInfo(run.font).pixelSize())));
        QCOMPARE(run.font.family(), QStringLiteral("DejaVu Sans"));
    }
}

void TestPrint::contents_data() {
    QTest::addColumn<QByteArray>("fileName");
    QTest::addColumn<std::vector<QByteArray>>("entries");
    QTest::addColumn<QString>("title");

    QTest::newRow("empty playlist: title alone")
        << QByteArray("/music/empty.m3u") << std::vector<QByteArray>{} << "/music/empty.m3u";
    QTest::newRow("untitled") << QByteArray("(untitled)") << testsupport::list({"a.mp3"})
                              << "(untitled)";
    // Only the title takes the display form (C:x gains its separator); entries are as stored.
    QTest::newRow("entries as stored")
        << QByteArray("C:list.m3u")
        << testsupport::list({"#EXTM3U", "#EXTINF:123,Title", "C:a.mp3", "..\\rel\\b.mp3",
                              "\\nodrive\\c.mp3", "  spaced  ", "", "d.mp3"})
        << "C:\\list.m3u";
    QTest::newRow("8-bit text") << QByteArray("/music/caf\xc3\xa9.m3u")
                                << testsupport::list({"/music/Bj\xc3\xb6rk.mp3"})
                                << QString::fromUtf8("/music/caf\xc3\xa9.m3u");
}

void TestPrint::contents() {
    QFETCH(QByteArray, fileName);
    QFETCH(std::vector<QByteArray>, entries);
    QFETCH(QString, title);

    const Recording r = record(300, 3300, fileName, entriesOf(entries), tenPoint());
    const int h = PrintLineHeight(tenPoint(), RecordingPage(300, 2400, 3300));
    // Position and text of everything drawn; an empty entry draws nothing on its line.
    QStringList printed;
    for (const TextRun& run : r.runs)
        printed << QStringLiteral("%1 %2").arg(run.top()).arg(run.text);
    QStringList expected{QStringLiteral("0 ") + title};
    for (size_t i = 0; i < entries.size(); ++i)
        if (!entries[i].isEmpty())
            expected << QStringLiteral("%1 %2")
                            .arg((int(i) + 2) * h)
                            .arg(QString::fromLocal8Bit(entries[i]));
    QCOMPARE(printed, expected);
}

void TestPrint::pageBreaks_data() {
    QTest::addColumn<int>("dpi");
    QTest::addColumn<int>("pageHeight");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("fromFirstPage");  // count is over what the first page holds

    QTest::newRow("500 entries, 300 dpi A4") << 300 << 3507 << 500 << false;
    QTest::newRow("500 entries, 600 dpi letter") << 600 << 6600 << 500 << false;
    QTest::newRow("first page exactly full") << 300 << 3507 << 0 << true;
    QTest::newRow("one entry over the first page") << 300 << 3507 << 1 << true;
    QTest::newRow("page of a few lines") << 300 << 300 << 40 << false;
}

void TestPrint::pageBreaks() {
    QFETCH(int, dpi);
    QFETCH(int, pageHeight);
    QFETCH(int, count);
    QFETCH(bool, fromFirstPage);

    const QFont font = tenPoint();
    RecordingPage probe(dpi, dpi * 8, pageHeight);
    const int h = PrintLineHeight(font, probe);
    const int perPage = pageHeight / h;
    if (fromFirstPage)
        count += perPage - 2;

    const EntryList entries = numbered(count);
    const Recording r = record(dpi, pageHeight, "/music/long.m3u", entries, font);
    const int pages = expectedPages(count, pageHeight, h);
    QCOMPARE(r.pages, pages);
    QCOMPARE(r.runs.back().page + 1, pages);
    QCOMPARE(int(r.runs.size()), count + 1);
    QCOMPARE(r.runs[0].text, QStringLiteral("/music/long.m3u"));
    QCOMPARE(r.runs[0].top(), 0);

    // Every entry once, in order; the first page as laid out, every later one from its top.
    int page = 0, line = 2;
    for (int i = 0; i < count; ++i) {
        const TextRun& run = r.runs[size_t(i) + 1];
        if ((line + 1) * h > pageHeight) {
            ++page;
            line = 0;
        }
        QCOMPARE(run.text, QString::fromLatin1(entries.at(i)));
        QCOMPARE(run.page, page);
        QCOMPARE(run.top(), line * h);
        QVERIFY(run.top() + h <= pageHeight);
        ++line;
    }
}

void TestPrint::pdfPagesAndText() {
    const QString pdf = dir_.filePath(QStringLiteral("long.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    configurePdf(printer, pdf, 300);
    const EntryList entries = numbered(500);
    PrintPlaylist(printer, "/music/long.m3u", entries, tenPoint(), Qt::black);

    const int pages = expectedPages(500, printer.height(), PrintLineHeight(tenPoint(), printer));
    QVERIFY(pages > 1);
    QCOMPARE(pdfPages(pdf), pages);

    const QString text =
        run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    QStringList pageTexts = text.split(QLatin1Char('\f'));
    if (pageTexts.last().trimmed().isEmpty())
        pageTexts.removeLast();
    QCOMPARE(pageTexts.size(), pages);

    // Page one: the title, an empty line, entries; every further page only entries.
    QStringList firstLines = pageTexts[0].split(QLatin1Char('\n'));
    QCOMPARE(firstLines.value(0).trimmed(), QStringLiteral("/music/long.m3u"));
    QCOMPARE(firstLines.value(1).trimmed(), QString());
    QCOMPARE(firstLines.value(2).trimmed(), QStringLiteral("song 0001.mp3"));

    QStringList printed;
    for (const QString& p : pageTexts)
        for (const QString& line : p.split(QLatin1Char('\n')))
            if (!line.trimmed().isEmpty())
                printed << line.trimmed();
    QStringList expected{QStringLiteral("/music/long.m3u")};
    for (qsizetype i = 0; i < entries.size(); ++i)
        expected << QString::fromLatin1(entries.at(i));
    QCOMPARE(printed, expected);
}

void TestPrint::pdfTextSizeAtAnyResolution() {
    // The words' boxes in the PDF are in points, whatever the printer's resolution.
    std::vector<std::vector<qreal>> tops, heights;
    for (int dpi : {300, 600}) {
        const QString pdf = dir_.filePath(QStringLiteral("size%1.pdf").arg(dpi));
        QPrinter printer(QPrinter::HighResolution);
        configurePdf(printer, pdf, dpi);
        PrintPlaylist(printer, "Title", entriesOf(testsupport::list({"One", "Two"})), tenPoint(),
                      Qt::black);
        const QString html =
            run(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
        const QRegularExpression word(
            QStringLiteral("yMin=\"([0-9.]+)\" xMax=\"[0-9.]+\" yMax=\"([0-9.]+)\">(\\w+)<"));
        std::vector<qreal> t, hs;
        for (auto it = word.globalMatch(html); it.hasNext();) {
            const auto m = it.next();
            t.push_back(m.captured(1).toDouble());
            hs.push_back(m.captured(2).toDouble() - m.captured(1).toDouble());
        }
        QCOMPARE(t.size(), 3u);
        tops.push_back(t);
        heights.push_back(hs);
    }
    for (size_t i = 0; i < 3; ++i) {
        QVERIFY2(qAbs(heights[0][i] - heights[1][i]) < 0.3,
                 qPrintable(QStringLiteral("%1 %2").arg(heights[0][i]).arg(heights[1][i])));
        QVERIFY(heights[0][i] > 9 && heights[0][i] < 15);
        // One device unit at 300 dpi is a quarter point.
        QVERIFY(qAbs(tops[0][i] - tops[1][i]) < 0.5);
    }
    // The empty line: the first entry stands two line heights below the title.
    const qreal lineHeight = tops[0][2] - tops[0][1];
    QVERIFY(qAbs(tops[0][1] - tops[0][0] - 2 * lineHeight) < 0.5);
}

void TestPrint::jobThatCannotStartIsReported() {
    QPrinter printer(QPrinter::HighResolution);
    configurePdf(printer, dir_.filePath(QStringLiteral("missing folder/out.pdf")), 300);
    QTest::ignoreMessage(QtWarningMsg, "QPainter::begin(): Returned false");
    QString error;
    try {
        PrintPlaylist(printer, "/music/a.m3u", numbered(3), tenPoint(), Qt::black);
    } catch (const Error& e) {
        error = e.text();
    }
    QCOMPARE(error, QStringLiteral("Cannot start the print job"));
}

void TestPrint::noDefaultPrinter() {
    SetDefaultPrinterProbe([] { return false; });
    QWidget window;
    const QString pdf = dir_.filePath(QStringLiteral("none.pdf"));
    configurePdf(ProcessPrinter(), pdf, 300);

    QString error;
    try {
        PrintDocument(&window, "/music/a.m3u", numbered(3), tenPoint(), Qt::black);
    } catch (const Error& e) {
        error = e.text();
    }
    QCOMPARE(error, QStringLiteral("There is no default printer currently selected"));
    QVERIFY(shown_.empty());
    QVERIFY(!QFile::exists(pdf));
    QVERIFY(!PrinterChosen());
}

void TestPrint::cancelPrintsNothing() {
    answerPrintDialog(QDialog::Rejected);
    QWidget window;
    const QString pdf = dir_.filePath(QStringLiteral("cancel.pdf"));
    configurePdf(ProcessPrinter(), pdf, 300);

    PrintDocument(&window, "/music/a.m3u", numbered(3), tenPoint(), Qt::black);
    QCOMPARE(shown_.size(), 1u);
    QVERIFY(!QFile::exists(pdf));
    QVERIFY(prompts_->errors.isEmpty());
    QVERIFY(!PrinterChosen());
    // Still no printer chosen: without a default one the next print is refused again.
    SetDefaultPrinterProbe([] { return false; });
    QVERIFY_THROWS_EXCEPTION(
        Error, PrintDocument(&window, "/music/a.m3u", numbered(3), tenPoint(), Qt::black));
}

void TestPrint::confirmedPrinterServesEveryWindow() {
    QWidget first, second;
    const QString pdf = dir_.filePath(QStringLiteral("first.pdf"));
    configurePdf(ProcessPrinter(), pdf, 300);
    // What the dialog would write into the printer on OK.
    answerPrintDialog(QDialog::Accepted, [] { ProcessPrinter().setCopyCount(3); });

    PrintDocument(&first, "/music/a.m3u", entriesOf(testsupport::list({"x.mp3"})), tenPoint(),
                  Qt::black);
    QCOMPARE(shown_.size(), 1u);
    auto* dialog = qobject_cast<QPrintDialog*>(shown_[0]);
    QVERIFY(dialog);
    QCOMPARE(dialog->objectName(), QStringLiteral("PrintDialog1"));
    QCOMPARE(dialog->parent(), &first);
    QCOMPARE(dialog->printer(), &ProcessPrinter());
    QVERIFY(!dialog->testOption(QAbstractPrintDialog::PrintToFile));
    QVERIFY(!dialog->testOption(QAbstractPrintDialog::PrintSelection));
    QVERIFY(!dialog->testOption(QAbstractPrintDialog::PrintPageRange));
    QVERIFY(!dialog->testOption(QAbstractPrintDialog::PrintCurrentPage));
    QCOMPARE(ProcessPrinter().copyCount(), 3);
    QCOMPARE(ProcessPrinter().docName(), QString());
    QCOMPARE(run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")})
                 .split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                 .mid(0, 2),
             (QStringList{QStringLiteral("/music/a.m3u"), QStringLiteral("x.mp3")}));

    // Chosen once in this run: the default printer no longer matters, and another window's
    // own dialog prints on the same printer.
    SetDefaultPrinterProbe([] { return false; });
    const QString pdf2 = dir_.filePath(QStringLiteral("second.pdf"));
    ProcessPrinter().setOutputFileName(pdf2);
    answerPrintDialog(QDialog::Accepted);
    PrintDocument(&second, "/music/b.m3u", numbered(1), tenPoint(), Qt::black);
    QCOMPARE(shown_.size(), 2u);
    QCOMPARE(shown_[1]->parent(), &second);
    QCOMPARE(qobject_cast<QPrintDialog*>(shown_[1])->printer(), &ProcessPrinter());
    QVERIFY(QFile::exists(pdf2));

    // The window keeps its dialog.
    answerPrintDialog(QDialog::Accepted);
    PrintDocument(&first, "/music/a.m3u", numbered(1), tenPoint(), Qt::black);
    QCOMPARE(shown_[2], shown_[0]);
    QVERIFY(prompts_->errors.isEmpty());
}

QTEST_MAIN(TestPrint)
#include "tst_print.moc"
