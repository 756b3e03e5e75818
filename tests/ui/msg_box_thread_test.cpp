// Message boxes raised on other threads: the requester never waits, and the box appears on the
// window thread, one after the other, also while another box is open.
//
// A plain main rather than a QTest runner: the runner's watchdog thread synchronises through
// Qt's uninstrumented futex code, which ThreadSanitizer cannot follow, and this program runs in
// the ThreadSanitizer build.

#include "i18n/message_box.h"
#include "tests/ui/modal_driver.h"
#include "ui/qt_message_box_presenter.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QTest>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <thread>

using namespace peldor;
using peldor::test::ModalDriver;

namespace {

int failures = 0;

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "FAIL: %s\n", what);
        ++failures;
    }
}

// Runs the event loop until done() or the timeout.
template <class Done> bool Until(Done done, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return done();
}

void PostedBoxesAppearOnTheWindowThreadWithoutBlocking() {
    const auto presenter = InstallQtMessageBoxPresenter(nullptr);
    QThread* const windowThread = QThread::currentThread();

    ModalDriver driver;
    QStringList shown;
    bool allOnWindowThread = true;
    std::atomic<int> secondAnswer{-1};
    driver.Then([&](TMsgBoxForm* form) {
        shown << form->TextLabel()->text();
        allOnWindowThread = allOnWindowThread && form->thread() == windowThread &&
                            QThread::currentThread() == windowThread;
        // A request made while this box is open returns at once too.
        std::thread second([&] {
            secondAnswer = peldor::ShowMessageBox("Problem", "second", kMsgProblem, kButtonsOk, 1);
        });
        second.join();
        QTest::keyClick(form, Qt::Key_Return);
    });
    driver.Then([&](TMsgBoxForm* form) {
        shown << form->TextLabel()->text();
        allOnWindowThread = allOnWindowThread && form->thread() == windowThread;
        QTest::keyClick(form, Qt::Key_Escape);
    });

    std::atomic<int> firstAnswer{-1};
    std::thread first([&] {
        firstAnswer = peldor::ShowMessageBox("Problem", "first", kMsgProblem, kButtonsOk, 1);
    });
    first.join(); // returns before any window could have been shown
    Check(firstAnswer.load() == kResultNone, "the requester gets kResultNone at once");
    Check(shown.isEmpty(), "nothing is shown before the window thread runs");

    Check(Until([&] { return shown.size() == 2; }, 5000), "both boxes were shown");
    Check(shown == QStringList({"first", "second"}), "in the order they were posted");
    Check(secondAnswer.load() == kResultNone, "a request during an open box returns at once");
    Check(allOnWindowThread, "the boxes live and run on the window thread");
    Check(driver.Done(), "every box was answered");
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    PostedBoxesAppearOnTheWindowThreadWithoutBlocking();
    std::printf("%s\n", failures == 0 ? "PASS" : "FAILED");
    return failures == 0 ? 0 : 1;
}
