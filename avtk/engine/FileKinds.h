#pragma once

#include <string_view>

// Which files the scanner looks at by default: the program files, known by their first bytes or
// by the extensions that DOS and Windows load code or macros from.
namespace avtk {

// Bytes of a file's head that the decision needs at most.
constexpr std::size_t HeadSize = 512;

// Executables and scripts (ELF, PE/MZ, "#!"), documents that can carry macros (OLE2, OOXML), and
// the program and document extensions a DOS user expects.
bool IsProgramFile(std::string_view fileName, std::string_view head);
// Archives the engine opens, by their first bytes or their extension.
bool IsArchive(std::string_view fileName, std::string_view head);

} // namespace avtk
