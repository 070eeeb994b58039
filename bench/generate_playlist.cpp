// Writes a playlist that looks like the large ones found in the wild: music libraries exported
// from several machines, IPTV lists with #EXTINF lines and stream addresses, CR LF line ends.
//
//   generate_playlist <entries> <output file> [seed]
//
// The same count and seed always give the same bytes, so runs on different days compare.

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

class Random {
public:
    explicit Random(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint64_t next() {
        // xorshift64*: plenty for picking words, and identical on every platform.
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 0x2545F4914F6CDD1Dull;
    }
    size_t below(size_t n) { return static_cast<size_t>(next() % n); }
    template <class T, size_t N>
    const T& pick(const std::array<T, N>& items) {
        return items[below(N)];
    }

private:
    uint64_t state_;
};

constexpr std::array<std::string_view, 40> kArtists = {
    "The Beatles",
    "Miles Davis",
    "Radiohead",
    "Nina Simone",
    "Daft Punk",
    "Bjork",
    "Sigur R\xc3\xb3s",
    "Boards of Canada",
    "Aphex Twin",
    "Portishead",
    "Massive Attack",
    "Kraftwerk",
    "Joni Mitchell",
    "Tom Waits",
    "Air",
    "Moby",
    "Beck",
    "Pixies",
    "Blur",
    "Pulp",
    "Morcheeba",
    "Zero 7",
    "Yann Tiersen",
    "Ludovico Einaudi",
    "Arvo P\xc3\xa4rt",
    "Ry\xc5\xab"
    "ichi Sakamoto",
    "Caf\xc3\xa9 Tacvba",
    "Manu Chao",
    "Fela Kuti",
    "Ali Farka Toure",
    "Nick Drake",
    "Elliott Smith",
    "Low",
    "Slowdive",
    "Cocteau Twins",
    "DJ Shadow",
    "Bonobo",
    "Tycho",
    "Khruangbin",
    "Various Artists",
};

constexpr std::array<std::string_view, 48> kWords = {
    "Blue",    "Night",   "Train",  "River",  "Light", "Heart",  "Dream",  "Summer",
    "Rain",    "Fire",    "Ocean",  "City",   "Love",  "Song",   "Home",   "Road",
    "Sky",     "Time",    "Star",   "Moon",   "Sun",   "Shadow", "Glass",  "Paper",
    "Silver",  "Gold",    "Winter", "Spring", "Echo",  "Dust",   "Wind",   "Stone",
    "Morning", "Evening", "Lost",   "Found",  "Slow",  "Fast",   "Quiet",  "Loud",
    "Little",  "Big",     "Old",    "New",    "Wild",  "Sweet",  "Broken", "Open",
};

constexpr std::array<std::string_view, 6> kExtensions = {".mp3", ".mp3", ".flac",
                                                         ".ogg", ".m4a", ".wma"};
constexpr std::array<std::string_view, 5> kDrives = {"C:", "D:", "E:", "M:", "Z:"};
constexpr std::array<std::string_view, 4> kShares = {"\\\\nas\\music", "\\\\server01\\media",
                                                     "\\\\MEDIA-PC\\Shared", "\\\\fs2\\audio"};
constexpr std::array<std::string_view, 4> kHomes = {"/home/anna/Music", "/home/bob/music",
                                                    "/mnt/media/Music", "/srv/library"};
constexpr std::array<std::string_view, 5> kHosts = {
    "http://stream.radio-example.net:8000/", "https://cdn.tv-example.org/live/",
    "http://192.168.1.20:8080/", "https://radio.example.com/listen/",
    "rtmp://media.example.net/app/"};

void words(Random& r, std::string& out, int min, int max) {
    const int n = min + static_cast<int>(r.below(static_cast<size_t>(max - min + 1)));
    for (int i = 0; i < n; ++i) {
        if (i)
            out += ' ';
        out += r.pick(kWords);
    }
}

void track(Random& r, std::string& out) {
    const unsigned n = 1 + static_cast<unsigned>(r.below(18));
    out += static_cast<char>('0' + n / 10);
    out += static_cast<char>('0' + n % 10);
    out += r.below(2) ? " - " : " ";
    words(r, out, 2, 5);
    out += r.pick(kExtensions);
}

void albumPath(Random& r, std::string& out, char sep) {
    out += r.pick(kArtists);
    out += sep;
    words(r, out, 1, 3);
    if (r.below(2)) {
        out += " (";
        out += std::to_string(1960 + r.below(64));
        out += ')';
    }
    out += sep;
    track(r, out);
}

void line(Random& r, std::string& out) {
    const size_t kind = r.below(100);
    if (kind < 22) {
        out += "#EXTINF:";
        out += std::to_string(r.below(2) ? 60 + r.below(400) : 0);
        out += ',';
        out += r.pick(kArtists);
        out += " - ";
        words(r, out, 3, 6);
    } else if (kind < 46) {
        out += r.pick(kDrives);
        out += r.below(2) ? "\\Music\\" : "\\Users\\Anna\\My Music\\";
        albumPath(r, out, '\\');
    } else if (kind < 54) {
        out += r.pick(kShares);
        out += '\\';
        albumPath(r, out, '\\');
    } else if (kind < 72) {
        out += r.pick(kHomes);
        out += '/';
        albumPath(r, out, '/');
    } else if (kind < 88) {
        switch (r.below(3)) {
            case 0:
                albumPath(r, out, '\\');
                break;
            case 1:
                out += "../Music/";
                albumPath(r, out, '/');
                break;
            default:
                track(r, out);
                break;
        }
    } else {
        out += r.pick(kHosts);
        out += r.below(2) ? "channel-" : "ch";
        out += std::to_string(r.below(900));
        out += r.below(2) ? "/index.m3u8" : "/stream.aac";
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <entries> <output file> [seed]\n", argv[0]);
        return 2;
    }
    const long long count = std::atoll(argv[1]);
    Random r(argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1);
    std::FILE* f = std::fopen(argv[2], "wb");
    if (count < 1 || !f) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
        return 1;
    }
    std::string buf = "#EXTM3U\r\n";
    unsigned long long bytes = 0;
    for (long long i = 1; i < count; ++i) {
        line(r, buf);
        buf += "\r\n";
        if (buf.size() > (1u << 20)) {
            bytes += buf.size();
            std::fwrite(buf.data(), 1, buf.size(), f);
            buf.clear();
        }
    }
    bytes += buf.size();
    std::fwrite(buf.data(), 1, buf.size(), f);
    if (std::fclose(f) != 0) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
        return 1;
    }
    std::fprintf(stderr, "%s: %lld entries, %llu bytes, %.1f bytes a line\n", argv[2], count, bytes,
                 static_cast<double>(bytes) / static_cast<double>(count));
    return 0;
}
