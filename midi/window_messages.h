#pragma once
// Messages from the MIDI threads to the window thread: the remote commands for the main window,
// and the routing monitor and repaint requests for the inspector. They are posted, never sent:
// posting never waits for a lock and never drops a message, so the MIDI thread never stalls on
// the window thread. The GUI installs its own poster (queued Qt events); the headless runner
// and the tests drain the plain queue below.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace peldor {

/// The repaint request (the inspector re-reads its connection).
inline constexpr std::uint32_t WM_PAINT = 15;
/// wParam = remote command index 0-4, lParam 0; to the main window.
inline constexpr std::uint32_t WM_REMOTECOMMAND = 1536;
/// wParam = output channel (bits 0-3), OutPort + 16 (bits 16-23), program change (bit 31);
/// Text = the connection's OutDisplay text; to the inspector.
inline constexpr std::uint32_t WM_MIDIDISPLAY = 1537;

enum class TWindowTarget : std::uint8_t { MainWindow, Inspector };

struct TWindowMessage {
    TWindowTarget Target = TWindowTarget::MainWindow;
    std::uint32_t Message = 0;
    std::uint32_t WParam = 0;
    std::intptr_t LParam = 0;
    /// The text a WM_MIDIDISPLAY carries; it belongs to the receiver.
    std::string Text;

    friend bool operator==(const TWindowMessage&, const TWindowMessage&) = default;
};

class IWindowMessagePoster {
public:
    virtual ~IWindowMessagePoster() = default;
    /// Queues a message for the window thread. Any thread; never waits for a lock and never
    /// drops a message for a window that exists. May allocate.
    virtual void Post(TWindowMessage message) = 0;
    /// Whether the inspector window exists. Any thread; one atomic read.
    virtual bool InspectorExists() const noexcept = 0;
};

/// An unbounded multi-producer queue drained by the window thread: posting is one allocation
/// and a compare-and-swap, draining takes everything at once in post order.
class TWindowMessageQueue final : public IWindowMessagePoster {
public:
    TWindowMessageQueue() = default;
    ~TWindowMessageQueue() override;
    TWindowMessageQueue(const TWindowMessageQueue&) = delete;
    TWindowMessageQueue& operator=(const TWindowMessageQueue&) = delete;

    /// Any thread. Only an allocation failure loses the message.
    void Post(TWindowMessage message) override;
    bool InspectorExists() const noexcept override;

    /// Window thread: the inspector was created or destroyed. While it does not exist the
    /// routing posts nothing to it; Drain drops inspector messages posted before it went.
    void SetInspectorExists(bool exists) noexcept;
    /// Window thread: takes every message posted so far, oldest first.
    std::vector<TWindowMessage> Drain();

private:
    struct Node {
        TWindowMessage Message;
        Node* Next = nullptr;
    };
    std::atomic<Node*> head{nullptr};
    std::atomic<bool> inspectorExists{false};
};

/// The poster the MIDI layer posts through. Any thread.
IWindowMessagePoster& WindowPoster() noexcept;
/// Installs a poster (null restores the process-wide default queue). Window thread, while no
/// MIDI input is open and no MIDI thread can post; the poster must outlive its installation.
void SetWindowPoster(IWindowMessagePoster* poster) noexcept;
/// The process-wide default queue that the headless runner drains.
TWindowMessageQueue& DefaultWindowMessageQueue() noexcept;

} // namespace peldor
