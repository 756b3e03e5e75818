#pragma once
// A time limit for one test with its tear-down. A call into another process that never
// returns (a sound server that went away mid-call) must fail the run with a message saying
// so, not hang it until CTest's time limit ends it without one.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace peldor::test {

class TestDeadline {
public:
    /// Arms the limit for what (named in the message). Past it, the message goes to stderr
    /// and the test program ends with exit code 1 (child servers die with it).
    TestDeadline(std::chrono::seconds limit, std::string what);
    /// Disarms the limit.
    ~TestDeadline();
    TestDeadline(const TestDeadline&) = delete;
    TestDeadline& operator=(const TestDeadline&) = delete;

    /// "Suite.Test" of the test running now, or "a test" outside one.
    static std::string CurrentTestName();

private:
    std::mutex lock;
    std::condition_variable disarmed;
    bool done = false;
    std::thread watcher;
};

} // namespace peldor::test
