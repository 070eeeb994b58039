// Times the program's start from the outside: from starting the process until the rows of a
// 20-line playlist given on the command line are painted, as the program's event log reports
// it ("painted", with CADRELL_EVENT_LOG_PAINTS set). The process is then asked to end (SIGTERM) and
// the next start follows.
//
//   bench_startup [--runs N] [--markdown] [--raw] [program...]
//
// Without programs it times the cadrell beside the bench folder and startup_floor beside itself.
// The programs run with the platform this process has (run.sh: offscreen; under an X server,
// QT_QPA_PLATFORM=xcb with DISPLAY set), in a home and runtime folder of its own. One start
// before the timed ones fills the disk cache and writes the settings file, so every timed start
// is a start as users see it most days.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

extern char** environ;

namespace {

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "bench_startup: %s\n", what.c_str());
    std::exit(1);
}

double nowMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

bool logHolds(const QByteArray& log, const QByteArray& kind) {
    QFile f(QFile::decodeName(log));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line == kind || line.startsWith(kind + '\t'))
            return true;
    }
    return false;
}

struct Start {
    double wall = 0;  // ms from spawning the program until its log says the rows are painted
    double cpu = 0;   // ms of processor time the program had used by then, all its threads
};

Start timeOneStart(const QByteArray& binary, const QByteArray& playlist, const QByteArray& folder,
                   const QByteArray& log, const std::vector<QByteArray>& environment) {
    QFile::remove(QFile::decodeName(log));
    // Every write of the log ends with a close, which inotify reports without polling.
    const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (watch < 0 || inotify_add_watch(watch, folder.constData(), IN_CLOSE_WRITE) < 0)
        fail("cannot watch " + folder.toStdString());
    std::vector<char*> env;
    for (const QByteArray& e : environment)
        env.push_back(const_cast<char*>(e.constData()));
    env.push_back(nullptr);
    char* argv[] = {const_cast<char*>(binary.constData()), const_cast<char*>(playlist.constData()),
                    nullptr};

    // What the platform plugin has to say about itself is not part of the table.
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);

    const double start = nowMs();
    pid_t pid = 0;
    if (posix_spawn(&pid, binary.constData(), &quiet, nullptr, argv, env.data()) != 0)
        fail("cannot start " + binary.toStdString());
    posix_spawn_file_actions_destroy(&quiet);
    clockid_t cpuClock;
    if (clock_getcpuclockid(pid, &cpuClock) != 0)
        fail("cannot read the program's processor time");
    Start painted{-1, 0};
    while (painted.wall < 0) {
        pollfd p{watch, POLLIN, 0};
        if (poll(&p, 1, 30000) <= 0) {
            kill(pid, SIGKILL);
            fail("the program never reported painted rows");
        }
        const double at = nowMs();
        char events[4096];
        while (read(watch, events, sizeof events) > 0) {
        }
        if (logHolds(log, "painted")) {
            painted.wall = at - start;
            timespec cpu;
            if (clock_gettime(cpuClock, &cpu) == 0)
                painted.cpu =
                    static_cast<double>(cpu.tv_sec) * 1e3 + static_cast<double>(cpu.tv_nsec) / 1e6;
        }
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            fail("the program ended before it painted its rows");
    }
    close(watch);
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    // A program without a handler of its own (a floor to compare with) dies of the signal.
    if (!(WIFEXITED(status) && WEXITSTATUS(status) == 0) &&
        !(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM))
        fail("the program did not end normally on SIGTERM");
    return painted;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int runs = 10;
    bool markdown = false;
    bool raw = false;
    std::vector<QByteArray> programs;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--markdown")
            markdown = true;
        else if (a == "--raw")
            raw = true;
        else if (a.rfind("--", 0) == 0)
            fail("usage: bench_startup [--runs N] [--markdown] [--raw] [program...]");
        else
            programs.emplace_back(argv[i]);
    }
    // By default the program and the floor: a bare window of the toolkit with a 20-row list,
    // which shows what starting the toolkit alone costs on this machine.
    const QString here = QCoreApplication::applicationDirPath();
    if (programs.empty())
        programs = {QFile::encodeName(here + QStringLiteral("/../cadrell")),
                    QFile::encodeName(here + QStringLiteral("/startup_floor"))};
    for (QByteArray& p : programs) {
        p = QFile::encodeName(QFileInfo(QFile::decodeName(p)).canonicalFilePath());
        if (p.isEmpty())
            fail("a program to start is missing");
    }

    QTemporaryDir work;
    if (!work.isValid())
        fail("cannot make a work folder");
    const QString dir = work.path();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOME"), dir);
    for (const char* var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME",
                            "XDG_RUNTIME_DIR"}) {
        const QString folder = dir + QLatin1Char('/') + QLatin1String(var);
        QDir().mkpath(folder);
        QFile::setPermissions(
            folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        env.insert(QLatin1String(var), folder);
    }
    const QByteArray logFolder = QFile::encodeName(dir + QStringLiteral("/log"));
    QDir().mkpath(QFile::decodeName(logFolder));
    const QByteArray log = logFolder + "/events.log";
    env.insert(QStringLiteral("CADRELL_EVENT_LOG"), QFile::decodeName(log));
    env.insert(QStringLiteral("CADRELL_EVENT_LOG_PAINTS"), QStringLiteral("1"));
    std::vector<QByteArray> environment;
    for (const QString& e : env.toStringList())
        environment.push_back(e.toLocal8Bit());

    // Twenty lines as playlists hold them: ten items, each a title line and a path.
    QByteArray text = "#EXTM3U\n";
    const char* const kinds[] = {"mp3", "flac", "ogg", "m4a", "wav"};
    for (int i = 1; i <= 10; ++i) {
        text += "#EXTINF:" + QByteArray::number(180 + i) + ",Artist " + QByteArray::number(i) +
                " - Song " + QByteArray::number(i) + '\n';
        text += "/home/user/Music/Artist " + QByteArray::number(i) + "/Album/" +
                QByteArray::number(i).rightJustified(2, '0') + " Song." + kinds[i % 5] + '\n';
    }
    text.chop(1);
    const QByteArray playlist = QFile::encodeName(dir + QStringLiteral("/twenty.m3u"));
    QFile out(QFile::decodeName(playlist));
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size())
        fail("cannot write the playlist");
    out.close();

    // One untimed start each, then the timed ones in turns, so a burst of load on a shared
    // machine touches every program alike.
    for (const QByteArray& p : programs)
        timeOneStart(p, playlist, logFolder, log, environment);
    std::vector<std::vector<Start>> starts(programs.size());
    for (int run = 0; run < runs; ++run) {
        for (size_t k = 0; k < programs.size(); ++k)
            starts[k].push_back(timeOneStart(programs[k], playlist, logFolder, log, environment));
    }

    const QByteArray platform = env.value(QStringLiteral("QT_QPA_PLATFORM")).toLocal8Bit();
    std::printf(markdown ? "\n### Start-up, %s platform, median of %d starts\n\n"
                         : "\nstart-up, %s platform, median of %d starts\n",
                platform.constData(), runs);
    if (markdown)
        std::printf(
            "| program | start to first painted rows | processor time | target |\n"
            "|---|--:|--:|---|\n");
    // On a machine shared with other work the wall time is partly waiting for a processor; the
    // program's own processor time says what it costs.
    for (size_t k = 0; k < programs.size(); ++k) {
        std::vector<double> wall, cpu;
        for (const Start& s : starts[k]) {
            wall.push_back(s.wall);
            cpu.push_back(s.cpu);
        }
        if (raw) {
            std::fprintf(stderr, "%s, wall / processor ms:", programs[k].constData());
            for (const Start& s : starts[k])
                std::fprintf(stderr, " %.1f/%.1f", s.wall, s.cpu);
            std::fprintf(stderr, "\n");
        }
        // A program by its name, or by its path where two share a name (before and after).
        auto nameOf = [](const QByteArray& p) {
            return QFileInfo(QFile::decodeName(p)).fileName();
        };
        const bool shared =
            std::count_if(programs.begin(), programs.end(), [&](const QByteArray& p) {
                return nameOf(p) == nameOf(programs[k]);
            }) > 1;
        const std::string name =
            shared ? programs[k].toStdString() : nameOf(programs[k]).toStdString();
        const bool floor = name == "startup_floor";
        const double m = median(wall), c = median(cpu);
        const char* verdict = floor ? "" : m <= 40 ? "\u2264 40 ms: met" : "\u2264 40 ms: MISSED";
        if (markdown)
            std::printf("| %s | %.1f ms | %.1f ms | %s |\n",
                        floor ? "floor: a bare window with a 20-row list" : name.c_str(), m, c,
                        verdict);
        else
            std::printf("  %-42s %8.1f ms  %8.1f ms processor  %s\n",
                        floor ? "floor: a bare window with a 20-row list" : name.c_str(), m, c,
                        verdict);
    }
    return 0;
}
