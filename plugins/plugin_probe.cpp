#include "plugins/plugin_probe.h"

#include "plugins/probe_answer.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace peldor {
namespace {

using Clock = std::chrono::steady_clock;

/// How often a probe whose end cannot be waited for (no process descriptor) is looked at
/// again once its output is closed.
constexpr std::chrono::milliseconds kReapInterval{2};
constexpr std::size_t kReadChunk = 4096;

bool Executable(const std::string& path) {
    return !path.empty() && ::access(path.c_str(), X_OK) == 0;
}

std::string RunningProgramFolder() {
    char buffer[4096];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) {
        return {};
    }
    std::string path(buffer, static_cast<std::size_t>(length));
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

struct TRunningProbe {
    std::size_t Job = 0;
    pid_t Pid = -1;
    int Output = -1;
    /// Becomes readable when the probe ends; -1 where the system has none.
    int ProcessFd = -1;
    Clock::time_point Deadline;
    std::string Answer;
    bool Reaped = false;
    int Status = 0;
    bool TimedOut = false;
    bool TooLong = false;
};

void CloseOutput(TRunningProbe& probe) {
    if (probe.Output >= 0) {
        ::close(probe.Output);
        probe.Output = -1;
    }
}

void CloseProcessFd(TRunningProbe& probe) {
    if (probe.ProcessFd >= 0) {
        ::close(probe.ProcessFd);
        probe.ProcessFd = -1;
    }
}

/// Reads what the probe has written so far; closes the output at its end.
void Drain(TRunningProbe& probe) {
    char buffer[kReadChunk];
    while (probe.Output >= 0) {
        const ssize_t got = ::read(probe.Output, buffer, sizeof buffer);
        if (got > 0) {
            if (probe.Answer.size() + static_cast<std::size_t>(got) > kProbeAnswerLimit) {
                probe.TooLong = true;
                CloseOutput(probe);
                return;
            }
            probe.Answer.append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0) {
            CloseOutput(probe);
        } else if (errno != EINTR) {
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                CloseOutput(probe);
            }
            return;
        }
    }
}

void Reap(TRunningProbe& probe, bool wait) {
    if (probe.Reaped) {
        return;
    }
    int status = 0;
    pid_t got = 0;
    do {
        got = ::waitpid(probe.Pid, &status, wait ? 0 : WNOHANG);
    } while (got < 0 && errno == EINTR);
    if (got == probe.Pid || got < 0) {
        probe.Reaped = true;
        probe.Status = got < 0 ? 0 : status;
    }
}

std::string StageSuffix(const std::string& stage) {
    return stage.empty() ? std::string() : " while " + stage;
}

TLibraryScanResult Judge(const TRunningProbe& probe, const TProbeJob& job,
                         std::chrono::milliseconds timeout) {
    TProbeAnswer answer = ParseProbeAnswer(probe.Answer, job.LibraryFile, job.SubFolder);
    TLibraryScanResult failed;
    if (probe.TimedOut) {
        failed.Failure =
            "did not answer in " + std::to_string((timeout.count() + 999) / 1000) + " s";
    } else if (probe.TooLong) {
        failed.Failure = "gave an answer that could not be read";
    } else if (WIFSIGNALED(probe.Status)) {
        const int signal = WTERMSIG(probe.Status);
        failed.Failure = "crashed: " + SignalDescription(signal) + StageSuffix(answer.Stage);
        // Stopped from outside (Ctrl+C reaches the whole process group, the system may kill
        // a process): not the library's doing, so it is not held against it next time.
        failed.Transient =
            signal == SIGINT || signal == SIGTERM || signal == SIGHUP || signal == SIGKILL;
    } else if (WIFEXITED(probe.Status) && WEXITSTATUS(probe.Status) != 0) {
        failed.Failure = "exited with code " + std::to_string(WEXITSTATUS(probe.Status));
    } else if (!answer.Readable && !probe.Answer.empty()) {
        failed.Failure = "gave an answer that could not be read";
    } else if (!answer.Complete) {
        failed.Failure = "ended without a complete answer" + StageSuffix(answer.Stage);
    } else {
        return std::move(answer.Result);
    }
    return failed;
}

/// Starts the probe for job; false with the reason when the system refuses.
bool Start(const TProbeSettings& settings, const TProbeJob& job, TRunningProbe& probe,
           std::string& why) {
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        why = std::string("could not start the probe: ") + std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    // Plugins talk on stderr; the answer is all the scan wants of a probe.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigfillset(&defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::string program = settings.Program;
    std::string library = job.LibraryFile;
    char* arguments[] = {program.data(), library.data(), nullptr};
    pid_t pid = -1;
    const int error =
        ::posix_spawn(&pid, program.c_str(), &actions, &attributes, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(pipeEnds[1]);
    if (error != 0) {
        ::close(pipeEnds[0]);
        why = "could not start " + program + ": " + std::strerror(error);
        return false;
    }
    ::fcntl(pipeEnds[0], F_SETFL, ::fcntl(pipeEnds[0], F_GETFL) | O_NONBLOCK);
    probe.Pid = pid;
    probe.Output = pipeEnds[0];
    probe.ProcessFd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    probe.Deadline = Clock::now() + settings.Timeout;
    return true;
}

} // namespace

