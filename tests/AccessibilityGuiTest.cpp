// What a screen reader gets from the windows: every control has a name, whether from its own
// text, from the label that is its buddy, or from an accessible name of its own.
#include "support/FormFixture.h"

#include "shell/AboutBox.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSet>

namespace {

// The controls of a window that have no name for a screen reader, as one line. A button is
// named by its text or its accessible name; a field (edit, combo, spin box, list, text view) by
// the label that is its buddy or its accessible name: a combo's own name would be its current
// entry, which says nothing of what is chosen.
std::string Unnamed(const QWidget* window) {
    QSet<const QWidget*> labelled;
    for (const QLabel* label : window->findChildren<QLabel*>())
        if (label->buddy())
            labelled << label->buddy();
    QStringList unnamed;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        // A combo's and a spin box's inner edits are theirs, not controls of the form.
        if (qobject_cast<QComboBox*>(widget->parentWidget()) ||
            qobject_cast<QAbstractSpinBox*>(widget->parentWidget()) ||
            widget->objectName().startsWith("qt_"))
            continue;
        const bool field = qobject_cast<QLineEdit*>(widget) || qobject_cast<QComboBox*>(widget) ||
                           qobject_cast<QAbstractSpinBox*>(widget) ||
                           qobject_cast<QPlainTextEdit*>(widget) ||
                           qobject_cast<QListWidget*>(widget);
        if (field && !labelled.contains(widget) && widget->accessibleName().isEmpty())
            unnamed << widget->objectName();
        if (qobject_cast<QAbstractButton*>(widget)) {
            QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
            if (!face || face->text(QAccessible::Name).trimmed().isEmpty())
                unnamed << widget->objectName();
        }
    }
    return unnamed.join(' ').toStdString();
}

// A picture shown alone (a label without text) says what it shows.
std::string UnnamedPictures(const QWidget* window) {
    QStringList unnamed;
    for (const QLabel* label : window->findChildren<QLabel*>())
        if (label->text().isEmpty() && !label->pixmap().isNull() &&
            label->accessibleName().isEmpty())
            unnamed << label->objectName();
    return unnamed.join(' ').toStdString();
}

class AccessibilityTest : public FormFixture {};

TEST_F(AccessibilityTest, EveryControlOfTheMainWindowHasAName) {
    installToolkit({"WFindV32.exe", "veinfo95.hlp", "TK_Sched.exe", "CleanBoo.exe", "WViVer32.exe",
                    "office.lst", "extra.drv"});
    TMainForm& main = start();
    EXPECT_EQ(Unnamed(&main), "");
    // The picture buttons: named as their hints say.
    EXPECT_EQ(main.Main.SBtnEnc->accessibleName(), "Virus Encyclopedia");
    EXPECT_EQ(main.Main.SBtnSchedule->accessibleName(), "Edit Schedule");
    // A combo is named by the label beside it.
    QAccessibleInterface* scans = QAccessible::queryAccessibleInterface(main.Find.ScanCombo);
    ASSERT_NE(scans, nullptr);
    EXPECT_EQ(scans->text(QAccessible::Name), "Defined scans:");
}

TEST_F(AccessibilityTest, TheAboutBoxSaysWhatItsPictureShows) {
    TAboutFm about;
    EXPECT_EQ(Unnamed(&about), "");
    EXPECT_EQ(UnnamedPictures(&about), "");
}

} // namespace
