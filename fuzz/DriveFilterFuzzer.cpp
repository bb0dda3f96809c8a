// The drive edit's filter on a real line edit: texts set by code and typed at any caret
// position. Whatever comes in, a text of two or more characters holds letters only, and
// filtering never makes a text longer.
#include "definitions/Common.h"

#include <QApplication>
#include <QLineEdit>
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
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
            return false;
    return true;
}

QLineEdit& Edit() {
    static int argc = 1;
    static char name[] = "DriveFilterFuzzer";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    static QLineEdit* edit = [] {
        auto* e = new QLineEdit;
        // As every drive edit's change handler does first.
        QObject::connect(e, &QLineEdit::textChanged, e, [e] { FilterDriveEdit(e); });
        return e;
    }();
    (void)app;
    return *edit;
}

} // namespace

// Each operation: one byte (kind and caret), one byte of length, then that many bytes of text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QLineEdit& edit = Edit();
    edit.setText(QString());
    size_t at = 0;
    while (at + 2 <= size) {
        const uint8_t operation = data[at];
        const size_t length = std::min<size_t>(data[at + 1], size - at - 2);
        const QString piece =
            QString::fromUtf8(reinterpret_cast<const char*>(data + at + 2), qsizetype(length));
        at += 2 + length;
        qsizetype before = 0;
        if (operation & 1) {
            // Typed by the user at a caret position.
            edit.setCursorPosition(int(operation >> 1) % (edit.text().size() + 1));
            before = edit.text().size() + piece.size();
            edit.insert(piece);
        } else {
            before = piece.size();
            edit.setText(piece);
        }
        const QString text = edit.text();
        Check(text.size() <= before);
        Check(text.size() < 2 || LettersOnly(text));
    }
    return 0;
}
