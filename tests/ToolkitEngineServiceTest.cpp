// The toolkit's shared engine (AVEngine.exe) as its programs meet it: started on first use, one
// per user and toolkit, refusing other users, outlived by a program when it dies, and reloading
// beside the engine a scan began with.
#include "engine/ServiceProtocol.h"
#include "engine/SharedEngine.h"
#include "engine/Signatures.h"
#include "lib/Zip.h"
#include "platform/InstallLayout.h"
#include "support/TempPrefix.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
namespace service = avtk::service;

const QByteArray Marker = QByteArray("TEST-MARKER-") + "SIGNATURE-42";
const QByteArray Later = QByteArray("ADDED-LATER-") + "SIGNATURE-7";

QByteArray Ndb(const QByteArray& name, const QByteArray& bytes) {
    return name + ":0:*:" + bytes.toHex() + "\n";
}

class EngineService : public ::testing::Test {
protected:
    void SetUp() override {
        const QString built = InstallLayout::ToolkitFolder(qEnvironmentVariable("VALLORIN_BIN"));
        toolkit = temp.path() + "/toolkit";
        QDir().mkpath(toolkit + "/Signatures");
        for (const QString program : {"WFindV32.exe", "AVEngine.exe"})
            ASSERT_TRUE(QFile::copy(built + program, toolkit + '/' + program));
        WriteTestFile(toolkit + "/Signatures/test.ndb",
                      "Test.Eicar:0:0:" + avtk::EicarTestString().toHex() + "\n" +
                          Ndb("Test.Marker", Marker));
        // The service's socket in a runtime folder of the test's own; it inherits the rest.
        QDir().mkpath(temp.path() + "/run");
        ::chmod(QFile::encodeName(temp.path() + "/run").constData(), 0700);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(temp.path() + "/run"));
        qputenv("AVTK_CLAMAV_DATABASE", QFile::encodeName(temp.path() + "/no-system-database"));
        qputenv("AVTK_ENGINE_IDLE", "60");
        qunsetenv("AVTK_ENGINE_RELOAD");
        qunsetenv("AVTK_ENGINE");
        prefix.mapDrive('t', prefix.path("drive"));
        prefix.writeFile("drive/tools/eicar.com", avtk::EicarTestString());
        prefix.writeFile("drive/tools/marked.com", "program with " + Marker);
        prefix.writeFile("drive/docs/later.txt", "text with " + Later);
        prefix.writeFile(
            "drive/archive/nested.zip",
            Zip::Write(
                {{"inner.zip", Zip::Write({{"bin/x.com", avtk::EicarTestString()}}), false}}));
    }
    void TearDown() override {
        QString why;
        avtk::ServiceClient::Stop(toolkit, why);
    }

    QProcess* startScan(const QStringList& args, const QStringList& environment = {}) {
        auto* process = new QProcess;
        process->setWorkingDirectory(prefix.folder());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        for (const QString& assignment : environment)
            env.insert(assignment.section('=', 0, 0), assignment.section('=', 1));
        process->setProcessEnvironment(env);
        process->start(toolkit + "/WFindV32.exe", args);
        return process;
    }
    QString finish(QProcess* process) {
        EXPECT_TRUE(process->waitForFinished(120000));
        const QString output = QString::fromUtf8(process->readAllStandardOutput());
        delete process;
        return output;
    }

    // The running services of this toolkit (a zombie has no program to read).
    std::vector<pid_t> services() const {
        std::vector<pid_t> pids;
        const QString program = QFileInfo(toolkit + "/AVEngine.exe").canonicalFilePath();
        for (const QString& entry : QDir("/proc").entryList(QDir::Dirs))
            if (entry.toInt() > 0 &&
                QFileInfo("/proc/" + entry + "/exe").symLinkTarget() == program)
                pids.push_back(pid_t(entry.toInt()));
        return pids;
    }

    int open(const QString& relative) const {
        return ::open(QFile::encodeName(prefix.path(relative)).constData(), O_RDONLY | O_CLOEXEC);
    }

    QTemporaryDir temp;
    TempPrefix prefix;
    QString toolkit;
};

