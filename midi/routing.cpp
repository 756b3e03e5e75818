#include "midi/routing.h"

#include "engine/event_queue.h"
#include "midi/message_description.h"
#include "midi/midi_devices.h"
#include "midi/midi_options.h"
#include "midi/window_messages.h"

#include <algorithm>
#include <mutex>

namespace peldor {
namespace {

constexpr int kMaxDataValue = 127;
constexpr std::uint32_t kProgramChangeFlag = 0x80000000u;
constexpr int kDisplayPortShift = 16;
constexpr std::uint32_t kDisplayPortMask = 0xFF;

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

// Sends or queues the message; the caller holds RoutingLock and has described the message as
// the connection's output.
void Deliver(TConnection& connection, TShortMessage message) {
    const std::int32_t outPort = connection.OutPort;
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
    if (!delivered) {
        return;
    }
    IWindowMessagePoster& poster = WindowPoster();
    if (poster.InspectorExists()) {
        PostToInspector(poster, WM_MIDIDISPLAY, MidiDisplayWParam(outPort, message),
                        &connection.OutDisplay.Text);
    }
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
    if (connection.InPort != inputDevice) {
        return;
    }
    descriptions.Describe(message, connection.InDisplay);
    const TFilterResult filtered = FilterMessage(connection, message);
    if (filtered.Captured) {
        IWindowMessagePoster& poster = WindowPoster();
        if (poster.InspectorExists()) {
            PostToInspector(poster, WM_PAINT, 0, nullptr);
        }
    }
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
