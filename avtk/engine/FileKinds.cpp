#include "engine/FileKinds.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

namespace avtk {

namespace {

std::string Extension(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    const std::size_t slash = name.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return {};
    std::string extension(name.substr(dot + 1));
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return extension;
}

template <std::size_t N>
bool OneOf(const std::string& value, const std::array<std::string_view, N>& list) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

bool StartsWith(std::string_view head, std::string_view magic) {
    return head.substr(0, magic.size()) == magic;
}

} // namespace

bool IsProgramFile(std::string_view fileName, std::string_view head) {
    static constexpr std::array<std::string_view, 34> extensions = {
        "exe", "com", "dll", "sys",  "bin",  "ovl",  "ovr",  "drv",  "scr",  "vxd", "386", "cpl",
        "ocx", "pif", "bat", "cmd",  "vbs",  "js",   "msi",  "doc",  "dot",  "xls", "xlt", "xla",
        "ppt", "pot", "rtf", "docm", "dotm", "xlsm", "xltm", "pptm", "potm", "mdb"};
    if (OneOf(Extension(fileName), extensions))
        return true;
    using namespace std::string_view_literals;
    if (StartsWith(head, "\x7f"
                         "ELF"sv) ||
        StartsWith(head, "MZ"sv) || StartsWith(head, "#!"sv) ||
        StartsWith(head, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"sv))
        return true;
    // An OOXML document is a zip whose first member is its content-type list.
    return StartsWith(head, "PK\x03\x04"sv) && head.size() >= 30 + 19 &&
           head.substr(30, 19) == "[Content_Types].xml"sv;
}

bool IsArchive(std::string_view fileName, std::string_view head) {
    static constexpr std::array<std::string_view, 19> extensions = {
        "zip", "tar", "gz",  "tgz", "bz2",  "tbz", "xz",  "txz", "7z", "rar",
        "cab", "arj", "lzh", "jar", "cpio", "rpm", "deb", "iso", "z"};
    if (OneOf(Extension(fileName), extensions))
        return true;
    using namespace std::string_view_literals;
    return StartsWith(head, "PK\x03\x04"sv) || StartsWith(head, "\x1f\x8b"sv) ||
           StartsWith(head, "BZh"sv) ||
           StartsWith(head, "\xFD"
                            "7zXZ"sv) ||
           StartsWith(head, "7z\xBC\xAF\x27\x1C"sv) || StartsWith(head, "Rar!"sv) ||
           StartsWith(head, "MSCF"sv) || (head.size() > 262 && head.substr(257, 5) == "ustar"sv);
}

} // namespace avtk
