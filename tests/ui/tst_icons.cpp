// The file-type icon list: indices by type, the shared system list and its private copy, and the
// list view asking for icons only for the rows it paints.

#include <QtTest>

#include <QAbstractListModel>
#include <QBuffer>
#include <QVBoxLayout>

#include "core/platform/Error.h"
#include "core/platform/PathParts.h"
#include "core/playlist/PlaylistDocument.h"
#include "testsupport/TestSupport.h"
#include "ui/platform/FileIcons.h"
#include "ui/platform/SystemImageList.h"
#include "ui/playlist/PlaylistListView.h"
#include "ui/playlist/PlaylistModel.h"

using namespace cadrell;

Q_DECLARE_METATYPE(cadrell::FileKind)

namespace {

// Counts the icons a view asks for.
class CountingModel : public QAbstractListModel {
public:
    explicit CountingModel(int rows) : rows_(rows) {}
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : rows_;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::DecorationRole)
            ++iconRequests;
        if (role == Qt::DisplayRole)
            return QStringLiteral("entry %1.mp3").arg(index.row());
        return {};
    }
    void rebuild(int rows) {
        beginResetModel();
        rows_ = rows;
        endResetModel();
    }
    mutable int iconRequests = 0;

private:
    int rows_;
};

}  // namespace

class TestIcons : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void sameTypeSameIndex_data();
    void sameTypeSameIndex();
    void kindByName_data();
    void kindByName();
    void existingObjectDecides();
    void lookupNameOfEntries_data();
    void lookupNameOfEntries();
    void kindsLookDifferent_data();
    void kindsLookDifferent();
    void sameIndexInBothSizes();

    void sizesAndVersion();
    void shareImagesSwitch();
    void busyCursorRestoredOnFailure();
    void writeImagesToStream();

    void modelShowsEntryIcons();
    void onlyPaintedRowsAskForIcons();

private:
    TSystemImageList* frameList_ = nullptr;
    FileIcons& icons() { return FileIcons::Instance(); }
};

void TestIcons::initTestCase() {
    // The program's own pictures, whatever icon theme this machine may have.
    icons().SetUseTheme(false);
    // As the frame sets it up: constructed, then switched to small icons in FormCreate.
    frameList_ = new TSystemImageList(this);
    frameList_->SetImageSize(isSmall);
}

void TestIcons::sameTypeSameIndex_data() {
    QTest::addColumn<QByteArray>("a");
    QTest::addColumn<QByteArray>("b");
    QTest::addColumn<bool>("same");
    QTest::newRow("a.mp3 b.mp3") << QByteArray("a.mp3") << QByteArray("b.mp3") << true;
    QTest::newRow("a.mp3 a.wav") << QByteArray("a.mp3") << QByteArray("a.wav") << false;
    QTest::newRow("case of the extension") << QByteArray("a.m3u") << QByteArray("B.M3U") << true;
    QTest::newRow("playlist and audio") << QByteArray("a.m3u") << QByteArray("a.mp3") << false;
    QTest::newRow("two addresses")
        << QByteArray("http://a.example/x") << QByteArray("https://b.example/y.mp3") << true;
    QTest::newRow("address and file")
        << QByteArray("http://a.example/y.mp3") << QByteArray("y.mp3") << false;
    QTest::newRow("no extension, empty") << QByteArray("track01") << QByteArray("") << true;
}

void TestIcons::sameTypeSameIndex() {
    QFETCH(QByteArray, a);
    QFETCH(QByteArray, b);
    QFETCH(bool, same);
    const int ia = frameList_->GetFileImageIndex(a, false, false, 0);
    const int ib = frameList_->GetFileImageIndex(b, false, false, 0);
    QCOMPARE(ia == ib, same);
    // Asking again costs nothing new and answers the same.
    const int count = icons().Count();
    QCOMPARE(frameList_->GetFileImageIndex(a, false, false, 0), ia);
    QCOMPARE(frameList_->GetFileImageIndex(a, true, false, 0), ia);  // selection: same picture
    QCOMPARE(icons().Count(), count);
}

