#include "midi/routing.h"

#include "engine/event_queue.h"
#include "engine/held_notes.h"
#include "midi/message_description.h"
#include "midi/midi_devices.h"
#include "midi/midi_options.h"
#include "midi/window_messages.h"

#include <algorithm>
#include <mutex>
#include <string>

namespace peldor {
namespace {

constexpr int kMaxDataValue = 127;
constexpr std::uint32_t kProgramChangeFlag = 0x80000000u;
constexpr int kDisplayPortShift = 16;
constexpr std::uint32_t kDisplayPortMask = 0xFF;
/// A sustain pedal value from this up holds.
constexpr std::uint8_t kPedalDownValue = 64;
/// The release velocity of the note-offs the routing makes up itself (the MIDI default).
constexpr std::uint8_t kReleaseVelocity = 64;

// The channel a passing channel message leaves with. "MULTI" keeps the incoming channel; any
// other value gives its low four bits, so a damaged value can never change the message type.
std::uint8_t OutputChannel(const TConnection& connection, std::uint8_t incomingChannel) {
    const std::int32_t outChannel = connection.OutChannel;
    if (outChannel == kMultiChannel) {
        return incomingChannel;
    }
    return static_cast<std::uint8_t>(outChannel & kChannelMask);
}

bool InKeyRange(const TConnection& connection, std::uint8_t note) {
    return note >= connection.RangeLo && note <= connection.RangeHi;
}

std::uint8_t Transposed(const TConnection& connection, std::uint8_t note) {
    return static_cast<std::uint8_t>(std::clamp(note + connection.Transpose, 0, kMaxDataValue));
}

bool ControllerPasses(const TConnection& connection, std::uint8_t controller) {
    if (connection.PassController) {
        return true;
    }
    return (connection.PassUser1 && controller == UserFilterControllerOption(1)) ||
           (connection.PassUser2 && controller == UserFilterControllerOption(2));
}

// Under PassController only: controllers 7, 10, 0 and 32 set the connection's volume, pan and
// bank when those are enabled.
bool CaptureController(TConnection& connection, std::uint8_t controller, std::uint8_t value) {
    switch (controller) {
    case kCcVolume:
        if (connection.VolumeEnabled) {
            connection.Volume = value;
            return true;
        }
        return false;
    case kCcPan:
        if (connection.PanEnabled) {
            connection.Pan = value;
            return true;
        }
        return false;
    case kCcBankSelect:
        if (connection.BankHiEnabled) {
            connection.BankHi = value;
            return true;
        }
        return false;
    case kCcBankSelectLsb:
        if (connection.BankLoEnabled) {
            connection.BankLo = value;
            return true;
        }
        return false;
    default:
        return false;
    }
}

void PostToInspector(IWindowMessagePoster& poster, std::uint32_t message, std::uint32_t wParam,
                     const std::string* text) {
    TWindowMessage post{TWindowTarget::Inspector, message, wParam, 0, {}};
    if (text != nullptr) {
        post.Text = *text;
    }
    poster.Post(std::move(post));
}

bool IsSilencingController(TShortMessage message) {
    return (message.Status & kCommandMask) == kControlChange &&
           (message.Data1 == kCcAllSoundOff || message.Data1 >= kCcAllNotesOff);
}

// Sends or queues the message at an OutPort; true when it went out. The caller holds
// RoutingLock. A message that silences a channel makes the notes held there forgotten.
bool DeliverTo(std::int32_t outPort, TShortMessage message) {
    bool delivered = false;
    if (outPort >= 0 && outPort < kFirstInstrumentPort) {
        if (outPort < MidiOutputCount()) {
            const TMidiOutputDevice& device = MidiOutput(outPort);
            IMidiBackend* backend = MidiBackend();
            if (device.SendEnabled && backend != nullptr) {
                backend->SendShortMessage(device.Handle, PackShortMessage(message));
                delivered = true;
            }
        }
    } else if (outPort >= kFirstInstrumentPort && outPort < kOutPortCount) {
        delivered = QueueMidiEvent(outPort - kFirstInstrumentPort, message.Status, message.Data1,
                                   message.Data2);
    }
    if (delivered && IsSilencingController(message)) {
        const auto nothing = [](const TNoteDestination&) {};
        HeldNotes.ForgetPort(outPort, message.Status & kChannelMask, false, nothing, nothing);
    }
    return delivered;
}

// Sends or queues the message; the caller holds RoutingLock and has described the message as
// the connection's output. True when it went out.
bool Deliver(TConnection& connection, TShortMessage message) {
    const std::int32_t outPort = connection.OutPort;
    if (!DeliverTo(outPort, message)) {
        return false;
    }
    IWindowMessagePoster& poster = WindowPoster();
    if (poster.InspectorExists()) {
        PostToInspector(poster, WM_MIDIDISPLAY, MidiDisplayWParam(outPort, message),
                        &connection.OutDisplay.Text);
    }
    return true;
}

// A message for a place a note or pedal was held at, sent there directly: the connection that
// took it there may be gone or route elsewhere by now. The caller holds RoutingLock.
void DeliverHeld(const TNoteDestination& dest, TShortMessage message) {
    if (!DeliverTo(dest.Port, message)) {
        return;
    }
    IWindowMessagePoster& poster = WindowPoster();
    if (poster.InspectorExists()) {
        char text[kDescriptionMax];
        std::int32_t channel = -1;
        std::int32_t kind = -1;
        const int length =
            FormatMessageDescription(message, NoteNamingSchemeOption(), text, channel, kind);
        const std::string described(text, static_cast<std::size_t>(length));
        PostToInspector(poster, WM_MIDIDISPLAY, MidiDisplayWParam(dest.Port, message), &described);
    }
}

TNoteDestination DestinationOf(const TConnection& connection, TShortMessage sent) {
    return {static_cast<std::uint8_t>(connection.OutPort),
            static_cast<std::uint8_t>(sent.Status & kChannelMask), sent.Data1};
}

// The input side of routing one message through one connection: the input check, the input
// description, the filter and the repaint request for a captured value. The caller holds
// RoutingLock. Pass is false when the connection does not take the message.
TFilterResult Accept(TConnection& connection, std::int32_t inputDevice, TShortMessage message,
                     TDescriptionCache& descriptions) {
    if (connection.InPort != inputDevice) {
        return {};
    }
    descriptions.Describe(message, connection.InDisplay);
    TFilterResult filtered = FilterMessage(connection, message);
    if (filtered.Captured) {
        IWindowMessagePoster& poster = WindowPoster();
        if (poster.InspectorExists()) {
            PostToInspector(poster, WM_PAINT, 0, nullptr);
        }
    }
    return filtered;
}

// What a routed message means for the held notes and pedals.
enum class THoldEffect { None, NoteOn, NoteOff, PedalDown, PedalUp };

THoldEffect HoldEffectOf(std::int32_t inputDevice, TShortMessage message) {
    if (!IsWellFormed(message) || inputDevice < 0 || inputDevice >= THeldNotes::kInputs) {
        return THoldEffect::None;
    }
    switch (message.Status & kCommandMask) {
    case kNoteOn:
        return message.Data2 > 0 ? THoldEffect::NoteOn : THoldEffect::NoteOff;
    case kNoteOff:
        return THoldEffect::NoteOff;
    case kControlChange:
        if (message.Data1 == kCcSustain) {
            return message.Data2 >= kPedalDownValue ? THoldEffect::PedalDown : THoldEffect::PedalUp;
        }
        return THoldEffect::None;
    default:
        return THoldEffect::None;
    }
}

// Where the note-ons of a key went, ended before the key sounds again. The caller holds
// RoutingLock.
void EndHeldKey(std::int32_t inputDevice, std::uint8_t channel, std::uint8_t key) {
    HeldNotes.Release(inputDevice, channel, key, [](const TNoteDestination& dest) {
        DeliverHeld(
            dest, {static_cast<std::uint8_t>(kNoteOff | dest.Channel), dest.Key, kReleaseVelocity});
    });
}

// A note-on: first ends the key where it still sounds, then routes it and remembers every
// place it reached.
void RouteNoteOn(std::int32_t inputDevice, TShortMessage message, TDescriptionCache& descriptions) {
    const std::uint8_t channel = message.Status & kChannelMask;
    {
        std::lock_guard hold(RoutingLock);
        EndHeldKey(inputDevice, channel, message.Data1);
    }
    ForEachRoutingConnection([&](TConnection& connection, std::int32_t) {
        const TFilterResult filtered = Accept(connection, inputDevice, message, descriptions);
        if (!filtered.Pass) {
            return;
        }
        descriptions.Describe(filtered.Message, connection.OutDisplay);
        const TShortMessage& sent = filtered.Message;
        if (Deliver(connection, sent) && (sent.Status & kCommandMask) == kNoteOn &&
            sent.Data2 > 0) {
            HeldNotes.Remember(inputDevice, channel, message.Data1,
                               DestinationOf(connection, sent));
        }
    });
}

// A note-off (or a note-on with velocity 0) goes to exactly the places its note-on reached:
// through the connections that still lead there, and directly to the others. A key that could
// not be remembered whole falls back on the current routing.
void RouteNoteOff(std::int32_t inputDevice, TShortMessage message,
                  TDescriptionCache& descriptions) {
    const std::uint8_t channel = message.Status & kChannelMask;
    const std::uint8_t key = message.Data1;
    ForEachRoutingConnection([&](TConnection& connection, std::int32_t) {
        const TFilterResult filtered = Accept(connection, inputDevice, message, descriptions);
        if (!filtered.Pass) {
            return;
        }
        const bool remembered = HeldNotes.ForgetOne(inputDevice, channel, key,
                                                    DestinationOf(connection, filtered.Message));
        if (!remembered && !HeldNotes.Overflowed(inputDevice, channel, key)) {
            return;
        }
        descriptions.Describe(filtered.Message, connection.OutDisplay);
        Deliver(connection, filtered.Message);
    });
    std::lock_guard hold(RoutingLock);
    const std::uint8_t command = message.Status & kCommandMask;
    HeldNotes.Release(inputDevice, channel, key, [&](const TNoteDestination& dest) {
        DeliverHeld(dest,
                    {static_cast<std::uint8_t>(command | dest.Channel), dest.Key, message.Data2});
    });
}

// The sustain pedal: routed as any controller; a press is remembered where it arrived, and a
// release also reaches every place the press reached that the current routing misses.
void RoutePedal(std::int32_t inputDevice, TShortMessage message, bool down,
                TDescriptionCache& descriptions) {
    const std::uint8_t channel = message.Status & kChannelMask;
    ForEachRoutingConnection([&](TConnection& connection, std::int32_t) {
        const TFilterResult filtered = Accept(connection, inputDevice, message, descriptions);
        if (!filtered.Pass) {
            return;
        }
        descriptions.Describe(filtered.Message, connection.OutDisplay);
        if (!Deliver(connection, filtered.Message)) {
            return;
        }
        const TNoteDestination dest = DestinationOf(connection, filtered.Message);
        if (down) {
            HeldNotes.RememberPedal(inputDevice, channel, dest);
        } else {
            HeldNotes.ForgetPedal(inputDevice, channel, dest);
        }
    });
    if (down) {
        return;
    }
    std::lock_guard hold(RoutingLock);
    HeldNotes.ReleasePedal(inputDevice, channel, [&](const TNoteDestination& dest) {
        DeliverHeld(dest, {static_cast<std::uint8_t>(kControlChange | dest.Channel), kCcSustain,
                           message.Data2});
    });
}

} // namespace

std::uint32_t MidiDisplayWParam(std::int32_t outPort, TShortMessage sent) noexcept {
    std::uint32_t wParam = sent.Status & kChannelMask;
    wParam |= (static_cast<std::uint32_t>(outPort + kFirstInstrumentPort) & kDisplayPortMask)
              << kDisplayPortShift;
    if ((sent.Status & kCommandMask) == kProgramChange) {
        wParam |= kProgramChangeFlag;
    }
    return wParam;
}

TFilterResult FilterMessage(TConnection& connection, TShortMessage message) noexcept {
    TFilterResult result;
    const auto [status, data1, data2] = message;
    if (!connection.Enabled || !IsWellFormed(message)) {
        return result;
    }
    if (status == kActiveSensing) {
        result.Message = message;
        result.Pass = ProcessActiveSenseOption();
        connection.SenseToggle = 1 - connection.SenseToggle;
        return result;
    }
    const std::uint8_t type = status & kTypeMask;
    const std::uint8_t channel = status & kChannelMask;
    const std::int32_t inChannel = connection.InChannel;
    constexpr std::uint8_t kSystemType = kSystem & kTypeMask;
    if (inChannel != kOmniChannel && inChannel != channel && type != kSystemType) {
        return result;
    }
    const std::uint8_t outStatus = kStatusBit | type | OutputChannel(connection, channel);
    switch (status & kCommandMask) {
    case kNoteOff:
    case kNoteOn:
        if (!connection.PassNote || !InKeyRange(connection, data1)) {
            return result;
        }
        result.Message = {outStatus, Transposed(connection, data1), data2};
        break;
    case kPolyPressure:
        if (!connection.PassPolyPressure || !InKeyRange(connection, data1)) {
            return result;
        }
        result.Message = {outStatus, Transposed(connection, data1), data2};
        break;
    case kControlChange:
        if (!ControllerPasses(connection, data1)) {
            return result;
        }
        result.Message = {outStatus, data1, data2};
        if (connection.PassController) {
            result.Captured = CaptureController(connection, data1, data2);
        }
        break;
    case kProgramChange:
        if (!connection.PassProgramChange) {
            return result;
        }
        result.Message = {outStatus, data1, data2};
        if (connection.ProgramEnabled) {
            connection.Program = data1;
            result.Captured = true;
        }
        break;
    case kChannelPressure:
        if (!connection.PassAftertouch) {
            return result;
        }
        result.Message = {outStatus, data1, data2};
        break;
    case kPitchBend:
        if (!connection.PassPitchbend) {
            return result;
        }
        result.Message = {outStatus, data1, data2};
        break;
    default:
        return result; // system messages never pass
    }
    result.Pass = true;
    return result;
}

void RouteMessageLocked(TConnection& connection, std::int32_t inputDevice, TShortMessage message,
                        TDescriptionCache& descriptions) {
    const TFilterResult filtered = Accept(connection, inputDevice, message, descriptions);
    if (!filtered.Pass) {
        return;
    }
    descriptions.Describe(filtered.Message, connection.OutDisplay);
    Deliver(connection, filtered.Message);
}

void RouteMessageLocked(TConnection& connection, std::int32_t inputDevice, TShortMessage message) {
    TDescriptionCache descriptions(NoteNamingSchemeOption());
    RouteMessageLocked(connection, inputDevice, message, descriptions);
}

void RouteMessage(TConnection& connection, std::int32_t inputDevice, TShortMessage message) {
    std::lock_guard hold(RoutingLock);
    RouteMessageLocked(connection, inputDevice, message);
}

void RouteThroughRoutingPart(std::int32_t inputDevice, TShortMessage message) {
    TDescriptionCache descriptions(NoteNamingSchemeOption());
    switch (HoldEffectOf(inputDevice, message)) {
    case THoldEffect::NoteOn:
        RouteNoteOn(inputDevice, message, descriptions);
        return;
    case THoldEffect::NoteOff:
        RouteNoteOff(inputDevice, message, descriptions);
        return;
    case THoldEffect::PedalDown:
    case THoldEffect::PedalUp:
        RoutePedal(inputDevice, message,
                   HoldEffectOf(inputDevice, message) == THoldEffect::PedalDown, descriptions);
        return;
    case THoldEffect::None:
        break;
    }
    ForEachRoutingConnection([&](TConnection& connection, std::int32_t) {
        RouteMessageLocked(connection, inputDevice, message, descriptions);
    });
}

void SendFromConnection(TConnection& connection, TShortMessage message) {
    std::lock_guard hold(RoutingLock);
    DescribeMessage(message, connection.OutDisplay, NoteNamingSchemeOption());
    Deliver(connection, message);
}

namespace {

std::uint8_t ActivationChannel(const TConnection& connection) {
    return static_cast<std::uint8_t>(connection.OutChannel & kChannelMask);
}

std::uint8_t DataByte(std::int32_t value) {
    return static_cast<std::uint8_t>(value & kDataMask);
}

} // namespace

void SendAllNotesOff(TConnection& connection) {
    SendFromConnection(connection,
                       {static_cast<std::uint8_t>(kControlChange | ActivationChannel(connection)),
                        kCcAllNotesOff, 0});
}

void SendBankAndProgram(TConnection& connection) {
    const auto controller =
        static_cast<std::uint8_t>(kControlChange | ActivationChannel(connection));
    if (connection.BankHiEnabled) {
        SendFromConnection(connection, {controller, kCcBankSelect, DataByte(connection.BankHi)});
    }
    if (connection.BankLoEnabled) {
        SendFromConnection(connection, {controller, kCcBankSelectLsb, DataByte(connection.BankLo)});
    }
    if (connection.ProgramEnabled) {
        // A program above 127 can only come from a damaged file; its low seven bits keep the
        // message valid.
        SendFromConnection(
            connection, {static_cast<std::uint8_t>(kProgramChange | ActivationChannel(connection)),
                         DataByte(connection.Program), 0});
    }
}

void SendVolume(TConnection& connection) {
    if (connection.VolumeEnabled) {
        SendFromConnection(
            connection, {static_cast<std::uint8_t>(kControlChange | ActivationChannel(connection)),
                         kCcVolume, DataByte(connection.Volume)});
    }
}

void SendPan(TConnection& connection) {
    if (connection.PanEnabled) {
        SendFromConnection(
            connection, {static_cast<std::uint8_t>(kControlChange | ActivationChannel(connection)),
                         kCcPan, DataByte(connection.Pan)});
    }
}

void SendActivation(TConnection& connection) {
    SendBankAndProgram(connection);
    SendVolume(connection);
    SendPan(connection);
}

} // namespace peldor
