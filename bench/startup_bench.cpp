// Start-up against the toolkit's own limit: runs the real main window and a
// bare QMainWindow of the same size in alternating pairs, each as a fresh
// process that quits on its first painted frame, and reports the median time
// from spawning the process to that frame, to the process's exit, and its
// peak resident memory, with the real window's ratios to the bare one.
//
// Usage: fretmap_startup_bench [--pairs N] [--platform NAME]
//                              [--real PROGRAM] [--bare PROGRAM]

#include "startup_measure.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

using namespace fretmap::bench;

constexpr int kDefaultPairs = 20;
constexpr int kMaxPairs = 10'000;
constexpr int kChildTimeoutMs = 30'000; // a child that never paints is a failure, not a wait
constexpr double kGoalRatio = 1.1;

struct Run {
    double firstPaintMs;
    double exitMs;
    double peakMiB;
};

std::runtime_error systemError(const std::string& what)
{
    return std::runtime_error(what + ": " + std::strerror(errno));
}

// Closes a descriptor when it goes out of scope, whichever way that is.
class Descriptor {
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    {
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { reset(); }
    int get() const { return m_fd; }
    void reset()
    {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

// Starts `program` with its stdout and stderr on a pipe, collects what it
// prints until it closes the pipe (shown only when the run fails), and reaps it for its own resource usage (wait4 gives
// one child's peak, where RUSAGE_CHILDREN would give the largest of all).
Run runOnce(const std::string& program)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        throw systemError("pipe");
    Descriptor readEnd(fds[0]);
    Descriptor writeEnd(fds[1]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDERR_FILENO);
    std::string arg0 = program;
    char* argv[] = {arg0.data(), nullptr};

    pid_t pid = 0;
    const long long start = monotonicNanoseconds();
    const int spawnError = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.reset(); // only the child writes now, so its exit ends the output
    if (spawnError != 0)
        throw std::runtime_error("cannot start " + program + ": " + std::strerror(spawnError));

    std::string output;
    char buffer[4096];
    for (;;) {
        pollfd ready{readEnd.get(), POLLIN, 0};
        const int polled = poll(&ready, 1, kChildTimeoutMs);
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled <= 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            throw std::runtime_error(program + " did not finish within "
                                     + std::to_string(kChildTimeoutMs / 1000) + " s and was killed; it printed:\n"
                                     + output);
        }
        const ssize_t count = read(readEnd.get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        output.append(buffer, static_cast<std::size_t>(count));
    }

    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR)
            throw systemError("wait4");
    }
    const long long exited = monotonicNanoseconds();

    const std::string printed = output.empty() ? std::string{} : "; it printed:\n" + output;
    if (WIFSIGNALED(status))
        throw std::runtime_error(program + " was ended by signal " + std::to_string(WTERMSIG(status)) + printed);
    if (WEXITSTATUS(status) != 0)
        throw std::runtime_error(program + " exited with status " + std::to_string(WEXITSTATUS(status))
                                 + printed);
    const auto painted = findTaggedTime(output, kFirstPaintTag);
    if (!painted || *painted < start)
        throw std::runtime_error(program + " exited without reporting its first paint" + printed);

    return {static_cast<double>(*painted - start) / 1e6, static_cast<double>(exited - start) / 1e6,
            static_cast<double>(usage.ru_maxrss) / 1024.0};
}

struct Summary {
    double firstPaintMs;
    double exitMs;
    double peakMiB;
};

Summary summarize(const std::vector<Run>& runs)
{
    std::vector<double> paint, exit, peak;
    for (const Run& run : runs) {
        paint.push_back(run.firstPaintMs);
        exit.push_back(run.exitMs);
        peak.push_back(run.peakMiB);
    }
    return {median(paint).value(), median(exit).value(), median(peak).value()};
}

const char* verdict(double ratio)
{
    return ratio <= kGoalRatio ? "within" : "OVER";
}

struct Options {
    int pairs = kDefaultPairs;
    std::string platform;
    std::string real = FRETMAP_FORM1_FIRST_PAINT;
    std::string bare = FRETMAP_BARE_FIRST_PAINT;
};

