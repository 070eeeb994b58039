#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace testsupport {

// The private home folder this test process runs in (HOME and every XDG folder lie below it).
QString homeDir();
// Writes bytes to a file below the home folder and returns its path.
QString writeFile(const QString& relativeName, const QByteArray& bytes);
QByteArray readFile(const QString& path);
std::vector<QByteArray> list(std::initializer_list<const char*> items);

}  // namespace testsupport
