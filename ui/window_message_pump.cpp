#include "ui/window_message_pump.h"

#include <QSocketNotifier>

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace peldor {

TWindowMessagePump::TWindowMessagePump(THandler theHandler, QObject* parent)
    : QObject(parent), handler(std::move(theHandler)) {
    wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd >= 0) {
        notifier = new QSocketNotifier(wakeFd, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this] {
            std::uint64_t count = 0;
            // Resets the counter; the messages themselves are in the queue.
            [[maybe_unused]] const ssize_t got = read(wakeFd, &count, sizeof count);
            Deliver();
        });
    }
}

TWindowMessagePump::~TWindowMessagePump() {
    delete notifier;
    if (wakeFd >= 0) {
        close(wakeFd);
    }
}

void TWindowMessagePump::Post(TWindowMessage message) {
    queue.Post(std::move(message));
    if (wakeFd >= 0) {
        // Non-blocking; a full counter still leaves the fd readable, so nothing is lost.
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(wakeFd, &one, sizeof one);
    }
}

int TWindowMessagePump::Deliver() {
    int count = 0;
    for (const TWindowMessage& message : queue.Drain()) {
        if (handler) {
            handler(message);
        }
        ++count;
    }
    return count;
}

} // namespace peldor
