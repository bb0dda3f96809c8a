#include "platform/ProgramStart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <unistd.h>

namespace {

struct ArgumentCase {
    const char* line;
    QStringList expected;
};

TEST(SplitArguments, FollowsTheCommandLineToArgvRules) {
    const ArgumentCase cases[] = {
        {"", {}},
        {"   \t ", {}},
        {"a b c", {"a", "b", "c"}},
        {"  a \t b  ", {"a", "b"}},
        {"a\tb", {"a", "b"}},
        {R"("abc" d e)", {"abc", "d", "e"}},
        {R"(a\\b d"e f"g h)", {R"(a\\b)", "de fg", "h"}},
        {R"(a\\\"b c d)", {R"(a\"b)", "c", "d"}},
        {R"(a\\\\"b c" d e)", {R"(a\\b c)", "d", "e"}},
        {R"(a\"b)", {R"(a"b)"}},
        {R"(a\\"b c")", {R"(a\b c)"}},
        {R"(a "" b)", {"a", "", "b"}},
        {R"("")", {""}},
        {R"(a"b"" c d)", {R"(ab" c d)"}},
        {R"("""")", {R"(")"}},
        {R"(\\server\share\)", {R"(\\server\share\)"}},
        {R"("unterminated arg)", {"unterminated arg"}},
        {R"(/FF="C:\Prints\Daily" /CREATE)", {R"(/FF=C:\Prints\Daily)", "/CREATE"}},
        {"; rm -rf x", {";", "rm", "-rf", "x"}},
        {"'single quotes' stay", {"'single", "quotes'", "stay"}},
    };
    for (const ArgumentCase& c : cases)
        EXPECT_EQ(SplitArguments(c.line), c.expected) << c.line;
}

class ProgramFolder : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString root() const { return dir.path(); }
    QString touch(const QString& relative, const QByteArray& content = "x",
                  QFileDevice::Permissions mode = QFileDevice::ReadOwner |
                                                  QFileDevice::WriteOwner) const {
        const QString path = root() + '/' + relative;
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        file.setPermissions(mode);
        return path;
    }
};

TEST_F(ProgramFolder, SplitsTheProgramPathWordByWord) {
    const QString tool = touch("My Tool/run me.exe");
    const QString sched = touch("tk_Sched.exe");
    struct Case {
        QString line;
        QString program;
        QStringList arguments;
    } const cases[] = {
        {tool + R"( /A "b c")", tool, {"/A", "b c"}},
        {"  " + tool, tool, {}},
        {'"' + tool + R"(" x)", tool, {"x"}},
        {'"' + tool + '"', tool, {}},
        {root() + "/MY TOOL/RUN ME.EXE /A", tool, {"/A"}},
        {root() + "/TK_Sched.exe", sched, {}},
        {root() + "/missing.exe a b", root() + "/missing.exe", {"a", "b"}},
        {root() + "/My\tTool/run me.exe", root() + "/My", {"Tool/run", "me.exe"}},
    };
    for (const Case& c : cases) {
        const SplitCommand split = SplitCommandLine(c.line);
        EXPECT_EQ(split.program, c.program) << c.line.toStdString();
        EXPECT_EQ(split.arguments, c.arguments) << c.line.toStdString();
    }
}

TEST_F(ProgramFolder, TheShortestPrefixNamingAFileIsTheProgram) {
    touch("My Tool/run me.exe");
    const QString shorter = touch("My");
    const SplitCommand split = SplitCommandLine(root() + "/My Tool/run me.exe");
    EXPECT_EQ(split.program, shorter);
    EXPECT_EQ(split.arguments, QStringList({"Tool/run", "me.exe"}));
}

// Real starts of the recording program, copied to a path with blanks in it.
class RealStart : public ProgramFolder {
protected:
    QString program;
    QString work;
    QString record;

    void SetUp() override {
        QString bin = qEnvironmentVariable("VALLORIN_BIN");
        if (bin.isEmpty())
            bin = QCoreApplication::applicationDirPath();
        program = root() + "/My Tool/run me.exe";
        QDir().mkpath(root() + "/My Tool");
        ASSERT_TRUE(QFile::copy(bin + "/ArgvRecorder", program));
        QFile::setPermissions(program, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ExeOwner);
        work = root() + "/work";
        QDir().mkpath(work);
        record = root() + "/record";
        qputenv("ARGV_RECORD_FILE", QFile::encodeName(record));
    }

    // The recorded working directory and argv, once the program has written them.
    QStringList waitForRecord() const {
        QFile file(record);
        for (int i = 0; i < 200 && !file.exists(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList words = QString::fromUtf8(file.readAll()).split(QChar(0));
        file.close();
        file.remove();
        if (!words.isEmpty() && words.last().isEmpty())
            words.removeLast();
        return words;
    }

    static QList<int> childrenOfThisProcess() {
        QList<int> children;
        const QStringList entries = QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString& entry : entries) {
            bool number = false;
            const int pid = entry.toInt(&number);
            QFile stat("/proc/" + entry + "/stat");
            if (!number || !stat.open(QIODevice::ReadOnly))
                continue;
            const QByteArray text = stat.readAll();
            // "pid (name) state ppid ...": the name may hold blanks, so read after its ")".
            const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
            if (fields.size() > 1 && fields[1].toInt() == ::getpid())
                children.append(pid);
        }
        return children;
    }
};

TEST_F(RealStart, ShellTextReachesTheProgramOnlyAsArguments) {
    touch("work/x");
    const QString cwd = QFileInfo(work).canonicalFilePath();
    struct Case {
        QString arguments;
        QStringList expected;
    } const cases[] = {
        {"; rm -rf x", {";", "rm", "-rf", "x"}},
        {"$(touch pwned) `touch pwned`", {"$(touch", "pwned)", "`touch", "pwned`"}},
        {R"("a b" | cat > out & echo "$HOME")",
         {"a b", "|", "cat", ">", "out", "&", "echo", "$HOME"}},
        {R"(a\\\"b "" 'q' /FF="C:\Prints\Day 1")",
         {R"(a\"b)", "", "'q'", R"(/FF=C:\Prints\Day 1)"}},
        {"", {}},
    };
    SpawnProgramStarter starter(work);
    for (const Case& c : cases) {
        const QString line = program + (c.arguments.isEmpty() ? QString() : " " + c.arguments);
        EXPECT_GT(starter.start(line), StartResult::LastError) << line.toStdString();
        const QStringList recorded = waitForRecord();
        ASSERT_GE(recorded.size(), 2) << line.toStdString();
        EXPECT_EQ(recorded[0], cwd);
        EXPECT_EQ(recorded[1], program);
        EXPECT_EQ(recorded.mid(2), c.expected) << line.toStdString();
    }
    EXPECT_TRUE(QFile::exists(work + "/x"));
    for (const QString& folder : {work, root(), QDir::currentPath()}) {
        EXPECT_FALSE(QFile::exists(folder + "/pwned")) << folder.toStdString();
        EXPECT_FALSE(QFile::exists(folder + "/out")) << folder.toStdString();
    }
}

TEST_F(RealStart, TheProgramIsFoundWithoutRegardToCase) {
    SpawnProgramStarter starter(work);
    EXPECT_GT(starter.start(root() + "/my tool/RUN ME.exe /S"), StartResult::LastError);
    const QStringList recorded = waitForRecord();
    ASSERT_EQ(recorded.size(), 3);
    EXPECT_EQ(recorded[1], program);
    EXPECT_EQ(recorded[2], "/S");
}

TEST_F(RealStart, FailuresAnswerAsWinExecDoes) {
    touch("notes.txt", "just text\n");
    touch("garbage.exe", "not a program at all\n",
          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    SpawnProgramStarter starter(work);
    struct Case {
        QString line;
        int result;
    } const cases[] = {
        {root() + "/missing.exe /A", StartResult::FileNotFound},
        {root() + "/My Tool", StartResult::FileNotFound},
        {"", StartResult::FileNotFound},
        {root() + "/nofolder/run.exe", StartResult::PathNotFound},
        {root() + "/nofolder/run.exe /A", StartResult::PathNotFound},
        {root() + "/notes.txt", StartResult::BadFormat},
        {root() + "/garbage.exe x", StartResult::BadFormat},
    };
    for (const Case& c : cases)
        EXPECT_EQ(starter.start(c.line), c.result) << c.line.toStdString();

    SpawnProgramStarter nowhere(root() + "/gone");
    EXPECT_EQ(nowhere.start(program), StartResult::PathNotFound);
    EXPECT_FALSE(QFile::exists(record));
}

TEST_F(RealStart, NoChildIsLeftAZombie) {
    SpawnProgramStarter starter(work);
    for (int i = 0; i < 5; ++i) {
        ASSERT_GT(starter.start(program + " run"), StartResult::LastError);
        ASSERT_EQ(waitForRecord().size(), 3);
    }
    // Reaped children vanish from /proc; a zombie would stay listed.
    QList<int> children = childrenOfThisProcess();
    for (int i = 0; i < 200 && !children.isEmpty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        children = childrenOfThisProcess();
    }
    EXPECT_TRUE(children.isEmpty()) << children.size() << " children remain";
}

} // namespace
