#pragma once
// Drives modal message boxes in tests: every time a new TMsgBoxForm becomes the active modal
// window, the next queued action runs on it (from a timer, inside the box's event loop). The
// action waits until the box is the active window (a slow machine activates it late), and a box
// that an action leaves open after a failed check is closed, so a failure never hangs the test.

#include "ui/msg_box_form.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <deque>
#include <functional>

namespace peldor::test {

class ModalDriver {
public:
    using Action = std::function<void(TMsgBoxForm*)>;

    ModalDriver() {
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [this] { Poll(); });
        timer.start();
    }
    void Then(Action action) { actions.push_back(std::move(action)); }
    bool Done() const { return actions.empty(); }
    int Handled() const { return handled; }

private:
    void Poll() {
        auto* form = qobject_cast<TMsgBoxForm*>(QApplication::activeModalWidget());
        if (form == nullptr || form == last || actions.empty() || !form->isVisible()) {
            waiting.invalidate();
            return;
        }
        if (!form->isActiveWindow()) {
            // Give the window system up to two seconds to activate the box.
            if (!waiting.isValid()) {
                waiting.start();
            }
            if (waiting.elapsed() < 2000) {
                return;
            }
        }
        waiting.invalidate();
        last = form;
        ++handled;
        Action action = std::move(actions.front());
        actions.pop_front();
        action(form);
        if (QTest::currentTestFailed() && last != nullptr && last->isVisible()) {
            last->close();
        }
    }

    QTimer timer;
    std::deque<Action> actions;
    QPointer<TMsgBoxForm> last;
    QElapsedTimer waiting;
    int handled = 0;
};

} // namespace peldor::test