[[noreturn]] void usage(const char* self, int status)
{
    std::fprintf(status == 0 ? stdout : stderr,
                 "Usage: %s [--pairs N] [--platform NAME] [--real PROGRAM] [--bare PROGRAM]\n"
                 "  --pairs N        alternating pairs to run (1 to %d, default %d)\n"
                 "  --platform NAME  Qt platform plugin for the children (default: the\n"
                 "                   QT_QPA_PLATFORM already set, else xcb when DISPLAY is\n"
                 "                   set, else offscreen)\n",
                 self, kMaxPairs, kDefaultPairs);
    std::exit(status);
}

Options parseOptions(int argc, char* argv[])
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help")
            usage(argv[0], 0);
        if (i + 1 >= argc) {
            std::fprintf(stderr, "%s: unknown option or missing value: %s\n", argv[0], argv[i]);
            usage(argv[0], 2);
        }
        const char* value = argv[++i];
        if (arg == "--pairs") {
            const auto pairs = parseCount(value, 1, kMaxPairs);
            if (!pairs) {
                std::fprintf(stderr, "%s: --pairs wants a whole number from 1 to %d, not \"%s\"\n",
                             argv[0], kMaxPairs, value);
                std::exit(2);
            }
            options.pairs = static_cast<int>(*pairs);
        } else if (arg == "--platform") {
            options.platform = value;
        } else if (arg == "--real") {
            options.real = value;
        } else if (arg == "--bare") {
            options.bare = value;
        } else {
            std::fprintf(stderr, "%s: unknown option: %s\n", argv[0], argv[i - 1]);
            usage(argv[0], 2);
        }
    }
    return options;
}

std::string choosePlatform(const Options& options)
{
    if (!options.platform.empty())
        return options.platform;
    if (const char* set = std::getenv("QT_QPA_PLATFORM"); set && *set)
        return set;
    if (const char* display = std::getenv("DISPLAY"); display && *display)
        return "xcb";
    return "offscreen";
}

} // namespace

int main(int argc, char* argv[])
{
    const Options options = parseOptions(argc, argv);
    const std::string platform = choosePlatform(options);
    setenv("QT_QPA_PLATFORM", platform.c_str(), 1);

    try {
        // One unmeasured run of each first, so that neither pays alone for
        // loading the libraries into the page cache.
        runOnce(options.real);
        runOnce(options.bare);

        std::vector<Run> real, bare;
        for (int pair = 0; pair < options.pairs; ++pair) {
            // Alternate which goes first, so that neither always follows the other.
            if (pair % 2 == 0) {
                real.push_back(runOnce(options.real));
                bare.push_back(runOnce(options.bare));
            } else {
                bare.push_back(runOnce(options.bare));
                real.push_back(runOnce(options.real));
            }
        }

        const Summary r = summarize(real);
        const Summary b = summarize(bare);
        const double paintRatio = r.firstPaintMs / b.firstPaintMs;
        const double exitRatio = r.exitMs / b.exitMs;
        const double peakRatio = r.peakMiB / b.peakMiB;

        std::printf("Start-up to the first painted frame: %d alternating pairs, platform %s, medians\n\n",
                    options.pairs, platform.c_str());
        std::printf("%-18s %16s %12s %14s\n", "", "to first paint", "to exit", "peak memory");
        std::printf("%-18s %13.1f ms %9.1f ms %10.1f MiB\n", "fretmap (Form1)", r.firstPaintMs, r.exitMs,
                    r.peakMiB);
        std::printf("%-18s %13.1f ms %9.1f ms %10.1f MiB\n", "bare QMainWindow", b.firstPaintMs, b.exitMs,
                    b.peakMiB);
        std::printf("%-18s %15.3fx %11.3fx %13.3fx\n\n", "ratio", paintRatio, exitRatio, peakRatio);
        std::printf("goal start-up <= %.2fx the bare window: %s (%.3fx)\n", kGoalRatio, verdict(paintRatio),
                    paintRatio);
        std::printf("goal memory   <= %.2fx the bare window: %s (%.3fx)\n", kGoalRatio, verdict(peakRatio),
                    peakRatio);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", argv[0], error.what());
        return 1;
    }
    return 0;
}