void TestIcons::kindByName_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<unsigned>("attributes");
    QTest::addColumn<FileKind>("kind");
    const unsigned none = 0;
    QTest::newRow("mp3") << QByteArray("a.mp3") << none << FileKind::Audio;
    QTest::newRow("wav") << QByteArray("a.wav") << none << FileKind::Audio;
    QTest::newRow("flac") << QByteArray("a.flac") << none << FileKind::Audio;
    QTest::newRow("mkv") << QByteArray("a.mkv") << none << FileKind::Video;
    QTest::newRow("m3u") << QByteArray("a.m3u") << none << FileKind::Playlist;
    QTest::newRow("m3u8") << QByteArray("a.m3u8") << none << FileKind::Playlist;
    QTest::newRow("pls") << QByteArray("a.pls") << none << FileKind::Playlist;
    QTest::newRow("png") << QByteArray("cover.png") << none << FileKind::Image;
    QTest::newRow("txt") << QByteArray("notes.txt") << none << FileKind::Text;
    QTest::newRow("no extension") << QByteArray("track01") << none << FileKind::Unknown;
    QTest::newRow("empty name") << QByteArray("") << none << FileKind::Unknown;
    QTest::newRow("http") << QByteArray("http://radio.example:8000/live") << none << FileKind::Web;
    QTest::newRow("https media") << QByteArray("https://x.example/a.mp3") << none << FileKind::Web;
    QTest::newRow("mms") << QByteArray("mms://x.example/s") << none << FileKind::Web;
    QTest::newRow("file address is a file")
        << QByteArray("file:///nowhere/a%20b.mp3") << none << FileKind::Audio;
    QTest::newRow("drive is no scheme") << QByteArray("C://x.mp3") << none << FileKind::Audio;
    QTest::newRow("directory attribute")
        << QByteArray("nowhere.mp3") << unsigned(TFileAttribute::Directory) << FileKind::Folder;
    QTest::newRow("other attributes: by name")
        << QByteArray("nowhere.mp3") << (TFileAttribute::ReadOnly | TFileAttribute::Archive)
        << FileKind::Audio;
}

void TestIcons::kindByName() {
    QFETCH(QByteArray, name);
    QFETCH(unsigned, attributes);
    QFETCH(FileKind, kind);
    const int index = frameList_->GetFileImageIndex(name, false, false, attributes);
    QCOMPARE(icons().Kind(index), kind);
    QVERIFY(!frameList_->Image(index).isNull());
}

void TestIcons::existingObjectDecides() {
    // A folder whose name looks like a song, in the current folder.
    const QString base = testsupport::homeDir() + QStringLiteral("/cwd");
    QVERIFY(QDir().mkpath(base + QStringLiteral("/album.mp3")));
    testsupport::writeFile(QStringLiteral("cwd/song"), QByteArray("#EXTM3U\n"));
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(base));
    auto kind = [&](const char* name, bool open, unsigned attributes = 0) {
        return icons().Kind(frameList_->GetFileImageIndex(name, false, open, attributes));
    };

    // The disk is asked on a worker; until it answers, the name decides.
    QTRY_COMPARE(kind("album.mp3", false), FileKind::Folder);
    QCOMPARE(kind("album.mp3", false, unsigned(TFileAttribute::Normal)), FileKind::Audio);
    const int folder = frameList_->GetFileImageIndex("album.mp3", false, false, 0);
    const int open = frameList_->GetFileImageIndex("album.mp3", false, true, 0);
    QCOMPARE(icons().Kind(open), FileKind::Folder);
    QVERIFY(open != folder);
    // An existing file without an extension is known by its content.
    QTRY_COMPARE(kind("song", false), FileKind::Playlist);
    QCOMPARE(kind("missing", false), FileKind::Unknown);
    QTest::qWait(50);  // the worker's answer about it changes nothing
    QCOMPARE(kind("missing", false), FileKind::Unknown);

    QVERIFY(QDir::setCurrent(previous));
    QCOMPARE(kind("album.mp3", false), FileKind::Audio);
}

void TestIcons::lookupNameOfEntries_data() {
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<FileKind>("kind");  // once the disk has answered
    QTest::newRow("windows path") << QByteArray("C:\\Songs\\a.mp3") << QByteArray("a.mp3")
                                  << FileKind::Audio;
    QTest::newRow("unix path") << QByteArray("/home/u/a.wav") << QByteArray("a.wav")
                               << FileKind::Audio;
    QTest::newRow("folder with backslash")
        << QByteArray("C:\\Songs\\") << QByteArray("") << FileKind::Unknown;
    QTest::newRow("folder with slash")
        << QByteArray("/home/u/songs/") << QByteArray("") << FileKind::Unknown;
    QTest::newRow("comment line") << QByteArray("#EXTINF:12,Title") << QByteArray("12,Title")
                                  << FileKind::Unknown;
    const QByteArray folder = QFile::encodeName(testsupport::homeDir() + QStringLiteral("/albums"));
    QDir().mkpath(QFile::decodeName(folder));
    // The whole path of an existing folder is asked about on the disk as well.
    QTest::newRow("existing folder") << folder << QByteArray("albums") << FileKind::Folder;
    QTest::newRow("existing folder with slash")
        << folder + '/' << QByteArray("") << FileKind::Unknown;
    QTest::newRow("missing folder") << folder + "x" << QByteArray("albumsx") << FileKind::Unknown;
    QTest::newRow("web address whole") << QByteArray("http://radio.example/")
                                       << QByteArray("http://radio.example/") << FileKind::Web;
}

