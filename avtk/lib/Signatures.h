#pragma once

#include <QByteArray>
#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

// What the stand-in scanner can recognise: the EICAR anti-virus test file, and the signatures of
// an extra driver file. And which files it looks at.
namespace Signatures {

inline const QString EicarName = "EICAR-Test-File";

// The 68-byte test string, put together at run time so that this program's own files do not
// hold it.
QByteArray EicarTestString();

struct Signature {
    QString name;
    QByteArray bytes;
};

// The virus name found in the content, or empty. The test file is recognised as its definition
// says: the content begins with the string, and only blanks, tabs, line ends or ^Z follow, up to
// 128 bytes in all. An extra signature is recognised anywhere in the content.
QString Detect(const QByteArray& content, const QList<Signature>& extra);

// An extra driver file: "name = 48 65 78" (hex bytes) or "name = "text"" lines; "#" or ";"
// begins a comment line. Bad lines become error sentences.
QList<Signature> ParseDriver(const QByteArray& text, QStringList& errors);

// A checklist file: one wildcard pattern a line ("*.doc"), naming more files to scan.
QList<QRegularExpression> ParseChecklist(const QByteArray& text);

// Program files: the extensions that DOS and Windows load code from.
bool IsExecutableName(const QString& fileName);
bool IsArchiveName(const QString& fileName);

} // namespace Signatures
