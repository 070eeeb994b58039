#include <QAction>
#include <QItemSelectionModel>
#include <QtTest>

#include "core/playlist/Editing.h"
#include "testsupport/FakeHost.h"
#include "testsupport/ScriptedPrompts.h"
#include "testsupport/TestSupport.h"
#include "ui/playlist/Childwin.h"
#include "ui/playlist/PlaylistListView.h"
#include "ui/playlist/PlaylistTools.h"

using namespace cadrell;
using testsupport::FakeHost;

namespace {

QByteArray joined(const PlaylistDocument& doc) {
    const std::vector<QByteArray> all = doc.Entries().toVector();
    return QByteArrayList(all.begin(), all.end()).join('|');
}

void selectRow(TMDIChild* child, int row) {
    child->ListView1->selectionModel()->select(child->ListView1->model()->index(row, 0),
                                               QItemSelectionModel::ClearAndSelect);
}

}  // namespace

// Document windows without the frame: everything they share goes through the host.
class TestDocumentHost : public QObject {
    Q_OBJECT

    testsupport::ScriptedPrompts prompts;

private slots:
    void clipboardIsTheHosts() {
        FakeHost host;
        TMDIChild from(host), to(host);
        editing::AppendNames(from.Document, {"a.mp3", "b.mp3"});
        selectRow(&from, 1);
        from.MenuCopy->trigger();
        QCOMPARE(host.clipboard.toVector(), testsupport::list({"b.mp3"}));
        to.MenuPaste->trigger();
        QCOMPARE(joined(to.Document), QByteArray("b.mp3"));
        QVERIFY(host.commandRefreshes > 0);
    }

    void frameCommandsGoToTheHost() {
        FakeHost host;
        TMDIChild child(host);
        child.MenuNew->trigger();
        child.MenuOpen->trigger();
        child.MenuExit->trigger();
        QCOMPARE(host.commands, QStringList({"new", "open", "exit"}));
    }

    void toolReportsThroughTheHost() {
        FakeHost host;
        TMDIChild child(host);
        editing::AppendNames(child.Document, {"b.mp3", "a.mp3"});
        child.MenuReverse->trigger();
        QTRY_VERIFY(!child.tools()->busy());
        QTRY_VERIFY(!child.statusMessage().isEmpty());
        QVERIFY(host.statusRefreshes > 0);
        QCOMPARE(host.progressDepth, 0);
        QCOMPARE(joined(child.Document), QByteArray("a.mp3|b.mp3"));
    }
};

QTEST_MAIN(TestDocumentHost)
#include "tst_documenthost.moc"