// The lines of the findings, sorted.
QStringList Findings(const QString& output) {
    QStringList found = output.split('\n').filter("Infected: ");
    found.sort();
    return found;
}

// The scheduling policies of a process's threads (field 41 of each thread's stat).
QList<int> ThreadPolicies(qint64 pid) {
    QList<int> policies;
    const QString tasks = QString("/proc/%1/task").arg(pid);
    for (const QString& thread : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks + '/' + thread + "/stat");
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        policies << line.mid(line.lastIndexOf(')') + 2).split(' ').value(41 - 3).toInt();
    }
    return policies;
}

TEST(EngineServiceProtocol, AnswersGoInAsFewPacketsAsFitAndReadBackAsTheyWere) {
    avtk::ScanResult infected{
        avtk::ScanResult::Infected, {"Test.Eicar", {"a.zip", "b.com"}}, {}, false};
    avtk::ScanResult failed{avtk::ScanResult::Failed, {}, QString(12000, 'x'), true};
    struct Row {
        std::vector<avtk::ScanResult> results;
        qsizetype packets;
    };
    for (const Row& row : {Row{{infected}, 1}, Row{{infected, {}, failed}, 1},
                           Row{{failed, infected, failed, failed}, 2}}) {
        std::vector<avtk::ScanResult> back;
        const QList<QByteArray> packets = service::EncodeAnswers(row.results);
        EXPECT_EQ(packets.size(), row.packets);
        for (const QByteArray& packet : packets) {
            const auto answers = service::DecodeAnswers(packet);
            ASSERT_TRUE(answers);
            back.insert(back.end(), answers->begin(), answers->end());
        }
        ASSERT_EQ(back.size(), row.results.size());
        for (std::size_t i = 0; i < back.size(); ++i) {
            EXPECT_EQ(back[i].kind, row.results[i].kind);
            EXPECT_EQ(back[i].finding.virus, row.results[i].finding.virus);
            EXPECT_EQ(back[i].finding.members, row.results[i].finding.members);
            EXPECT_EQ(back[i].problem, row.results[i].problem);
            EXPECT_EQ(back[i].oversized, row.results[i].oversized);
        }
    }
    // A packet cut short or of an unknown kind of answer is none.
    QByteArray packet = service::EncodeAnswers({&infected, 1}).front();
    EXPECT_FALSE(service::DecodeAnswers(packet.left(packet.size() - 3)));
    packet[9] = char(7);
    EXPECT_FALSE(service::DecodeAnswers(packet));
}

// An answer watched for comes whole, with its descriptor, whether it was there before, came
// while it was watched for or only after; a peer gone ends the wait.
TEST(EngineServiceProtocol, AWatchedForPacketComesWholeWhenEverItIsSent) {
    struct Row {
        std::chrono::microseconds watch;
        bool sentFirst;
    };
    for (const Row& row :
         {Row{0us, true}, Row{500us, true}, Row{0us, false}, Row{500us, false}, Row{1us, false}}) {
        SCOPED_TRACE(row.watch.count());
        int ends[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends), 0);
        const int passed = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        const auto send = [&] { EXPECT_TRUE(service::Send(ends[0], "answer", {&passed, 1})); };
        std::thread sender;
        if (row.sentFirst)
            send();
        else
            sender = std::thread(send);
        std::vector<int> fds;
        const std::optional<QByteArray> got = service::Receive(ends[1], &fds, row.watch);
        if (sender.joinable())
            sender.join();
        EXPECT_EQ(got.value_or("none"), "answer");
        EXPECT_EQ(fds.size(), 1u);
        for (int fd : fds)
            ::close(fd);
        ::close(ends[0]);
        EXPECT_FALSE(service::Receive(ends[1], nullptr, row.watch));
        for (int fd : {ends[1], passed})
            ::close(fd);
    }
}

