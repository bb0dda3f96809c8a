// Start-up as a person feels it: the whole process, from exec to the first map of a top-level
// window on an X server (Xvfb), and its resident memory once shown. The program on the demo
// prefix and on a large prefix (200 + 200 definitions, 5,000 toolkit files) and the bare
// five-tab window are started alternately in one run, so that all three see the same machine.
#include "BenchOptions.h"
#include "BenchSupport.h"

#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// An Xvfb of its own on a free display, which it names through -displayfd.
class XServer {
public:
    XServer() {
        int fds[2];
        if (::pipe(fds) != 0)
            throw std::runtime_error("pipe");
        const std::string fd = std::to_string(fds[1]);
        // -noreset: a program started just as the previous one left would otherwise meet the
        // server's reset and be refused.
        const char* argv[] = {"Xvfb",        "-displayfd", fd.c_str(), "-screen",  "0",
                              "1024x768x24", "-nolisten",  "tcp",      "-noreset", nullptr};
        if (::posix_spawnp(&pid, "Xvfb", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
            throw std::runtime_error("Xvfb cannot be started");
        ::close(fds[1]);
        char number[32] = {};
        std::size_t length = 0;
        while (length < sizeof number - 1) {
            const ssize_t got = ::read(fds[0], number + length, 1);
            if (got <= 0 || number[length] == '\n')
                break;
            ++length;
        }
        ::close(fds[0]);
        number[length] = 0;
        if (length == 0)
            throw std::runtime_error("Xvfb named no display");
        name = std::string(":") + number;
        display = XOpenDisplay(name.c_str());
        if (!display)
            throw std::runtime_error("cannot connect to " + name);
        XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
        XSync(display, True);
    }
    ~XServer() {
        if (display)
            XCloseDisplay(display);
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    std::string name;
    Display* display = nullptr;

private:
    pid_t pid = -1;
};

struct Launch {
    double milliseconds = -1;
    long residentKilobytes = -1;
};

// Starts program with the X server as its display (and prefix as its prefix, when given),
// waits for a window of it to be mapped on the root, lets it settle, reads its resident set,
// and ends it.
Launch StartToMap(XServer& x, const std::string& program, const std::string& prefix,
                  const std::string& runtimeFolder) {
    std::vector<std::string> variables;
    for (char** v = environ; *v; ++v) {
        const std::string variable = *v;
        const char* const replaced[] = {"DISPLAY=", "QT_QPA_PLATFORM=", "VALLORIN_PREFIX="};
        if (std::none_of(std::begin(replaced), std::end(replaced),
                         [&](const char* name) { return variable.starts_with(name); }))
            variables.push_back(variable);
    }
    variables.push_back("DISPLAY=" + x.name);
    if (!std::getenv("XDG_RUNTIME_DIR"))
        variables.push_back("XDG_RUNTIME_DIR=" + runtimeFolder);
    if (!prefix.empty())
        variables.push_back("VALLORIN_PREFIX=" + prefix);
    std::vector<char*> envp;
    for (std::string& variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    const char* argv[] = {program.c_str(), nullptr};

    Launch launch;
    pid_t pid = -1;
    const Clock::time_point start = Clock::now();
    if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, const_cast<char**>(argv),
                      envp.data()) != 0)
        return launch;
    const int connection = ConnectionNumber(x.display);
    while (launch.milliseconds < 0) {
        while (XPending(x.display) > 0 && launch.milliseconds < 0) {
            XEvent event;
            XNextEvent(x.display, &event);
            if (event.type == MapNotify && event.xmap.event == DefaultRootWindow(x.display))
                launch.milliseconds =
                    std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        }
        if (launch.milliseconds >= 0)
            break;
        pollfd wait{connection, POLLIN, 0};
        if (::poll(&wait, 1, 20000) <= 0)
            break; // no window within 20 s
    }
    // What the shown window holds once its first paints are done.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    launch.residentKilobytes = StatusKilobytes(std::to_string(pid), "VmRSS:");
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    XSync(x.display, True); // its unmap and destroy events are not the next program's
    return launch;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

// The demo prefix, as scripts/make-demo-prefix.sh makes it.
class DemoPrefix {
public:
    DemoPrefix() {
        QProcess script;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("VALLORIN_BIN", VALLORIN_BIN_DIR);
        script.setProcessEnvironment(environment);
        script.start(VALLORIN_SOURCE_DIR "/scripts/make-demo-prefix.sh", {folder()});
        if (!script.waitForFinished(60000) || script.exitCode() != 0)
            throw std::runtime_error("make-demo-prefix.sh failed: " +
                                     script.readAllStandardError().toStdString());
    }
    QString folder() const { return dir.path() + "/prefix"; }

private:
    QTemporaryDir dir;
};

std::string Label(const std::string& program) {
    return program.substr(program.find_last_of('/') + 1);
}

// programs: the program as built, and any further builds of it to compare in the same run.
// rounds: starts of each side counted, after one more as a warm-up.
void WholeProcessStartUp(benchmark::State& state, const std::vector<std::string>& programs,
                         int rounds) {
    XServer x;
    const QTemporaryDir runtime; // the session folder the programs expect, when none is set
    const DemoPrefix demo;
    const BenchPrefix large(200, 200, 5000, 1000);
    struct Side {
        std::string name, program, prefix;
        std::vector<double> ms, kB;
    };
    std::vector<Side> sides = {{"bare", VALLORIN_BIN_DIR "/BareTabWindow", "", {}, {}}};
    for (const std::string& program : programs) {
        sides.push_back({Label(program) + "_demo", program, demo.folder().toStdString(), {}, {}});
        sides.push_back({Label(program) + "_large", program, large.folder().toStdString(), {}, {}});
    }
    for (auto _ : state) {
        for (int round = 0; round <= rounds; ++round) {
            for (Side& side : sides) {
                const Launch launch =
                    StartToMap(x, side.program, side.prefix, runtime.path().toStdString());
                if (launch.milliseconds < 0 || launch.residentKilobytes < 0) {
                    state.SkipWithError((side.name + " showed no window").c_str());
                    return;
                }
                if (round > 0) {
                    side.ms.push_back(launch.milliseconds);
                    side.kB.push_back(double(launch.residentKilobytes));
                }
            }
            std::rotate(sides.begin(), sides.begin() + 1, sides.end()); // alternate the order
        }
    }
    const auto bare = std::find_if(sides.begin(), sides.end(),
                                   [](const Side& side) { return side.name == "bare"; });
    const double bareMs = Median(bare->ms);
    const double bareKb = Median(bare->kB);
    for (const Side& side : sides) {
        state.counters[side.name + "_ms"] = Median(side.ms);
        state.counters[side.name + "_MiB"] = Median(side.kB) / 1024;
        if (&side != &*bare) {
            state.counters[side.name + "_time_x"] = Median(side.ms) / bareMs;
            state.counters[side.name + "_rss_x"] = Median(side.kB) / bareKb;
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    // What the benchmark library left: "--rounds=N" (20 by default), and further builds of the
    // program to start beside it (to compare a change with what came before it in one run).
    const QStringList args = QCoreApplication::arguments().mid(1);
    const int rounds = std::max(1, IntOption(args, "rounds", 20));
    std::vector<std::string> programs = {VALLORIN_BIN_DIR "/vallorin"};
    for (int i = 1; i < argc; ++i)
        if (!std::string_view(argv[i]).starts_with("--rounds="))
            programs.push_back(argv[i]);
    benchmark::RegisterBenchmark("BM_WholeProcessStartUp",
                                 [programs, rounds](benchmark::State& state) {
                                     WholeProcessStartUp(state, programs, rounds);
                                 })
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
