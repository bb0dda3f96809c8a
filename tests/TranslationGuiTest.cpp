// Every text the user sees goes through Qt's translation: under a translator that marks what it
// translates, the windows and their messages show only marked texts.
#include "support/FormFixture.h"

#include "shell/AboutBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QTabWidget>
#include <QTranslator>

namespace {

// Marks every text it is asked for: "«text»".
class MarkingTranslator : public QTranslator {
public:
    bool isEmpty() const override { return false; }
    QString translate(const char*, const char* sourceText, const char*, int) const override {
        return QStringLiteral("«") + QString::fromUtf8(sourceText) + QStringLiteral("»");
    }
};

bool Marked(const QString& text) {
    return text.startsWith(u'«') && text.endsWith(u'»');
}

// The texts of a window that are not marked: captions of labels, buttons, group boxes and tabs,
// tool tips and accessible names. Fields hold data (names, drive letters, files) and are left out.
std::string Unmarked(const QWidget* window) {
    QStringList unmarked;
    const auto check = [&](const QObject* owner, const QString& what, const QString& text) {
        if (!text.isEmpty() && !Marked(text))
            unmarked << owner->objectName() + ' ' + what + ": " + text;
    };
    for (const QWidget* widget : window->findChildren<QWidget*>()) {
        if (widget->objectName().startsWith("qt_"))
            continue;
        if (const auto* label = qobject_cast<const QLabel*>(widget))
            check(widget, "text", label->text());
        if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
            check(widget, "text", button->text());
        if (const auto* group = qobject_cast<const QGroupBox*>(widget))
            check(widget, "title", group->title());
        if (const auto* tabs = qobject_cast<const QTabWidget*>(widget))
            for (int i = 0; i < tabs->count(); ++i)
                check(widget, "tab", tabs->tabText(i));
        check(widget, "tool tip", widget->toolTip());
        check(widget, "accessible name", widget->accessibleName());
    }
    return unmarked.join('\n').toStdString();
}

class TranslationTest : public FormFixture {
protected:
    void SetUp() override { QApplication::installTranslator(&marking); }
    void TearDown() override {
        form.reset();
        QApplication::removeTranslator(&marking);
    }
    MarkingTranslator marking;
};

TEST_F(TranslationTest, TheMainWindowAndItsMessagesShowOnlyTranslatedTexts) {
    // No toolkit: the "not found" labels show; no definitions: the pages say so.
    TMainForm& main = start();
    main.show();
    EXPECT_EQ(Unmarked(&main), "");
    // A run without a definition and the guard's close question: messages of three pages.
    main.Find.SBtnScan->setEnabled(true);
    main.Find.SBtnScan->click();
    main.Check.SBtnCompute->setEnabled(true);
    main.Check.SBtnCompute->click();
    main.Main.SBtnEnc->setEnabled(true);
    main.Main.SBtnEnc->click();
    ASSERT_GE(prompts.messages.size(), 3);
    for (const auto& message : prompts.messages)
        EXPECT_TRUE(Marked(message.text)) << message.text.toStdString();
}

TEST_F(TranslationTest, TheAboutBoxShowsOnlyTranslatedTexts) {
    TAboutFm about;
    EXPECT_EQ(Unmarked(&about), "");
}

} // namespace
