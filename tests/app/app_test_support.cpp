#include "tests/app/app_test_support.h"

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace peldor::test {

// ---- Child processes --------------------------------------------------------------------------

ChildProcess::~ChildProcess() {
    if (pid > 0) {
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
    }
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                         const std::filesystem::path& outputFolder, const std::string& name,
                         const std::map<std::string, std::string>& environment) {
    outPath = outputFolder / (name + ".out");
    errPath = outputFolder / (name + ".err");
    // Everything the child needs is prepared before fork: after it, only system calls.
    std::vector<std::string> argumentStore{program};
    argumentStore.insert(argumentStore.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : argumentStore) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    std::map<std::string, std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::size_t equals = text.find('=');
        if (equals != std::string::npos) {
            merged[text.substr(0, equals)] = text.substr(equals + 1);
        }
    }
    for (const auto& [key, value] : environment) {
        merged[key] = value;
    }
    std::vector<std::string> environmentStore;
    for (const auto& [key, value] : merged) {
        environmentStore.push_back(key + "=" + value);
    }
    std::vector<char*> envp;
    for (std::string& entry : environmentStore) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    const std::string out = outPath.string();
    const std::string err = errPath.string();

    const pid_t child = fork();
    if (child < 0) {
        return false;
    }
    if (child == 0) {
        // The child dies with the test process, whatever happens to it.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (outFd < 0 || errFd < 0) {
            _exit(127);
        }
        dup2(outFd, STDOUT_FILENO);
        dup2(errFd, STDERR_FILENO);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    pid = child;
    return true;
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds timeout) {
    if (pid <= 0) {
        return std::nullopt;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            pid = -1;
            if (WIFEXITED(status)) {
                return WEXITSTATUS(status);
            }
            return WIFSIGNALED(status) ? -WTERMSIG(status) : -1;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

bool ChildProcess::Signal(int signal) {
    return pid > 0 && kill(pid, signal) == 0;
}

namespace {
std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}
} // namespace

std::string ChildProcess::Stdout() const {
    return ReadText(outPath);
}

std::string ChildProcess::Stderr() const {
    return ReadText(errPath);
}

int RunProgram(const std::string& program, const std::vector<std::string>& arguments,
               const std::filesystem::path& outputFolder, std::chrono::milliseconds timeout,
               std::string* out, std::string* err,
               const std::map<std::string, std::string>& environment) {
    static int runs = 0;
    ChildProcess child;
    if (!child.Start(program, arguments, outputFolder, "run" + std::to_string(++runs),
                     environment)) {
        return -1;
    }
    const std::optional<int> code = child.Wait(timeout);
    if (out != nullptr) {
        *out = child.Stdout();
    }
    if (err != nullptr) {
        *err = child.Stderr();
    }
    return code.value_or(-1);
}

// ---- MIDI files -------------------------------------------------------------------------------

namespace {
void PutU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}
void PutU16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}
void PutNumber(std::vector<std::uint8_t>& out, std::uint32_t value) {
    std::uint8_t groups[5];
    int count = 0;
    do {
        groups[count++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count > 0) {
        --count;
        out.push_back(static_cast<std::uint8_t>(groups[count] | (count > 0 ? 0x80 : 0)));
    }
}
} // namespace

std::vector<std::uint8_t> MidiFileBytes(int format, int ticksPerQuarter,
                                        const std::vector<std::vector<MidiEventBytes>>& tracks) {
    std::vector<std::uint8_t> out{'M', 'T', 'h', 'd'};
    PutU32(out, 6);
    PutU16(out, static_cast<std::uint32_t>(format));
    PutU16(out, static_cast<std::uint32_t>(tracks.size()));
    PutU16(out, static_cast<std::uint32_t>(ticksPerQuarter));
    for (const auto& track : tracks) {
        std::vector<std::uint8_t> body;
        for (const MidiEventBytes& event : track) {
            PutNumber(body, event.Delta);
            body.insert(body.end(), event.Bytes.begin(), event.Bytes.end());
        }
        body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
        out.insert(out.end(), {'M', 'T', 'r', 'k'});
        PutU32(out, static_cast<std::uint32_t>(body.size()));
        out.insert(out.end(), body.begin(), body.end());
    }
    return out;
}

