// Any bytes given to the settings file reader: no crash, and whatever it accepts it writes back
// as a file that reads as the very same keys and values, and writes again byte for byte.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstdlib>

#include "core/platform/RegFile.h"

using cadrell::regfile::Key;

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

bool same(const Key& a, const Key& b) {
    if (a.name != b.name || a.values.size() != b.values.size() ||
        a.subkeys.size() != b.subkeys.size())
        return false;
    for (size_t i = 0; i < a.values.size(); ++i) {
        if (a.values[i].name != b.values[i].name || !(a.values[i].value == b.values[i].value))
            return false;
    }
    for (size_t i = 0; i < a.subkeys.size(); ++i) {
        if (!same(a.subkeys[i], b.subkeys[i]))
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString root = QStringLiteral("HKEY_CURRENT_USER");
    Key first;
    if (!cadrell::regfile::parse(text, root, first))
        return 0;
    const QByteArray written = cadrell::regfile::write(first, root);
    Key second;
    check(cadrell::regfile::parse(written, root, second));
    check(same(first, second));
    check(cadrell::regfile::write(second, root) == written);
    return 0;
}
