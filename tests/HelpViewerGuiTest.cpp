#include "support/ScriptedPrompts.h"
#include "support/TempPrefix.h"

#include "platform/qt/HelpViewer.h"

#include <QFile>
#include <QPushButton>
#include <QTextBrowser>

#include <gtest/gtest.h>

class HelpViewerTest : public ::testing::Test {
protected:
    TempPrefix folder;
    ScriptedPrompts prompts;
    QStringList openedElsewhere;
    bool elsewhereOpens = false;
    HelpViewer viewer{prompts, nullptr, [this](const QString& path) {
                          openedElsewhere << path;
                          return elsewhereOpens;
                      }};

    ~HelpViewerTest() override { delete viewer.viewerWindow(); }
    QString fragment() { return viewer.viewerBrowser()->source().fragment(); }
};

TEST_F(HelpViewerTest, TheProgramsHelpHasATopicForEveryPage) {
    QFile file(HelpViewer::Locate("Vallorin.hlp"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    const QByteArray html = file.readAll();
    viewer.showHelp("Vallorin.hlp", HelpCommand::Finder, 0);
    ASSERT_NE(viewer.viewerBrowser(), nullptr);
    EXPECT_EQ(fragment(), "contents");
    for (int context : {10, 20, 50, 60, 75, 100}) {
        SCOPED_TRACE(context);
        const QByteArray anchor = "context-" + QByteArray::number(context);
        EXPECT_TRUE(html.contains(QByteArray("name=\"" + anchor + "\"")));
        EXPECT_TRUE(
            html.contains(QByteArray("href=\"#" + anchor + "\""))); // listed in the contents
        viewer.showHelp("Vallorin.hlp", HelpCommand::Context, context);
        EXPECT_EQ(fragment(), anchor);
    }
    EXPECT_FALSE(viewer.viewerBrowser()->toPlainText().isEmpty());
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(HelpViewerTest, ContentsBackAndForward) {
    const QString path = folder.writeFile(
        "Tiny.hlp", "<html><body><a name=\"contents\"></a>Contents<p><a name=\"context-5\"></a>"
                    "Five<p><a name=\"context-6\"></a>Six</body></html>");
    viewer.showHelp(path, HelpCommand::Context, 5);
    EXPECT_FALSE(viewer.backButton()->isEnabled());
    viewer.showHelp(path, HelpCommand::Context, 6);
    EXPECT_TRUE(viewer.backButton()->isEnabled());
    viewer.backButton()->click();
    EXPECT_EQ(fragment(), "context-5");
    EXPECT_TRUE(viewer.forwardButton()->isEnabled());
    viewer.forwardButton()->click();
    EXPECT_EQ(fragment(), "context-6");
    viewer.contentsButton()->click();
    EXPECT_EQ(fragment(), "contents");
    // A context without a topic opens the contents.
    viewer.showHelp(path, HelpCommand::Context, 99);
    EXPECT_EQ(fragment(), "contents");
    EXPECT_EQ(viewer.viewerWindow()->windowTitle(), "Tiny Help");
}

TEST_F(HelpViewerTest, FilesItCannotShowAreToldClearly) {
    struct Row {
        const char* name;
        QString file;
        bool elsewhere;
        QStringList messages;
        int openedElsewhere;
    };
    const QString winHelp = folder.writeFile("veinfo95.hlp", QByteArray("?_\x03\x00\x00\x00", 6));
    const Row rows[] = {
        {"missing",
         folder.path("nope.hlp"),
         false,
         {"Cannot find the help file " + folder.path("nope.hlp") + "."},
         0},
        {"another format, opened by the desktop", winHelp, true, {}, 1},
        {"another format nothing opens",
         winHelp,
         false,
         {winHelp + " is not in a help format this program can show."},
         1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        prompts.clear();
        openedElsewhere.clear();
        elsewhereOpens = row.elsewhere;
        viewer.showHelp(row.file, HelpCommand::Finder, 0);
        EXPECT_EQ(prompts.texts(), row.messages);
        EXPECT_EQ(openedElsewhere.size(), row.openedElsewhere);
        EXPECT_EQ(viewer.viewerWindow(), nullptr);
    }
}
