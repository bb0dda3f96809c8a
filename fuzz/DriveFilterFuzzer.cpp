// The drive edit's filter: texts set by code (caret at the start) and typed at any caret
// position. Whatever comes in, a text of two or more characters leaves holding letters only,
// filtering never makes a text longer nor puts the caret outside it, and a filtered text passes
// the filter again unchanged (the change handler runs once more on the text it set).
#include "core/TextForms.h"

#include <QString>

#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

bool LettersOnly(const QString& text) {
    for (QChar c : text)
        if (!IsAsciiLetter(c))
            return false;
    return true;
}

} // namespace

// Each operation: one byte (kind and caret), one byte of length, then that many bytes of text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QString text;
    size_t at = 0;
    while (at + 2 <= size) {
        const uint8_t operation = data[at];
        const size_t length = std::min<size_t>(data[at + 1], size - at - 2);
        const QString piece =
            QString::fromUtf8(reinterpret_cast<const char*>(data + at + 2), qsizetype(length));
        at += 2 + length;
        int caret = 0;
        if (operation & 1) {
            // Typed by the user at a caret position.
            const int position = int(operation >> 1) % int(text.size() + 1);
            text.insert(position, piece);
            caret = position + int(piece.size());
        } else {
            text = piece;
        }
        const qsizetype before = text.size();
        const DriveTextEdit filtered = FilterDriveText(text, caret);
        Check(filtered.text.size() <= before);
        Check(filtered.text.size() < 2 || LettersOnly(filtered.text));
        Check(filtered.caret >= 0 && filtered.caret <= filtered.text.size());
        Check(!FilterDriveText(filtered.text, 0).changed);
        text = filtered.text;
    }
    return 0;
}