TEST_F(EngineService, AScanNobodyWaitsForRunsInTheBackgroundAndNeverDelaysOneThatIsWaitedFor) {
    struct Row {
        bool background;
        qsizetype idle, normal; // the service's threads after the scan, by scheduling class
    };
    QString why;
    const std::unique_ptr<avtk::ServiceClient> client = avtk::ServiceClient::Open(toolkit, why);
    ASSERT_TRUE(client) << why.toStdString();
    // The main thread, the first connection's and one for the scans nobody waits for, which
    // a scan that is waited for never takes.
    for (const Row& row : {Row{true, 1, 2}, Row{false, 1, 2}, Row{true, 1, 2}}) {
        SCOPED_TRACE(row.background);
        avtk::ScanOptions options;
        options.background = row.background;
        const int fd = open("drive/tools/eicar.com");
        const std::optional<avtk::ScanResult> result = client->scan(fd, "eicar.com", options);
        ::close(fd);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->kind, avtk::ScanResult::Infected);
        const QList<int> policies = ThreadPolicies(client->welcome().pid);
        EXPECT_EQ(policies.count(SCHED_IDLE), row.idle);
        EXPECT_EQ(policies.size() - policies.count(SCHED_IDLE), row.normal);
    }
}

TEST_F(EngineService, ProgramsStartedAtOnceShareOneServiceAndFindWhatTheirOwnEngineFinds) {
    struct Row {
        QStringList args;
        int found;
    };
    const QList<Row> rows = {
        {{"/D=t:", "/NM"}, 2},
        {{"/D=t:", "/U", "/DOALLFILES", "/NM"}, 3},
        // The extra driver is looked for in a small engine of the program's own.
        {{"/D=t:", "/DOALLFILES", "/EXTRA=later.drv", "/NM"}, 3},
    };
    WriteTestFile(toolkit + "/later.drv", "# later\n" + Ndb("Driver.Later", Later));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        std::vector<QProcess*> running;
        for (int i = 0; i < 3; ++i)
            running.push_back(startScan(row.args));
        QStringList outputs;
        for (QProcess* process : running)
            outputs << finish(process);
        EXPECT_EQ(services().size(), 1u);
        const QString own = finish(startScan(row.args, {"AVTK_ENGINE=own"}));
        EXPECT_TRUE(own.contains("Engine: this program's own")) << own.toStdString();
        EXPECT_EQ(Findings(own).size(), row.found) << own.toStdString();
        for (const QString& output : outputs) {
            EXPECT_TRUE(output.contains("in the toolkit's shared engine.")) << output.toStdString();
            EXPECT_EQ(Findings(output), Findings(own));
        }
    }
}

TEST_F(EngineService, ABatchIsAnsweredFileByFileInItsOrderAndAMalformedOneIsRefused) {
    QString why;
    const std::unique_ptr<avtk::ServiceClient> client = avtk::ServiceClient::Open(toolkit, why);
    ASSERT_TRUE(client) << why.toStdString();
    // More files than one request holds, names long enough to split a request early, and one
    // longer than any request.
    const QStringList kinds = {"tools/eicar.com", "tools/marked.com", "docs/later.txt"};
    std::vector<std::string> names;
    std::vector<int> fds;
    for (int i = 0; i < int(service::MaxBatch) + 8; ++i) {
        fds.push_back(open("drive/" + kinds[i % 3]));
        names.push_back(std::string(i % 7 == 0 ? 20000
                                    : i == 9   ? 70000
                                               : 10,
                                    'n') +
                        std::to_string(i));
    }
    std::vector<avtk::BatchFile> files;
    for (std::size_t i = 0; i < fds.size(); ++i)
        files.push_back(avtk::BatchFile{fds[i], names[i]});
    const std::optional<std::vector<avtk::ScanResult>> results = client->scan(files, {});
    ASSERT_TRUE(results);
    ASSERT_EQ(results->size(), fds.size());
    const QStringList expected = {"Test.Eicar", "Test.Marker", ""};
    for (std::size_t i = 0; i < fds.size(); ++i)
        EXPECT_EQ((*results)[i].finding.virus, expected[int(i % 3)]) << i;
    for (int fd : fds)
        ::close(fd);

    // Two names with one descriptor: the service closes the connection unanswered.
    const std::optional<service::Endpoint> endpoint = service::EndpointFor(toolkit, why);
    ASSERT_TRUE(endpoint);
    const int raw = service::Connect(endpoint->socket, why);
    ASSERT_GE(raw, 0) << why.toStdString();
    ASSERT_TRUE(service::Send(raw, service::Encode(service::Hello{})));
    ASSERT_TRUE(service::Receive(raw));
    const int one = open("drive/tools/eicar.com");
    ASSERT_TRUE(
        service::Send(raw, service::Encode(service::ScanRequest{{}, {"a", "b"}}), {&one, 1}));
    EXPECT_FALSE(service::Receive(raw));
    ::close(one);
    ::close(raw);
}

