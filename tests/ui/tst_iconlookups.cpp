// Icons that never wait: the disk looked at on a worker that nothing waits for, entries of any
// length looked up by their tail, no MIME database, and pictures read when first drawn.

#include <QtTest>

#include <QMutex>
#include <QPainter>
#include <QProcess>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QWaitCondition>
#include <atomic>
#include <memory>
#include <set>

#include "core/playlist/PlaylistDocument.h"
#include "testsupport/TestSupport.h"
#include "ui/frame/Main.h"
#include "ui/platform/FileIcons.h"
#include "ui/platform/LazyIcon.h"
#include "ui/platform/SystemImageList.h"
#include "ui/playlist/Childwin.h"
#include "ui/playlist/PlaylistListView.h"
#include "ui/playlist/PlaylistModel.h"

using namespace cadrell;

Q_DECLARE_METATYPE(cadrell::FileKind)

class TestIconLookups : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void hugeEntriesAreLookedUpByTheirTail_data();
    void hugeEntriesAreLookedUpByTheirTail();
    void hungDiskNeitherStopsPaintingNorClosing();
    void startsWithoutMimeDatabase();
    void lazyIconDrawsLikeItsFiles_data();
    void lazyIconDrawsLikeItsFiles();
    void lazyStandardIconsDrawLikeTheStyle();

private:
    TSystemImageList* frameList_ = nullptr;
    FileIcons& icons() { return FileIcons::Instance(); }
};

void TestIconLookups::initTestCase() {
    icons().SetUseTheme(false);
    frameList_ = new TSystemImageList(this);
    frameList_->SetImageSize(isSmall);
}

void TestIconLookups::hugeEntriesAreLookedUpByTheirTail_data() {
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<FileKind>("kind");
    // Sixteen megabytes stand for any length: every repaint reads only the tail.
    const QByteArray run(16 << 20, 'a');
    const QByteArray tail = run.last(kMaxNameBytes - 4) + ".mp3";
    QTest::newRow("path with a huge folder part")
        << "/music/" + run + "/song.ogg" << QByteArray("song.ogg") << FileKind::Audio;
    QTest::newRow("path with a huge name") << "/music/" + run + ".mp3" << tail << FileKind::Audio;
    QTest::newRow("no delimiter at all") << run + ".mp3" << tail << FileKind::Audio;
    QTest::newRow("name of exactly the longest length") << "/x/" + tail << tail << FileKind::Audio;
    QTest::newRow("web address") << "http://radio.example/" + run << QByteArray("http://")
                                 << FileKind::Web;
    QTest::newRow("file address") << "file:///music/" + run + ".flac"
                                  << "file:///" + run.last(kMaxNameBytes - 5) + ".flac"
                                  << FileKind::Audio;
}

void TestIconLookups::hugeEntriesAreLookedUpByTheirTail() {
    QFETCH(QByteArray, entry);
    QFETCH(QByteArray, name);
    QFETCH(FileKind, kind);
    QCOMPARE(IconLookupName(entry), name);
    // The disk is never asked about a name no file system could hold.
    auto longest = std::make_shared<std::atomic<qsizetype>>(0);
    icons().Lookups()->setProbe([longest](const QByteArray& path, IconLookups::Depth) {
        qsizetype seen = longest->load();
        while (path.size() > seen && !longest->compare_exchange_weak(seen, path.size())) {
        }
        return ObjectProbe{};
    });
    auto restore = qScopeGuard([] { FileIcons::Instance().Lookups()->setProbe({}); });
    PlaylistDocument doc;
    doc.edit([&](EntryList& e) { e.append(entry); });
    PlaylistModel model(&doc, frameList_);
    const QPixmap shown = model.data(model.index(0), Qt::DecorationRole).value<QPixmap>();
    QCOMPARE(shown.toImage(), frameList_->Image(frameList_->GetEntryImageIndex(entry)).toImage());
    QCOMPARE(icons().Kind(frameList_->GetEntryImageIndex(entry)), kind);
    QTest::qWait(20);
    QVERIFY(longest->load() <= kMaxPathBytes);
}

namespace {

// A mount that does not answer until it is let go: every question to it waits. Asked on the
// interface thread it answers at once, so a fault shows as a failed check rather than a hang.
struct DeadMount {
    QMutex mutex;
    QWaitCondition released;
    bool free = false;
    std::atomic<int> asked{0};
    std::atomic<int> askedOnInterfaceThread{0};
    QThread* interfaceThread = QThread::currentThread();

