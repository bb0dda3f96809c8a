#pragma once

// How GoogleTest prints Qt's texts in a failure: a QString as its quoted UTF-8, a QStringList as
// a braced list of those, a QByteArray as a quoted C string with escapes. Every test file gets
// this header before its first line (see tests/CMakeLists.txt), so that every instantiation of
// the printers sees the same overloads.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <gtest/gtest-printers.h>

#include <ostream>
#include <string>

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << ::testing::PrintToString(text.toStdString());
}

inline void PrintTo(const QStringList& texts, std::ostream* os) {
    *os << '{';
    for (qsizetype i = 0; i < texts.size(); ++i)
        *os << (i == 0 ? "" : ", ") << ::testing::PrintToString(texts[i].toStdString());
    *os << '}';
}

inline void PrintTo(const QByteArray& bytes, std::ostream* os) {
    *os << ::testing::PrintToString(bytes.toStdString());
}