TEST_F(EngineService, AServiceWhoseSocketWasRemovedEndsOnceIdleAndLeavesItsSuccessorsSocket) {
    QString why;
    std::unique_ptr<avtk::ServiceClient> first = avtk::ServiceClient::Open(toolkit, why);
    ASSERT_TRUE(first) << why.toStdString();
    const qint64 firstPid = first->welcome().pid;
    const std::optional<service::Endpoint> endpoint = service::EndpointFor(toolkit, why);
    ASSERT_TRUE(endpoint);
    // The socket and its lock go (a runtime folder emptied): a program starts a second service.
    ASSERT_TRUE(QFile::remove(endpoint->socket) && QFile::remove(endpoint->lock));
    const std::unique_ptr<avtk::ServiceClient> second = avtk::ServiceClient::Open(toolkit, why);
    ASSERT_TRUE(second) << why.toStdString();
    EXPECT_NE(second->welcome().pid, firstPid);
    // The connected program is still served; once it lets go, the first service ends.
    const int fd = open("drive/tools/eicar.com");
    EXPECT_EQ(first->scan(fd, "eicar.com", {})->kind, avtk::ScanResult::Infected);
    ::close(fd);
    first.reset();
    for (int i = 0; i < 200 && services().size() > 1; ++i)
        std::this_thread::sleep_for(100ms);
    EXPECT_EQ(services(), std::vector<pid_t>{pid_t(second->welcome().pid)});
    EXPECT_TRUE(QFileInfo(endpoint->socket).exists());
}

TEST_F(EngineService, AServiceStartedByAProgramThatBlocksSignalsEndsOnSigterm) {
    sigset_t term, before;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &term, &before);
    QString why;
    std::unique_ptr<avtk::ServiceClient> client = avtk::ServiceClient::Open(toolkit, why);
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    ASSERT_TRUE(client) << why.toStdString();
    const pid_t pid = pid_t(client->welcome().pid);
    client.reset();
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    for (int i = 0; i < 100 && !services().empty(); ++i)
        std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(services().empty());
}

TEST_F(EngineService, KilledMidScanTheProgramFinishesOnItsOwnEngine) {
    // A file large enough to be caught in the service's hands, its signature at the end.
    QByteArray big(60 << 20, '\0');
    big.replace(big.size() - Marker.size(), Marker.size(), Marker);
    prefix.writeFile("drive/big.dat", big);
    std::vector<QString> failures;
    avtk::ObtainedScanner obtained = avtk::ObtainScanner(
        toolkit, {}, [&](const QString& f) { failures.push_back(f); }, [](const QString&) {});
    ASSERT_TRUE(obtained.shared);
    ASSERT_EQ(services().size(), 1u);
    const pid_t pid = services()[0];
    const int fd = open("drive/big.dat");
    avtk::ScanResult midScan;
    std::thread scanning([&] { midScan = obtained.scanner->scan(fd, "big.dat", {}); });
    // Killed once it holds the file.
    const QString target = QFileInfo(prefix.path("drive/big.dat")).canonicalFilePath();
    bool caught = false;
    for (auto until = std::chrono::steady_clock::now() + 10s;
         !caught && std::chrono::steady_clock::now() < until;)
        for (const QFileInfo& link :
             QDir(QString("/proc/%1/fd").arg(pid)).entryInfoList(QDir::Files | QDir::System))
            if (link.symLinkTarget() == target && ::kill(pid, SIGKILL) == 0)
                caught = true;
    scanning.join();
    ::close(fd);
    ASSERT_TRUE(caught);
    EXPECT_EQ(midScan.kind, avtk::ScanResult::Infected) << midScan.problem.toStdString();
    EXPECT_EQ(midScan.finding.virus, "Test.Marker");
    const QStringList notes = obtained.scanner->takeNotes();
    ASSERT_EQ(notes.size(), 1);
    EXPECT_TRUE(notes[0].contains("stopped answering: this program goes on with its own"));
    // The scans after it, of files and of bytes, go on with the program's own engine.
    const int eicar = open("drive/tools/eicar.com");
    EXPECT_EQ(obtained.scanner->scan(eicar, "eicar.com", {}).finding.virus, "Test.Eicar");
    ::close(eicar);
    const QByteArray sector = "boot " + Marker;
    EXPECT_EQ(obtained.scanner->scan(sector.constData(), size_t(sector.size()), "A: boot", {})
                  .finding.virus,
              "Test.Marker");
    EXPECT_TRUE(obtained.scanner->takeNotes().isEmpty());
    EXPECT_TRUE(failures.empty());
}