    ObjectProbe probe(const QByteArray& path, IconLookups::Depth depth) {
        if (QThread::currentThread() == interfaceThread) {
            ++askedOnInterfaceThread;
            return {};
        }
        ++asked;
        {
            QMutexLocker lock(&mutex);
            while (!free)
                released.wait(&mutex);
        }
        ObjectProbe answer;
        if (path == "/hung/album") {
            answer.state = ObjectProbe::Folder;
        } else if (path.endsWith("/track01") && depth == IconLookups::Depth::Content) {
            answer.state = ObjectProbe::File;
            answer.head = "#EXTM3U\n#EXTINF:1,x\n";
        } else if (path.startsWith("/hung/")) {
            answer.state = ObjectProbe::File;
        }
        return answer;
    }
    void release() {
        QMutexLocker lock(&mutex);
        free = true;
        released.wakeAll();
    }
};

}  // namespace

void TestIconLookups::hungDiskNeitherStopsPaintingNorClosing() {
    auto mount = std::make_shared<DeadMount>();
    icons().ForgetObjects();
    icons().Lookups()->setProbe([mount](const QByteArray& path, IconLookups::Depth depth) {
        return mount->probe(path, depth);
    });
    auto restore = qScopeGuard([mount] {
        mount->release();
        FileIcons::Instance().Lookups()->setProbe({});
        FileIcons::Instance().ForgetObjects();
    });
    const QByteArray lines = "/hung/a.mp3\n/hung/track01\n/hung/album\n/hung/b.ogg\n";
    const QString file = testsupport::writeFile(QStringLiteral("hung.m3u"), lines);

    // A window of the frame paints its rows while the disk does not answer, and closes.
    auto frame = std::make_unique<TCadrellMainForm>(QByteArray(), false);
    frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
    frame->OpenPlaylist(QFile::encodeName(file));
    TMDIChild* child = frame->ActiveDocumentWindow();
    QVERIFY(child);
    QVERIFY(!child->ListView1->grab().isNull());
    QTRY_VERIFY(mount->asked > 0);
    QVERIFY(!child->ListView1->grab().isNull());  // and again, with the worker stuck

    // A second list of the same entries, to see the answers arrive.
    PlaylistDocument doc;
    doc.edit([&](EntryList& e) {
        for (const QByteArray& line : lines.split('\n'))
            if (!line.isEmpty())
                e.append(line);
    });
    PlaylistModel model(&doc, frameList_);
    QWidget top;
    auto* view = new PlaylistListView(&top);
    view->setImageList(frameList_);
    view->setModel(&model);
    top.resize(300, 200);
    top.show();
    QVERIFY(QTest::qWaitForWindowExposed(&top));
    view->grab();
    auto kindOf = [&](int row) {
        return icons().Kind(frameList_->GetEntryImageIndex(doc.Entries().at(row)));
    };
    // Meanwhile the name decides.
    QCOMPARE(kindOf(0), FileKind::Audio);
    QCOMPARE(kindOf(1), FileKind::Unknown);
    QCOMPARE(kindOf(2), FileKind::Unknown);

    QVERIFY(frame->close());
    frame.reset();

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    mount->release();
    QTRY_COMPARE(kindOf(2), FileKind::Folder);
    QTRY_COMPARE(kindOf(1), FileKind::Playlist);
    QTRY_COMPARE(changed.size(), 2);
    QTest::qWait(20);
    std::set<int> rows;
    for (const QList<QVariant>& signal : std::as_const(changed)) {
        const auto from = signal.at(0).value<QModelIndex>(), to = signal.at(1).value<QModelIndex>();
        QCOMPARE(from, to);  // one row each
        QCOMPARE(signal.at(2).value<QList<int>>(), QList<int>{Qt::DecorationRole});
        rows.insert(from.row());
    }
    QCOMPARE(rows, (std::set<int>{1, 2}));
    const QImage folder = frameList_
                              ->Image(frameList_->GetFileImageIndex(
                                  "x", false, false, unsigned(TFileAttribute::Directory)))
                              .toImage();
    QCOMPARE(model.data(model.index(2), Qt::DecorationRole).value<QPixmap>().toImage(), folder);
    QCOMPARE(mount->askedOnInterfaceThread.load(), 0);
}

void TestIconLookups::startsWithoutMimeDatabase() {
    // No folder of the data path holds a MIME database: the program starts all the same and
    // shows its rows, each with the plain file's picture.
    const QString empty = testsupport::homeDir() + QStringLiteral("/no-mime");
    QVERIFY(QDir().mkpath(empty));
    const QString list = testsupport::writeFile(QStringLiteral("nomime.m3u"), "a.mp3\nb.m3u\n");
    const QString log = testsupport::homeDir() + QStringLiteral("/nomime-events.log");
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_DIRS"), empty);
    env.insert(QStringLiteral("XDG_DATA_HOME"), empty);
    env.insert(QStringLiteral("CADRELL_EVENT_LOG"), log);
    env.insert(QStringLiteral("CADRELL_EVENT_LOG_PAINTS"), QStringLiteral("1"));
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QStringLiteral(CADRELL_BINARY), {list});
    QVERIFY(program.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(testsupport::readFile(log).contains("painted\t2") ||
                                 program.state() == QProcess::NotRunning,
                             30000);
    QCOMPARE(program.state(), QProcess::Running);
    program.terminate();
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
}

