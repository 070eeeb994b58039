// Times the playlist tools on large playlists against what the machine can do at best.
//
//   bench_tools [--runs N] [--markdown] <playlist>...
//
// The floors:
//   copy    a deep copy of every entry's bytes into one buffer sized in advance, plus a 16-byte
//           record per entry (as in bench_playlist);
//   memmem  memmem for the needle over all entries' bytes lying in one buffer, counting hits;
//   sort    std::stable_sort of the entries' byte strings by plain byte comparison;
//   stat    stat() of every name in a list of 100,000 absolute paths (for the missing files).

#include <malloc.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/playlist/Duplicates.h"
#include "core/playlist/EntryList.h"
#include "core/playlist/Finder.h"
#include "core/playlist/MissingFiles.h"
#include "core/playlist/PathTools.h"
#include "core/playlist/PlaylistFile.h"
#include "core/playlist/SortOrder.h"

using namespace cadrell;

namespace {

double timed(const std::function<void()>& f) {
    malloc_trim(0);
    QElapsedTimer t;
    t.start();
    f();
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.empty() ? 0 : v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

struct DeepCopy {
    QByteArray text;
    std::vector<std::pair<uint64_t, uint64_t>> spans;
};

DeepCopy copyFloor(const EntryList& entries) {
    DeepCopy c;
    c.text.resize(entries.liveBytes());
    c.spans.resize(static_cast<size_t>(entries.size()));
    uint64_t at = 0;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QByteArrayView e = entries.at(i);
        std::memcpy(c.text.data() + at, e.data(), static_cast<size_t>(e.size()));
        c.spans[static_cast<size_t>(i)] = {at, static_cast<uint64_t>(e.size())};
        at += static_cast<uint64_t>(e.size());
    }
    return c;
}

size_t memmemFloor(const QByteArray& all, const QByteArray& needle) {
    size_t hits = 0;
    const char* p = all.constData();
    const char* const end = p + all.size();
    while (const void* hit = memmem(p, static_cast<size_t>(end - p), needle.constData(),
                                    static_cast<size_t>(needle.size()))) {
        ++hits;
        p = static_cast<const char*>(hit) + needle.size();
    }
    return hits;
}

EntryList load(const QByteArray& path) {
    QByteArray data = ReadWholeFile(path);
    const auto lines = SplitLines(data);
    EntryList list;
    list.adopt(std::move(data), lines);
    return list;
}

struct Row {
    std::string name;
    double ms;
    std::string vs;
    double floor;
    double target;
};

void print(const std::vector<Row>& rows, bool markdown) {
    if (markdown)
        std::printf(
            "| measure | median | vs | ratio | target | result |\n|---|--:|---|--:|--:|---|\n");
    for (const Row& r : rows) {
        const double ratio = r.floor > 0 ? r.ms / r.floor : 0;
        char ratioText[32] = "", targetText[32] = "", result[16] = "";
        if (r.floor > 0)
            std::snprintf(ratioText, sizeof ratioText, "%.2f×", ratio);
        if (r.target > 0) {
            std::snprintf(targetText, sizeof targetText, "≤ %.1f×", r.target);
            std::snprintf(result, sizeof result, "%s", ratio <= r.target ? "met" : "MISSED");
        }
        if (markdown)
            std::printf("| %s | %.1f ms | %s | %s | %s | %s |\n", r.name.c_str(), r.ms,
                        r.vs.c_str(), ratioText, targetText, result);
        else
            std::printf("%-52s %9.1f ms  %-7s %8s %8s %s\n", r.name.c_str(), r.ms, r.vs.c_str(),
                        ratioText, targetText, result);
    }
}

void benchFile(const QByteArray& path, int runs, bool markdown) {
    const EntryList entries = load(path);
    std::map<std::string, std::vector<double>> t;
    const QByteArray needle("Shadow");
    const std::vector<int> none;
    size_t sink = 0;
    for (int run = 0; run < runs; ++run) {
        DeepCopy copy;
        t["copy floor"].push_back(timed([&] { copy = copyFloor(entries); }));
        t["memmem floor"].push_back(timed([&] { sink += memmemFloor(copy.text, needle); }));
        t["sort floor"].push_back(timed([&] {
            std::vector<std::string_view> v(static_cast<size_t>(entries.size()));
            for (qsizetype i = 0; i < entries.size(); ++i)
                v[static_cast<size_t>(i)] = std::string_view(
                    entries.at(i).data(), static_cast<size_t>(entries.at(i).size()));
            std::stable_sort(v.begin(), v.end());
            sink += v.size();
        }));
        copy = DeepCopy();
        t["find"].push_back(timed([&] {
            sink += FindAll(entries, {"Shadow", true, false}).size();
        }));
        t["find any case"].push_back(timed([&] {
            sink += FindAll(entries, {"shadow", false, false}).size();
        }));
        t["find regex"].push_back(timed([&] {
            sink += FindAll(entries, {"Sha.ow", false, true}).size();
        }));
        t["replace"].push_back(timed([&] {
            sink += ReplaceAll(entries, nullptr, {"/home/bob/music", true, false}, "/mnt/music")
                        .rows.size();
        }));
        t["sort"].push_back(timed([&] { sink += SortOrder(entries, none, SortKey::Path).size(); }));
        t["duplicates"].push_back(timed([&] { sink += DuplicateRows(entries).size(); }));
        t["relative"].push_back(
            timed([&] { sink += MakeRelative(entries, none, "/home/bob/lists").rows.size(); }));
    }
    auto m = [&t](const char* k) { return median(t[k]); };
    const double copy = m("copy floor"), mm = m("memmem floor"), sort = m("sort floor");
    std::printf(markdown ? "\n### %lld entries, median of %d runs\n\n"
                         : "\n%lld entries, median of %d runs\n",
                static_cast<long long>(entries.size()), runs);
    print({{"copy floor (deep copy of all entries)", copy, "", 0, 0},
           {"memmem floor (\"Shadow\" over all entries' bytes)", mm, "", 0, 0},
           {"sort floor (stable_sort of the byte strings)", sort, "", 0, 0},
           {"Find All \"Shadow\", match case", m("find"), "memmem", mm, 1.5},
           {"Find All \"shadow\", any case", m("find any case"), "memmem", mm, 0},
           {"Find All, regular expression \"Sha.ow\"", m("find regex"), "memmem", mm, 0},
           {"Replace All /home/bob/music → /mnt/music", m("replace"), "copy", copy, 3},
           {"Sort by Path", m("sort"), "sort", sort, 3},
           {"Remove Duplicates", m("duplicates"), "copy", copy, 3},
           {"Make Paths Relative", m("relative"), "copy", copy, 3}},
          markdown);
    if (sink == 42)
        std::printf(" ");
}

// 100,000 names in four folders, one in ten of them missing, against a plain stat of each.
void benchMissing(int runs, bool markdown) {
    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    std::vector<QByteArray> entries;
    for (int f = 0; f < 4; ++f) {
        const QByteArray folder = root + "/folder " + QByteArray::number(f);
        QDir().mkpath(QFile::decodeName(folder));
        for (int i = 0; i < 25000; ++i) {
            const QByteArray name = folder + "/" + QByteArray::number(i) + " Track name.mp3";
            if (i % 10) {
                QFile file(QFile::decodeName(name));
                file.open(QIODevice::WriteOnly);
            }
            entries.push_back(name);
        }
    }
    std::vector<double> floor, check;
    size_t sink = 0;
    for (int run = 0; run < runs; ++run) {
        floor.push_back(timed([&] {
            struct stat st;
            for (const QByteArray& e : entries)
                sink += ::stat(e.constData(), &st) == 0;
        }));
        check.push_back(timed([&] { sink += FindMissingFiles(entries, root).missing.size(); }));
    }
    std::printf(
        markdown ? "\n### Select Missing Files, 100,000 entries in 4 folders, median of %d runs\n\n"
                 : "\nmissing files, median of %d runs\n",
        runs);
    print({{"stat floor (stat of every name)", median(floor), "", 0, 0},
           {"Select Missing Files (10,000 missing)", median(check), "stat", median(floor), 2}},
          markdown);
    if (sink == 42)
        std::printf(" ");
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    int runs = 5;
    bool markdown = false;
    std::vector<QByteArray> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--markdown")
            markdown = true;
        else if (a != "--raw")
            files.emplace_back(argv[i]);
    }
    for (const QByteArray& f : files)
        benchFile(f, runs, markdown);
    benchMissing(runs, markdown);
    return 0;
}