void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// ---- WAV files --------------------------------------------------------------------------------

bool ReadWav(const std::filesystem::path& path, WavData& wav) {
    const std::string text = ReadText(path);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    auto u16 = [&](std::size_t at) { return bytes[at] | (bytes[at + 1] << 8); };
    auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(bytes[at] | (bytes[at + 1] << 8) |
                                          (bytes[at + 2] << 16)) |
               (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
    };
    constexpr std::size_t kHeader = 44;
    if (text.size() < kHeader || text.compare(0, 4, "RIFF") != 0 ||
        text.compare(8, 8, "WAVEfmt ") != 0 || text.compare(36, 4, "data") != 0) {
        return false;
    }
    const int format = u16(20);
    wav.Channels = u16(22);
    wav.SampleRate = static_cast<int>(u32(24));
    wav.BitsPerSample = u16(34);
    const std::uint32_t dataBytes =
        std::min<std::uint32_t>(u32(40), static_cast<std::uint32_t>(text.size() - kHeader));
    const int width = wav.BitsPerSample / 8;
    if (wav.Channels <= 0 || width <= 0 ||
        !((format == 1 && (width == 2 || width == 3)) || (format == 3 && width == 4))) {
        return false;
    }
    const std::size_t frames = dataBytes / static_cast<std::size_t>(width * wav.Channels);
    wav.Samples.assign(static_cast<std::size_t>(wav.Channels), std::vector<float>(frames));
    for (std::size_t f = 0; f < frames; ++f) {
        for (int c = 0; c < wav.Channels; ++c) {
            const std::size_t at = kHeader + (f * static_cast<std::size_t>(wav.Channels) +
                                              static_cast<std::size_t>(c)) *
                                                 static_cast<std::size_t>(width);
            float value = 0.0f;
            if (format == 3) {
                std::memcpy(&value, bytes + at, sizeof value);
            } else if (width == 2) {
                value = static_cast<float>(static_cast<std::int16_t>(u16(at))) / 32768.0f;
            } else {
                std::int32_t v = bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16);
                if (v & 0x800000) {
                    v -= 0x1000000;
                }
                value = static_cast<float>(v) / 8388608.0f;
            }
            wav.Samples[static_cast<std::size_t>(c)][f] = value;
        }
    }
    return true;
}

double ToneLevel(const std::vector<float>& samples, std::size_t begin, std::size_t end,
                 double frequency, double sampleRate) {
    end = std::min(end, samples.size());
    if (begin >= end) {
        return 0.0;
    }
    constexpr double kTwoPi = 6.283185307179586;
    const double omega = kTwoPi * frequency / sampleRate;
    const double coefficient = 2.0 * std::cos(omega);
    double s1 = 0.0;
    double s2 = 0.0;
    for (std::size_t i = begin; i < end; ++i) {
        const double s0 = samples[i] + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    return 2.0 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(end - begin);
}

double DominantFrequency(const std::vector<float>& samples, std::size_t begin, std::size_t end,
                         double lowest, double highest, double sampleRate) {
    double best = lowest;
    double bestLevel = -1.0;
    for (double frequency = lowest; frequency <= highest; frequency += 1.0) {
        const double level = ToneLevel(samples, begin, end, frequency, sampleRate);
        if (level > bestLevel) {
            bestLevel = level;
            best = frequency;
        }
    }
    return best;
}

double NoteFrequency(int note) {
    constexpr double kA4 = 440.0;
    constexpr int kA4Note = 69;
    return kA4 * std::exp2((note - kA4Note) / 12.0);
}

std::string PeldorProgram() {
    return PELDOR_PROGRAM;
}

std::string RenderProgram() {
    return PELDOR_RENDER_PROGRAM;
}

} // namespace peldor::test