void TestIconLookups::lazyIconDrawsLikeItsFiles_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("bitmap");
    QTest::addColumn<int>("extent");
    QTest::addColumn<int>("mode");
    const QString app = QStringLiteral(":/cadrell.svg"), big = QStringLiteral(":/cadrell-256.png");
    QTest::newRow("toolbar") << QStringLiteral(":/toolbar/save.svg") << QString() << 16
                             << int(QIcon::Normal);
    QTest::newRow("toolbar, disabled")
        << QStringLiteral(":/toolbar/save.svg") << QString() << 16 << int(QIcon::Disabled);
    QTest::newRow("file type") << QStringLiteral(":/filetypes/audio.svg") << QString() << 32
                               << int(QIcon::Normal);
    QTest::newRow("program, small") << app << big << 16 << int(QIcon::Normal);
    QTest::newRow("program, title bar") << app << big << 32 << int(QIcon::Normal);
    QTest::newRow("program, its bitmap's size") << app << big << 256 << int(QIcon::Normal);
    QTest::newRow("program, disabled") << app << big << 256 << int(QIcon::Disabled);
}

void TestIconLookups::lazyIconDrawsLikeItsFiles() {
    QFETCH(QString, file);
    QFETCH(QString, bitmap);
    QFETCH(int, extent);
    QFETCH(int, mode);
    QIcon read(file);
    if (!bitmap.isEmpty())
        read.addFile(bitmap);
    const QIcon lazy = LazyIcon({file}, bitmap, bitmap.isEmpty() ? QSize() : QSize(256, 256));
    QVERIFY(!lazy.isNull());
    const QSize size(extent, extent);
    QCOMPARE(lazy.pixmap(size, QIcon::Mode(mode)).toImage(),
             read.pixmap(size, QIcon::Mode(mode)).toImage());
    QCOMPARE(lazy.actualSize(size, QIcon::Mode(mode)), read.actualSize(size, QIcon::Mode(mode)));
    QCOMPARE(lazy.availableSizes(), read.availableSizes());
    // Drawn on a surface, through the same path a button takes.
    QImage drawnLazy(size, QImage::Format_ARGB32_Premultiplied), drawnRead(drawnLazy);
    drawnLazy.fill(Qt::transparent);
    drawnRead.fill(Qt::transparent);
    {
        QPainter p(&drawnLazy);
        lazy.paint(&p, QRect(QPoint(), size), Qt::AlignCenter, QIcon::Mode(mode));
    }
    {
        QPainter p(&drawnRead);
        read.paint(&p, QRect(QPoint(), size), Qt::AlignCenter, QIcon::Mode(mode));
    }
    QCOMPARE(drawnLazy, drawnRead);
}

void TestIconLookups::lazyStandardIconsDrawLikeTheStyle() {
    const QString name = QApplication::style()->name();
    const QStyle::StandardPixmap pictures[] = {QStyle::SP_ToolBarHorizontalExtensionButton,
                                               QStyle::SP_TitleBarCloseButton,
                                               QStyle::SP_TitleBarMenuButton,
                                               QStyle::SP_LineEditClearButton,
                                               QStyle::SP_DirIcon,
                                               QStyle::SP_FileIcon,
                                               QStyle::SP_MessageBoxCritical,
                                               QStyle::SP_ArrowBack};
    std::vector<QImage> expected;
    QWidget widget;
    QStyleOption option;
    option.initFrom(&widget);
    for (QStyle::StandardPixmap p : pictures) {
        expected.push_back(QApplication::style()->standardIcon(p).pixmap(16).toImage());
        expected.push_back(
            QApplication::style()->standardIcon(p, &option, &widget).pixmap(32).toImage());
    }
    UseLazyStandardIcons();
    auto restore = qScopeGuard([name] { QApplication::setStyle(QStyleFactory::create(name)); });
    // The same style, only lazier.
    auto* proxy = qobject_cast<QProxyStyle*>(QApplication::style());
    QVERIFY(proxy);
    QCOMPARE(proxy->baseStyle()->name(), name);
    QCOMPARE(proxy->objectName(), proxy->baseStyle()->objectName());
    std::vector<QImage> lazy;
    for (QStyle::StandardPixmap p : pictures) {
        lazy.push_back(QApplication::style()->standardIcon(p).pixmap(16).toImage());
        lazy.push_back(
            QApplication::style()->standardIcon(p, &option, &widget).pixmap(32).toImage());
    }
    QCOMPARE(lazy, expected);
}

QTEST_MAIN(TestIconLookups)
#include "tst_iconlookups.moc"
