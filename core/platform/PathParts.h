#pragma once

#include <vector>

#include <QByteArray>
#include <QByteArrayView>

namespace cadrell {

// Path parts of names written for either platform: "\", ":" and "/" all separate components.
// Comparisons are byte-exact and case-sensitive.
bool IsDelimiter(char c);
qsizetype LastDelimiter(QByteArrayView name);  // -1 when there is none

QByteArray DrivePart(QByteArrayView name);
QByteArray FileNamePart(QByteArrayView name);
qsizetype FileNameOffset(QByteArrayView name);
QByteArray DirectoryPart(QByteArrayView name);
qsizetype DirectoryLength(QByteArrayView name);
QByteArray Extension(QByteArrayView name);

// The name with its extension replaced by `extension`, or with it appended when there is none.
QByteArray ReplaceExtension(QByteArrayView name, QByteArrayView extension);

// True for a web address: a scheme of two or more characters (a letter, then letters, digits,
// "+", "-" or ".") followed by "://", so a drive letter never counts.
bool IsWebAddress(QByteArrayView name);

// The name without its drive; the offset where what is kept starts.
qsizetype StripDriveOffset(QByteArrayView name);
QByteArray StripDrive(QByteArrayView name);

// The folder text the file dialogs start in: a final "\" or "/" is dropped unless it is the
// whole text or follows a drive colon.
QByteArray NormaliseStartFolder(QByteArray folder);

// The display form of a path: every component that exists on disk under the name the file
// system stores for it. The lookup itself is behind StoredName so that it can be replaced.
QByteArray DisplayPath(QByteArrayView name);

// Appends the components of a path separated by "/" to `into`, with "." and ".." worked out on
// the text alone, as a playlist names them (a link on the way is not followed).
void SplitPathComponents(QByteArrayView path, std::vector<QByteArrayView>& into);
// The stored name of the object `path` on disk, or an empty text when there is none.
QByteArray StoredName(const QByteArray& path);

}  // namespace cadrell
