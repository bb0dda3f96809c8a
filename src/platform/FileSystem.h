#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// File-system access with the rules of the program's home platform: names inside a folder
// resolve without regard to case, "*.ext" listings match the extension without regard to
// case. Paths use "/"; nothing is lower-cased.
namespace FileSystem {

// The path as it exists on disk: each component that does not exist as written is matched
// without regard to case against its folder's entries (the exact name first). A component that
// cannot be found, and all after it, stay as written.
QString ResolvePath(const QString& path);

// True when the (case-resolved) path names an existing file (anything but a folder), and an
// existing folder, respectively.
bool FileExists(const QString& path);
bool DirectoryExists(const QString& path);
// Creates the folder (and the folders above it, each 0700 as MakePrivateFolders makes them);
// false when it cannot be created.
bool CreateDirectory(const QString& path);
// Creates the folder and every missing folder above it, each with mode 0700 whatever the umask:
// what the program makes is its owner's alone. True when the folder itself was made now, false
// when it existed; throws VallorinError naming the folder that cannot be made.
bool MakePrivateFolders(const QString& path);

// What stands at path when it is neither a regular file (or a link to one) nor absent, as a
// phrase for a message: "a character device", "a named pipe (FIFO)", "a folder", "a link to
// \"/dev/zero\", which is a character device", "a link to \"x\", which does not exist". Empty
// for a regular file, a link to one, and nothing at all.
QString NotARegularFile(const QString& path);

// Names (without folder) of the entries of folder whose name ends in "." + extension, compared
// without regard to case; entries of every kind, in the order the file system returns them.
// A missing or unreadable folder gives an empty list.
QStringList ListByExtension(const QString& folder, const QString& extension);

// A folder's entry names read once, for several listings by extension of the same moment:
// byExtension(e) gives what ListByExtension(folder, e) gives; an empty folder name lists nothing.
class FolderListing {
public:
    FolderListing() = default; // lists nothing
    explicit FolderListing(const QString& folder);
    QStringList byExtension(const QString& extension) const;
    // What FileExists(folder + name) gives for a name without "/": from the listing when the
    // folder name ends in "/" (a name the folder lacks costs no second listing), otherwise
    // (an empty folder name too) FileExists itself.
    bool fileExists(const QString& name) const;

private:
    qsizetype count() const { return ends.size(); }
    QByteArrayView entryName(qsizetype i) const;

    QString given;  // the folder name as given
    QString folder; // as ResolvePath found it
    // The names as the file system spells them, one after another, and where each ends: one
    // buffer for a folder of thousands of files, where a byte array each costs an allocation.
    QByteArray names;
    QList<qsizetype> ends;
};

// Last-write time of a file, in UTC; nothing when the file does not exist.
std::optional<QDateTime> LastWriteTime(const QString& path);

// The whole file; throws VallorinError "Cannot open file <path>" when it cannot be read.
QByteArray ReadWholeFile(const QString& path);
// Writes the whole file (replacing it); throws VallorinError on failure.
void WriteWholeFile(const QString& path, const QByteArray& data);

// Text of a file's bytes: UTF-8 when they are valid UTF-8, otherwise Windows-1252.
QString DecodeText(const QByteArray& bytes);
// The same decoding in two steps, for a reader that decodes a file's bytes piece by piece:
// whether the whole is decoded as UTF-8, and the text of one piece of it. A UTF-8 piece must
// not cut a character in two (pieces split at line ends never do).
bool IsValidUtf8(const QByteArray& bytes);
QString DecodePiece(const char* bytes, qsizetype size, bool utf8);
// Bytes of a text in Windows-1252; a character the code page lacks becomes "?" and clears
// *lossless (when given).
QByteArray EncodeWindows1252(const QString& text, bool* lossless = nullptr);

// The file-name part of a path: what follows its last "/", "\" or ":".
QString FileNamePart(const QString& path);

} // namespace FileSystem