void TestIcons::lookupNameOfEntries() {
    QFETCH(QByteArray, entry);
    QFETCH(QByteArray, name);
    QFETCH(FileKind, kind);
    QCOMPARE(IconLookupName(entry), name);
    QTRY_COMPARE(icons().Kind(frameList_->GetEntryImageIndex(entry)), kind);
}

void TestIcons::kindsLookDifferent_data() {
    QTest::addColumn<QString>("theme");
    QTest::newRow("no theme") << QString();
    // With a desktop theme, where this machine has one: a playlist must still not look like a song
    // (themes give it the generic audio picture).
    QTest::newRow("Adwaita") << QStringLiteral("Adwaita");
}

void TestIcons::kindsLookDifferent() {
    QFETCH(QString, theme);
    if (!theme.isEmpty()) {
        QIcon::setThemeSearchPaths(QIcon::themeSearchPaths() +
                                   QStandardPaths::locateAll(QStandardPaths::GenericDataLocation,
                                                             QStringLiteral("icons"),
                                                             QStandardPaths::LocateDirectory));
        QIcon::setThemeName(theme);
        if (!QIcon::hasThemeIcon(QStringLiteral("folder")))
            QSKIP("no such icon theme here");
        icons().SetUseTheme(true);
    }
    auto restore = qScopeGuard([] {
        QIcon::setThemeName(QString());
        FileIcons::Instance().SetUseTheme(false);
    });
    const QByteArray names[] = {"a.mp3",  "a.mkv", "a.m3u", "a.png", "a.txt", "http://x.example/",
                                "track01"};
    std::vector<QImage> pictures;
    for (const QByteArray& n : names)
        pictures.push_back(
            frameList_->Image(frameList_->GetFileImageIndex(n, false, false, 0)).toImage());
    pictures.push_back(frameList_
                           ->Image(frameList_->GetFileImageIndex(
                               "x", false, false, unsigned(TFileAttribute::Directory)))
                           .toImage());
    static std::vector<QImage> shipped;
    if (theme.isEmpty())
        shipped = pictures;
    else
        QVERIFY(pictures.back() != shipped.back());  // the theme's folder, not ours
    for (size_t i = 0; i < pictures.size(); ++i) {
        QVERIFY(!pictures[i].isNull());
        for (size_t j = i + 1; j < pictures.size(); ++j)
            QVERIFY2(pictures[i] != pictures[j], qPrintable(QStringLiteral("%1 %2").arg(i).arg(j)));
    }
}

void TestIcons::sameIndexInBothSizes() {
    TSystemImageList large;
    const int index = large.GetFileImageIndex("tune.ogg", false, false, 0);
    QCOMPARE(frameList_->GetFileImageIndex("tune.ogg", false, false, 0), index);
    QCOMPARE(large.Image(index).deviceIndependentSize().toSize(), QSize(32, 32));
    QCOMPARE(frameList_->Image(index).deviceIndependentSize().toSize(), QSize(16, 16));
    QVERIFY(frameList_->Image(-1).isNull());
    QVERIFY(frameList_->Image(icons().Count()).isNull());
}

void TestIcons::sizesAndVersion() {
    QCOMPARE(frameList_->Height(), 16);
    QCOMPARE(frameList_->Width(), 16);
    QCOMPARE(frameList_->ImageSize(), isSmall);

    TSystemImageList fresh;
    QCOMPARE(fresh.ImageSize(), isLarge);
    QVERIFY(fresh.ShareImages());
    QCOMPARE(fresh.Handle(), icons().LargeList());
    QCOMPARE(fresh.Height(), 32);

    QSignalSpy changes(&fresh, &TSystemImageList::Change);
    fresh.SetImageSize(isLarge);  // unchanged: nothing happens
    QCOMPARE(changes.count(), 0);
    fresh.SetImageSize(isSmall);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(fresh.Handle(), icons().SmallList());
    fresh.SetName(QStringLiteral("Renamed"));
    QCOMPARE(changes.count(), 2);
    QCOMPARE(fresh.objectName(), QStringLiteral("Renamed"));

    QCOMPARE(fresh.Version(), QStringLiteral("TSystemImageList v1.16"));
    fresh.SetVersion(QStringLiteral("anything"));
    QCOMPARE(fresh.Version(), QStringLiteral("TSystemImageList v1.16"));
}

