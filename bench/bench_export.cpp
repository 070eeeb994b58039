// Times File > Export with Files against cp -r of the same files.
//
//   bench_export <files> <megabytes each> [folder]
//
// Writes the files (random bytes) and a playlist naming them into a new folder below `folder`
// (default: the temporary folder), then times, each into an empty folder of its own there:
//   plan     PlanExport of the playlist, and of a playlist of 10,000 items;
//   export   RunExport, which also syncs each copy to the disk before it takes its name;
//   cp -r    cp -r of the source folder, and cp -r followed by sync, which is what the export
//            promises: every copy on the disk when it says it is done.
// The sources were just written, so they are read from memory by all of them alike.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <atomic>
#include <cstdio>
#include <functional>

#include "core/playlist/Export.h"

using namespace cadrell;

namespace {

double seconds(const std::function<void()>& f) {
    QElapsedTimer t;
    t.start();
    f();
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

bool run(const QString& program, const QStringList& args) {
    return QProcess::execute(program, args) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    bool ok1 = false, ok2 = false;
    const int files = args.value(1).toInt(&ok1);
    const int megabytes = args.value(2).toInt(&ok2);
    if (!ok1 || !ok2 || files < 1 || megabytes < 0) {
        std::fprintf(stderr, "usage: bench_export <files> <megabytes each> [folder]\n");
        return 2;
    }
    const QString parent = args.size() > 3 ? args[3] : QDir::tempPath();
    QTemporaryDir work(parent + QStringLiteral("/cadrell-bench-export-XXXXXX"));
    if (!work.isValid()) {
        std::fprintf(stderr, "cannot make a folder in %s\n", qPrintable(parent));
        return 1;
    }
    const QString source = work.filePath(QStringLiteral("source"));
    QDir().mkpath(source + QStringLiteral("/album"));
    QByteArray data(qsizetype(megabytes) << 20, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(data.data()), data.size() / 4);
    EntryList entries;
    entries.append("#EXTM3U");
    for (int i = 0; i < files; ++i) {
        const QByteArray name = "album/track " + QByteArray::number(i) + ".mp3";
        QFile f(source + QLatin1Char('/') + QString::fromUtf8(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName()));
            return 1;
        }
        entries.append("#EXTINF:200,Track " + QByteArray::number(i));
        entries.append(name);
    }
    EntryList large;
    for (int i = 0; i < 10000; ++i) {
        large.append("#EXTINF:200,Track " + QByteArray::number(i));
        large.append("/music/artist " + QByteArray::number(i % 300) + "/album/track " +
                     QByteArray::number(i) + ".mp3");
    }

    ExportOptions options;
    options.targetFolder = QFile::encodeName(work.filePath(QStringLiteral("export")));
    options.playlistName = "list.m3u8";
    options.numberFiles = true;
    ExportPlan plan;
    const double planSeconds = seconds([&] {
        plan = PlanExport(entries, {}, QFile::encodeName(source), TextEncoding::Utf8, options);
    });
    const double planLarge =
        seconds([&] { PlanExport(large, {}, "/lists", TextEncoding::Utf8, options); });
    std::atomic<bool> cancel{false};
    ExportReport report;
    const double exportSeconds = seconds([&] { report = RunExport(plan, options, {}, cancel); });
    if (!report.error.isEmpty() || report.copied != files) {
        std::fprintf(stderr, "export failed: %s\n", qPrintable(report.error));
        return 1;
    }
    const double cpSeconds = seconds([&] {
        run(QStringLiteral("cp"), {QStringLiteral("-r"), source, work.filePath("cp")});
    });
    const double cpSyncSeconds = seconds([&] {
        run(QStringLiteral("cp"), {QStringLiteral("-r"), source, work.filePath("cp-sync")});
        run(QStringLiteral("sync"), {});
    });
    std::printf("%d files of %d MB\n", files, megabytes);
    std::printf("plan               %8.3f s\n", planSeconds);
    std::printf("plan 10,000 items  %8.3f s\n", planLarge);
    std::printf("export             %8.3f s\n", exportSeconds);
    std::printf("cp -r              %8.3f s\n", cpSeconds);
    std::printf("cp -r; sync        %8.3f s\n", cpSyncSeconds);
    return 0;
}