std::string FindPluginProbe() {
    if (const char* overridden = std::getenv("PELDOR_PLUGIN_PROBE");
        overridden != nullptr && *overridden != '\0') {
        return Executable(overridden) ? std::string(overridden) : std::string();
    }
    const std::string folder = RunningProgramFolder();
    if (!folder.empty() && Executable(folder + "/" + kPluginProbeName)) {
        return folder + "/" + kPluginProbeName;
    }
    // Installed: the programs in bin/, the probe in lib/peldor/.
    if (const std::string installed = folder + "/../lib/peldor/" + kPluginProbeName;
        !folder.empty() && Executable(installed)) {
        return std::filesystem::weakly_canonical(installed).string();
    }
#ifdef PELDOR_PLUGIN_PROBE_BUILD_PATH
    if (Executable(PELDOR_PLUGIN_PROBE_BUILD_PATH)) {
        return PELDOR_PLUGIN_PROBE_BUILD_PATH;
    }
#endif
    return {};
}

std::string SignalDescription(int signal) {
    switch (signal) {
    case SIGSEGV:
        return "segmentation fault";
    case SIGABRT:
        return "abort";
    case SIGBUS:
        return "bus error";
    case SIGFPE:
        return "floating-point exception";
    case SIGILL:
        return "illegal instruction";
    case SIGKILL:
        return "killed";
    case SIGTERM:
        return "terminated";
    default:
        break;
    }
    const char* text = ::strsignal(signal);
    return text != nullptr ? std::string(text) : "signal " + std::to_string(signal);
}

std::vector<TLibraryScanResult> RunProbes(const std::vector<TProbeJob>& jobs,
                                          const TProbeSettings& settings,
                                          const std::function<void(std::size_t)>& started) {
    std::vector<TLibraryScanResult> results(jobs.size());
    std::vector<TRunningProbe> running;
    const std::size_t parallel =
        static_cast<std::size_t>(settings.Parallel < 1 ? 1 : settings.Parallel);
    std::size_t next = 0;
    while (next < jobs.size() || !running.empty()) {
        while (running.size() < parallel && next < jobs.size()) {
            const std::size_t job = next++;
            if (started) {
                started(job);
            }
            TRunningProbe probe;
            probe.Job = job;
            std::string why;
            if (Start(settings, jobs[job], probe, why)) {
                running.push_back(std::move(probe));
            } else {
                results[job].Failure = why;
                results[job].Transient = true;
            }
        }
        if (running.empty()) {
            continue;
        }

        // Wake for output, for a probe's end, or at the first deadline.
        std::vector<pollfd> watched;
        auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(running.front().Deadline -
                                                                          Clock::now());
        for (const TRunningProbe& probe : running) {
            wait = std::min(wait, std::chrono::duration_cast<std::chrono::milliseconds>(
                                      probe.Deadline - Clock::now()));
            if (probe.Output >= 0) {
                watched.push_back({probe.Output, POLLIN, 0});
            }
            if (probe.ProcessFd >= 0) {
                watched.push_back({probe.ProcessFd, POLLIN, 0});
            } else if (probe.Output < 0) {
                wait = std::min(wait, kReapInterval);
            }
        }
        const int waitMs = static_cast<int>(std::max<std::int64_t>(wait.count(), 0) + 1);
        ::poll(watched.data(), watched.size(), waitMs);

        for (auto it = running.begin(); it != running.end();) {
            TRunningProbe& probe = *it;
            Drain(probe);
            Reap(probe, false);
            if (!probe.Reaped && Clock::now() >= probe.Deadline) {
                ::kill(probe.Pid, SIGKILL);
                Reap(probe, true);
                probe.TimedOut = true;
            }
            if (probe.TooLong && !probe.Reaped) {
                ::kill(probe.Pid, SIGKILL);
                Reap(probe, true);
            }
            // Done once the probe has ended; output a process of its own may still hold open
            // is not waited for.
            if (probe.Reaped) {
                Drain(probe);
                CloseOutput(probe);
                CloseProcessFd(probe);
                results[probe.Job] = Judge(probe, jobs[probe.Job], settings.Timeout);
                it = running.erase(it);
            } else {
                ++it;
            }
        }
    }
    return results;
}

} // namespace peldor