TEST_F(EngineService, AnotherUsersConnectionIsRefused) {
    if (::getuid() != 0)
        GTEST_SKIP() << "another user's connection needs root to be made";
    QString why;
    auto client = avtk::ServiceClient::Open(toolkit, why);
    ASSERT_TRUE(client) << why.toStdString();
    const std::optional<service::Endpoint> endpoint = service::EndpointFor(toolkit, why);
    ASSERT_TRUE(endpoint);
    // Let anyone reach the socket, so that only the service's own check stands in the way.
    const QByteArray socketPath = QFile::encodeName(endpoint->socket);
    const QList<QByteArray> folders = {QFile::encodeName(temp.path()),
                                       QFile::encodeName(temp.path() + "/run"),
                                       QFile::encodeName(QFileInfo(endpoint->socket).path())};
    for (const QByteArray& folder : folders)
        ASSERT_EQ(::chmod(folder.constData(), 0711), 0);
    ASSERT_EQ(::chmod(socketPath.constData(), 0666), 0);
    const QByteArray hello = service::Encode(service::Hello{});
    struct Row {
        const char* who;
        uid_t uid;
        int exit; // 0 answered, 1 closed unanswered
    };
    const Row rows[] = {{"the service's own user", ::getuid(), 0}, {"nobody", 65534, 1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.who);
        // The client runs as the row's user, as setpriv --reuid --regid --clear-groups runs it.
        const pid_t child = ::fork();
        if (child == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setresgid(row.uid, row.uid, row.uid) != 0 ||
                ::setresuid(row.uid, row.uid, row.uid) != 0)
                ::_exit(3);
            const int s = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::strncpy(address.sun_path, socketPath.constData(), sizeof(address.sun_path) - 1);
            if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
                ::_exit(2);
            char answer[4096];
            const bool sent = ::send(s, hello.constData(), size_t(hello.size()), MSG_NOSIGNAL) > 0;
            ::_exit(sent && ::recv(s, answer, sizeof(answer), 0) > 0 ? 0 : 1);
        }
        int status = -1;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), row.exit);
    }
    for (const QByteArray& folder : folders)
        ::chmod(folder.constData(), 0700);
    // The service went on serving its own user.
    const int eicar = open("drive/tools/eicar.com");
    EXPECT_EQ(client->scan(eicar, "eicar.com", {})->finding.virus, "Test.Eicar");
    ::close(eicar);
}

