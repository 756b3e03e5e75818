#pragma once
// Hands driver notifications (reset requests, rate changes) to the host on a thread of its
// own. The thread belongs to no driver, so a host that answers a reset request by closing and
// re-opening the driver never waits for the thread that is calling it.

#include "audio_io/asio_types.h"

namespace peldor {

/// Queues asioMessage(selector, value) for the host whose callbacks are given (the function
/// pointers are copied; the table need not outlive the call). Any thread, including a driver's
/// process thread: never allocates and never waits. False when the queue was full.
bool PostDriverMessage(const ASIOCallbacks& callbacks, std::int32_t selector,
                       std::int32_t value) noexcept;
/// Queues sampleRateDidChange(rate). Any thread, as above.
bool PostDriverRateChange(const ASIOCallbacks& callbacks, ASIOSampleRate rate) noexcept;

} // namespace peldor