void TestIcons::shareImagesSwitch() {
    TSystemImageList list;
    list.SetImageSize(isSmall);
    const int mp3 = list.GetFileImageIndex("a.mp3", false, false, 0);
    const ImageList* system = list.Handle();
    QCOMPARE(system, icons().SmallList());
    QPointer<const ImageList> systemAlive(system);
    QSignalSpy changes(&list, &TSystemImageList::Change);

    list.SetShareImages(false);
    QVERIFY(!list.ShareImages());
    QCOMPARE(changes.count(), 1);
    QPointer<const ImageList> copy(list.Handle());
    QVERIFY(copy && copy != system);
    QCOMPARE(copy->Count(), system->Count());
    QCOMPARE(list.Image(mp3).toImage(), system->Image(mp3).toImage());
    QVERIFY(!QApplication::overrideCursor());  // the busy cursor is gone again

    list.SetImageSize(isLarge);  // a new private copy, the old one freed
    QVERIFY(!copy);
    copy = list.Handle();
    QCOMPARE(list.Height(), 32);

    list.SetShareImages(true);
    QVERIFY(!copy);        // the private copy is freed...
    QVERIFY(systemAlive);  // ...and the system lists never are
    QCOMPARE(list.Handle(), icons().LargeList());
    QVERIFY(!frameList_->Image(mp3).isNull());

    {
        TSystemImageList gone;
        gone.SetShareImages(false);
        copy = gone.Handle();
    }
    QVERIFY(!copy);
    QVERIFY(systemAlive);
}

void TestIcons::busyCursorRestoredOnFailure() {
    QVERIFY(!QApplication::overrideCursor());
    try {
        BusyCursor busy;
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        throw Error(QStringLiteral("copy failed"));
    } catch (const Error&) {
    }
    QVERIFY(!QApplication::overrideCursor());
}

void TestIcons::writeImagesToStream() {
    TSystemImageList list;
    list.SetImageSize(isSmall);
    list.GetFileImageIndex("a.mp3", false, false, 0);
    list.GetFileImageIndex("a.wav", false, false, 0);
    const int count = list.Handle()->Count();
    QVERIFY(count >= 2);

    QBuffer stream;
    stream.open(QIODevice::WriteOnly);
    list.WriteImagesToStream(stream);
    QVERIFY(stream.data().startsWith("BM"));
    QImage bitmap;
    QVERIFY(bitmap.loadFromData(stream.data(), "BMP"));
    const int columns = std::min(count, ImageList::kBitmapColumns);
    QCOMPARE(bitmap.width(), columns * 16);
    QCOMPARE(bitmap.height(), (count + columns - 1) / columns * 16);

    QBuffer readOnly;
    readOnly.open(QIODevice::ReadOnly);
    QVERIFY_THROWS_EXCEPTION(Error, list.WriteImagesToStream(readOnly));
}

void TestIcons::modelShowsEntryIcons() {
    PlaylistDocument doc;
    doc.edit([](EntryList& e) {
        e.append("C:\\Songs\\a.mp3");
        e.append("/music/b.mp3");
    });
    PlaylistModel model(&doc, frameList_);
    const QVariant a = model.data(model.index(0), Qt::DecorationRole);
    const QVariant b = model.data(model.index(1), Qt::DecorationRole);
    const QImage audio =
        frameList_->Image(frameList_->GetFileImageIndex("x.mp3", false, false, 0)).toImage();
    QCOMPARE(a.value<QPixmap>().toImage(), audio);
    QCOMPARE(b.value<QPixmap>().toImage(), audio);
}

void TestIcons::onlyPaintedRowsAskForIcons() {
    QWidget top;
    auto* view = new PlaylistListView(&top);
    view->setImageList(frameList_);
    auto* layout = new QVBoxLayout(&top);
    layout->addWidget(view);
    CountingModel model(100000);
    view->setModel(&model);
    top.resize(300, 300);
    top.show();
    QVERIFY(QTest::qWaitForWindowExposed(&top));
    view->grab();  // one full paint
    const int rowHeight = view->visualRect(model.index(0)).height();
    QVERIFY(rowHeight > 0);
    const int visibleRows = view->viewport()->height() / rowHeight + 2;
    QVERIFY(model.iconRequests > 0);
    QVERIFY2(model.iconRequests <= 3 * visibleRows,
             qPrintable(QString::number(model.iconRequests)));

    model.iconRequests = 0;
    model.rebuild(100001);
    QCoreApplication::processEvents();
    view->grab();
    QVERIFY2(model.iconRequests <= 3 * visibleRows,
             qPrintable(QString::number(model.iconRequests)));
}

QTEST_MAIN(TestIcons)
#include "tst_icons.moc"
