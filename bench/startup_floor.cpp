// The floor of bench_startup: the least a program of this toolkit does to show a list. A main
// window holding a list of the playlist's lines, read with no more than QFile; it logs
// "painted" to CADRELL_EVENT_LOG the first time the list paints rows, as the program does.
//
//   startup_floor <playlist>

#include <QApplication>
#include <QFile>
#include <QListView>
#include <QMainWindow>
#include <QStringListModel>

namespace {

class List : public QListView {
protected:
    void paintEvent(QPaintEvent* event) override {
        QListView::paintEvent(event);
        if (logged_ || !model() || model()->rowCount() == 0)
            return;
        logged_ = true;
        QFile log(qEnvironmentVariable("CADRELL_EVENT_LOG"));
        if (log.open(QIODevice::WriteOnly | QIODevice::Append))
            log.write("painted\t" + QByteArray::number(model()->rowCount()) + '\n');
    }

private:
    bool logged_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QStringList lines;
    if (argc > 1) {
        QFile file(QFile::decodeName(argv[1]));
        if (file.open(QIODevice::ReadOnly))
            lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    }
    QMainWindow window;
    auto* list = new List;
    list->setModel(new QStringListModel(lines, list));
    window.setCentralWidget(list);
    window.resize(760, 540);
    window.show();
    return app.exec();
}
