#include <QtTest>
class TestPlaylistFile : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(TestPlaylistFile)
#include "tst_playlistfile.moc"
