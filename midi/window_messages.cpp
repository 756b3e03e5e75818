#include "midi/window_messages.h"

#include <algorithm>
#include <new>
#include <utility>

namespace peldor {
namespace {

std::atomic<IWindowMessagePoster*> installedPoster{nullptr};

} // namespace

TWindowMessageQueue::~TWindowMessageQueue() {
    Node* node = head.exchange(nullptr, std::memory_order_acquire);
    while (node != nullptr) {
        delete std::exchange(node, node->Next);
    }
}

void TWindowMessageQueue::Post(TWindowMessage message) {
    Node* node = new (std::nothrow) Node{std::move(message), nullptr};
    if (node == nullptr) {
        return;
    }
    node->Next = head.load(std::memory_order_relaxed);
    while (!head.compare_exchange_weak(node->Next, node, std::memory_order_release,
                                       std::memory_order_relaxed)) {
    }
}

bool TWindowMessageQueue::InspectorExists() const noexcept {
    return inspectorExists.load(std::memory_order_relaxed);
}

void TWindowMessageQueue::SetInspectorExists(bool exists) noexcept {
    inspectorExists.store(exists, std::memory_order_relaxed);
}

std::vector<TWindowMessage> TWindowMessageQueue::Drain() {
    Node* node = head.exchange(nullptr, std::memory_order_acquire);
    std::vector<TWindowMessage> messages;
    const bool inspector = InspectorExists();
    while (node != nullptr) {
        if (inspector || node->Message.Target != TWindowTarget::Inspector) {
            messages.push_back(std::move(node->Message));
        }
        delete std::exchange(node, node->Next);
    }
    // The list holds the newest message first.
    std::reverse(messages.begin(), messages.end());
    return messages;
}

IWindowMessagePoster& WindowPoster() noexcept {
    IWindowMessagePoster* poster = installedPoster.load(std::memory_order_acquire);
    return poster != nullptr ? *poster : DefaultWindowMessageQueue();
}

void SetWindowPoster(IWindowMessagePoster* poster) noexcept {
    installedPoster.store(poster, std::memory_order_release);
}

TWindowMessageQueue& DefaultWindowMessageQueue() noexcept {
    static TWindowMessageQueue queue;
    return queue;
}

} // namespace peldor
