#include "tests/support/test_deadline.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace peldor::test {

TestDeadline::TestDeadline(std::chrono::seconds limit, std::string what) {
    watcher = std::thread([this, limit, what = std::move(what)] {
        std::unique_lock<std::mutex> hold(lock);
        if (disarmed.wait_for(hold, limit, [this] { return done; })) {
            return;
        }
        std::fprintf(stderr,
                     "%s: not finished after %lld s (a call does not return); ending the test "
                     "program\n",
                     what.c_str(), static_cast<long long>(limit.count()));
        std::fflush(stderr);
        std::_Exit(1);
    });
}

TestDeadline::~TestDeadline() {
    {
        std::lock_guard<std::mutex> hold(lock);
        done = true;
    }
    disarmed.notify_all();
    watcher.join();
}

std::string TestDeadline::CurrentTestName() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    if (info == nullptr) {
        return "a test";
    }
    return std::string(info->test_suite_name()) + "." + info->name();
}

} // namespace peldor::test
