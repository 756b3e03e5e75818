#pragma once
// Connection routing: each connection of the current part decides whether an incoming short
// message concerns it, transforms it and delivers it to a MIDI output device or into an
// instrument slot's event queue; the same path carries the messages a connection sends by
// itself (bank, program, volume, pan, all notes off). Every routing and every send holds the
// routing lock (RoutingLock) for one connection's whole work, so a queue never holds half a
// message and an output never gets two messages at once.

#include "midi/message_description.h"
#include "midi/short_message.h"
#include "project/project_model.h"

#include <cstdint>

namespace peldor {

/// What FilterMessage decided.
struct TFilterResult {
    bool Pass = false;
    /// The message to send when Pass.
    TShortMessage Message{kActiveSensing, 0, 0};
    /// A value was captured into the connection (Program, Volume, Pan, BankHi, BankLo): the
    /// inspector should re-read the connection.
    bool Captured = false;
};

/// The filter and transform of one connection. Flips SenseToggle on active sensing and writes
/// the captured values into the connection, so the caller holds RoutingLock while the
/// connection can be reached by another thread. Any thread; no allocation.
TFilterResult FilterMessage(TConnection& connection, TShortMessage message) noexcept;

/// Routes one message from input device inputDevice through a connection: describes it at the
/// input, filters it, describes and delivers the result, and posts to the inspector. The caller
/// holds RoutingLock. MIDI input thread (or any thread holding the lock).
void RouteMessageLocked(TConnection& connection, std::int32_t inputDevice, TShortMessage message);
/// The same with the descriptions shared across the connections of one routed message.
void RouteMessageLocked(TConnection& connection, std::int32_t inputDevice, TShortMessage message,
                        TDescriptionCache& descriptions);
/// The same, taking RoutingLock itself; for a connection the caller keeps alive.
void RouteMessage(TConnection& connection, std::int32_t inputDevice, TShortMessage message);
/// Routes a message through every connection of the routing part in list order, taking
/// RoutingLock around each connection and finding it afresh under the lock. MIDI input thread.
void RouteThroughRoutingPart(std::int32_t inputDevice, TShortMessage message);

/// Sends a message through the connection's output without filtering (Enabled, InPort and the
/// pass flags play no part): describes it as the output, delivers it, posts to the inspector.
/// Takes RoutingLock. Window thread.
void SendFromConnection(TConnection& connection, TShortMessage message);

/// Controller 123 value 0 on the connection's output channel.
void SendAllNotesOff(TConnection& connection);
/// Bank MSB, bank LSB and program change, each when enabled, in that order.
void SendBankAndProgram(TConnection& connection);
/// Controller 7 with Volume, when VolumeEnabled.
void SendVolume(TConnection& connection);
/// Controller 10 with Pan, when PanEnabled.
void SendPan(TConnection& connection);
/// SendBankAndProgram, SendVolume, SendPan; whatever Enabled says.
void SendActivation(TConnection& connection);

/// The wParam of the WM_MIDIDISPLAY posted for a message sent through an OutPort.
std::uint32_t MidiDisplayWParam(std::int32_t outPort, TShortMessage sent) noexcept;

} // namespace peldor
