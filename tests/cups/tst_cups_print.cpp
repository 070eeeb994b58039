// Runs under with-private-cups.sh: a CUPS server of its own whose default queue keeps every job.
#include <QComboBox>
#include <QDir>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QtEndian>
#include <QtTest>

#include "core/playlist/EntryList.h"
#include "testsupport/TestSupport.h"
#include "ui/platform/Prompts.h"
#include "ui/playlist/Print.h"

using namespace cadrell;

namespace {

// Shows the real print dialog (offscreen), sets the copies and presses Print, as a user would.
class DialogUser : public QtPrompts {
public:
    int exec(QDialog& dialog) override {
        auto* print = qobject_cast<QPrintDialog*>(&dialog);
        if (!print)
            return QDialog::Rejected;
        dialog.show();
        if (auto* printers = dialog.findChild<QComboBox*>(QStringLiteral("printers")))
            printerShown = printers->currentText();
        if (auto* copies = dialog.findChild<QSpinBox*>(QStringLiteral("copies")))
            copies->setValue(2);
        dialog.accept();
        return dialog.result();
    }
    void showError(QWidget*, const QString& text) override { errors << text; }

    QString printerShown;
    QStringList errors;
};

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(-1);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The value of an integer or text attribute in a CUPS job control file (IPP encoding).
QByteArray ippValue(const QByteArray& control, const QByteArray& name) {
    QByteArray key(2, '\0');
    qToBigEndian<quint16>(quint16(name.size()), key.data());
    key += name;
    const qsizetype at = control.indexOf(key);
    if (at < 0)
        return "<missing>";
    const qsizetype valueAt = at + key.size();
    const quint16 len = qFromBigEndian<quint16>(control.constData() + valueAt);
    return control.mid(valueAt + 2, len);
}

}  // namespace

class TestCupsPrint : public QObject {
    Q_OBJECT

private slots:
    void printsEveryEntryOnTheDefaultPrinter();
};

void TestCupsPrint::printsEveryEntryOnTheDefaultPrinter() {
    const QString queue = qEnvironmentVariable("CADRELL_TEST_CUPS_QUEUE");
    const QDir spool(qEnvironmentVariable("CADRELL_TEST_CUPS_SPOOL"));
    if (queue.isEmpty())
        QSKIP("needs the private CUPS server of with-private-cups.sh");
    QCOMPARE(QPrinterInfo::defaultPrinter().printerName(), queue);

    DialogUser user;
    Prompts::install(&user);
    EntryList entries;
    for (int i = 0; i < 300; ++i)
        entries.append(QByteArray("C:\\Music\\track ") + QByteArray::number(i + 1) + ".mp3");
    QWidget window;
    const QFont font(QStringLiteral("DejaVu Sans"), 10);
    PrintDocument(&window, "/music/long list.m3u", entries, font, Qt::black);
    Prompts::install(nullptr);

    QVERIFY(user.errors.isEmpty());
    QCOMPARE(user.printerShown, queue);
    QVERIFY(PrinterChosen());
    QCOMPARE(ProcessPrinter().printerName(), queue);

    // One job; a raw queue keeps the document exactly as the program handed it over.
    const QStringList documents = spool.entryList({QStringLiteral("d*")}, QDir::Files);
    QCOMPARE(documents.size(), 1);
    const QString document = spool.filePath(documents[0]);
    QVERIFY(testsupport::readFile(document).startsWith("%PDF"));

    // The server writes the job's attributes once the job is done.
    const QString controlFile =
        spool.filePath(QLatin1Char('c') + documents[0].mid(1, documents[0].indexOf('-') - 1));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(controlFile), 30000);
    const QByteArray control = testsupport::readFile(controlFile);
    QCOMPARE(ippValue(control, "job-name"), QByteArray());
    const QByteArray copies = ippValue(control, "copies");
    QCOMPARE(copies.size(), 4);
    QCOMPARE(qFromBigEndian<qint32>(copies.constData()), 2);

    const int h = PrintLineHeight(font, ProcessPrinter());
    const int perPage = ProcessPrinter().height() / h;
    const int pages = 1 + (300 - (perPage - 2) + perPage - 1) / perPage;
    QVERIFY(pages > 1);
    QVERIFY(run(QStringLiteral("pdfinfo"), {document})
                .contains(QRegularExpression(QStringLiteral("Pages:\\s+%1\\n").arg(pages))));

    const QStringList lines =
        run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), document, QStringLiteral("-")})
            .split(QLatin1Char('\n'));
    QCOMPARE(lines.value(0).trimmed(), QStringLiteral("/music/long list.m3u"));
    QCOMPARE(lines.value(1).trimmed(), QString());
    QStringList printed;
    for (const QString& line : lines)
        if (!line.trimmed().isEmpty())
            printed << line.trimmed().remove(QLatin1Char('\f'));
    QStringList expected{QStringLiteral("/music/long list.m3u")};
    for (qsizetype i = 0; i < entries.size(); ++i)
        expected << QString::fromLatin1(entries.at(i));
    QCOMPARE(printed, expected);
}

QTEST_MAIN(TestCupsPrint)
#include "tst_cups_print.moc"