TEST_F(EngineService, ADatabaseChangedDuringAScanLeavesTheScanOnTheEngineItBeganWith) {
    struct Row {
        const char* reload;
        bool oldSeesNew; // the program that began before the change finds the new signature
    };
    const Row rows[] = {{"", false}, {"unload-first", true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reload);
        QFile::remove(toolkit + "/Signatures/later.ndb");
        qputenv("AVTK_ENGINE_RELOAD", row.reload);
        QString why;
        auto before = avtk::ServiceClient::Open(toolkit, why);
        ASSERT_TRUE(before) << why.toStdString();
        const int later = open("drive/docs/later.txt");
        const auto scan = [&](const avtk::ServiceClient& client) {
            return client.scan(later, "later.txt", {}).value_or(avtk::ScanResult{}).kind;
        };
        EXPECT_EQ(scan(*before), avtk::ScanResult::Clean);

        WriteTestFile(toolkit + "/Signatures/later.ndb", Ndb("Test.Later", Later));
        std::unique_ptr<avtk::ServiceClient> after;
        for (auto until = std::chrono::steady_clock::now() + 20s;
             std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(50ms)) {
            after = avtk::ServiceClient::Open(toolkit, why, false);
            if (after && after->welcome().loaded.signatures > before->welcome().loaded.signatures)
                break;
            after.reset();
        }
        ASSERT_TRUE(after) << "the service did not reload";
        EXPECT_EQ(scan(*after), avtk::ScanResult::Infected);
        EXPECT_EQ(scan(*before),
                  row.oldSeesNew ? avtk::ScanResult::Infected : avtk::ScanResult::Clean);
        // A later connection of the program that began first (another scanning thread) is
        // welcomed with the engine the first one had.
        const std::optional<service::Endpoint> endpoint = service::EndpointFor(toolkit, why);
        ASSERT_TRUE(endpoint);
        const int more = service::Connect(endpoint->socket, why);
        ASSERT_GE(more, 0) << why.toStdString();
        ASSERT_TRUE(
            service::Send(more, service::Encode(service::Hello{before->welcome().generation})));
        const std::optional<QByteArray> answer = service::Receive(more);
        const auto welcome = answer ? service::DecodeWelcome(*answer) : std::nullopt;
        ASSERT_TRUE(welcome);
        EXPECT_EQ(welcome->generation == before->welcome().generation, !row.oldSeesNew);
        ::close(more);
        ::close(later);
        before.reset();
        after.reset();
        TearDown();
    }
}

TEST_F(EngineService, StartedByTheUserManagerItServesOnTheSocketItWasGivenAndLeavesIt) {
    QString why;
    const std::optional<service::Endpoint> endpoint = service::EndpointFor(toolkit, why);
    ASSERT_TRUE(endpoint) << why.toStdString();
    const QString elsewhere = QFileInfo(endpoint->socket).path() + "/elsewhere.sock";
    struct Row {
        QString listening;
        int exit;
    };
    for (const Row& row : {Row{endpoint->socket, 0}, Row{elsewhere, 1}}) {
        SCOPED_TRACE(row.listening.toStdString());
        // As systemd passes a socket unit's socket: descriptor 3, LISTEN_FDS and LISTEN_PID.
        const int listener = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = QFile::encodeName(row.listening);
        std::strncpy(address.sun_path, path.constData(), sizeof(address.sun_path) - 1);
        ::unlink(path.constData());
        ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        ASSERT_EQ(::listen(listener, 8), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, listener, 3);
        const QByteArray program = QFile::encodeName(toolkit + "/AVEngine.exe");
        const char* argv[] = {"sh", "-c", "LISTEN_PID=$$ LISTEN_FDS=1 exec \"$0\"",
                              program.constData(), nullptr};
        pid_t child = -1;
        ASSERT_EQ(
            ::posix_spawn(&child, "/bin/sh", &actions, nullptr, const_cast<char**>(argv), environ),
            0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(listener);
        if (row.exit == 0) {
            const QString output = finish(startScan({"/D=t:", "/NM"}));
            EXPECT_TRUE(output.contains("in the toolkit's shared engine.")) << output.toStdString();
            EXPECT_EQ(services(), std::vector<pid_t>{child});
            EXPECT_TRUE(avtk::ServiceClient::Stop(toolkit, why)) << why.toStdString();
        }
        int status = -1;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, row.exit);
        // The socket is the user manager's: it stays to start the service again.
        EXPECT_TRUE(QFileInfo::exists(row.listening));
        ::unlink(path.constData());
    }
}

} // namespace
