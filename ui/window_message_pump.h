#pragma once
// Carries the messages the MIDI threads post (remote commands, the routing monitor) to the
// window thread's Qt event loop. Posting appends to the core's lock-free queue and writes to
// an eventfd: it never waits for a lock and never blocks. The event loop watches the eventfd
// and drains the queue into the handler.

#include "midi/window_messages.h"

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace peldor {

class TWindowMessagePump final : public QObject, public IWindowMessagePoster {
    Q_OBJECT
public:
    using THandler = std::function<void(const TWindowMessage&)>;

    /// handler receives each message on the window thread, oldest first.
    explicit TWindowMessagePump(THandler handler, QObject* parent = nullptr);
    ~TWindowMessagePump() override;

    /// Any thread: queues the message and wakes the window thread.
    void Post(TWindowMessage message) override;
    bool InspectorExists() const noexcept override { return queue.InspectorExists(); }
    /// Window thread.
    void SetInspectorExists(bool exists) noexcept { queue.SetInspectorExists(exists); }

    /// Window thread: hands every queued message to the handler now; returns how many.
    int Deliver();

private:
    TWindowMessageQueue queue;
    THandler handler;
    int wakeFd = -1;
    QSocketNotifier* notifier = nullptr;
};

} // namespace peldor
