#pragma once
// Drives modal message boxes in tests: every time a new TMsgBoxForm becomes the active modal
// window, the next queued action runs on it (from a timer, inside the box's event loop).

#include "ui/msg_box_form.h"

#include <QApplication>
#include <QPointer>
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
            return;
        }
        last = form;
        ++handled;
        Action action = std::move(actions.front());
        actions.pop_front();
        action(form);
    }

    QTimer timer;
    std::deque<Action> actions;
    QPointer<TMsgBoxForm> last;
    int handled = 0;
};

} // namespace peldor::test
