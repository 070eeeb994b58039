#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

#include "core/playlist/EntryList.h"

namespace cadrell {
class PlaylistDocument;
}

namespace testsupport {

// The private home folder this test process runs in (HOME and every XDG folder lie below it).
QString homeDir();
// Writes bytes to a file below the home folder and returns its path.
QString writeFile(const QString& relativeName, const QByteArray& bytes);
QByteArray readFile(const QString& path);
std::vector<QByteArray> list(std::initializer_list<const char*> items);
// Leaves the entries as they are but the document with unsaved changes: two steps that cancel
// out, as a user's edit and its reverse would.
void makeUnsaved(cadrell::PlaylistDocument& doc);
// A list written as its lines joined by '|', one entry appended at a time; and back.
cadrell::EntryList entriesOf(const QByteArray& text);
QByteArray joined(const cadrell::EntryList& entries);

}  // namespace testsupport
