#pragma once
// The MIDI backend on RtMidi: the ALSA sequencer or JACK MIDI, chosen by the settings file or
// $PELDOR_MIDI_API. Devices are listed by their port names; the program's own ports are left
// out of the lists.

#include "midi/midi_backend.h"

#include <memory>
#include <string>
#include <string_view>

namespace peldor {

enum class TMidiApi { Alsa, Jack };

/// "alsa" or "jack" in any case; false for anything else.
bool ParseMidiApi(std::string_view text, TMidiApi& api) noexcept;
/// $PELDOR_MIDI_API (environmentValue, null when unset) when it names an API, else the settings
/// value when it does, else ALSA.
TMidiApi ChooseMidiApi(const char* environmentValue, std::string_view settingValue) noexcept;
/// The value of key "API" in section "MIDI" of the settings file, or empty. Window thread;
/// reads the file.
std::string ReadMidiApiSetting(const std::string& iniPath);
/// ChooseMidiApi with the real environment and settings file.
TMidiApi ConfiguredMidiApi(const std::string& iniPath);

/// Tells the JACK MIDI side that the JACK server went away. Any thread, including libjack's
/// own; never blocks. Once a server is lost, libjack frees every client of the process when
/// the next client is opened (by anyone: the audio driver trying again, a device listing), so
/// the backend must never touch a client it opened before: it leaves them alone from then on.
void NoteJackServerLost() noexcept;

/// Creates the RtMidi backend. Never fails: without a working MIDI service it lists no
/// devices. Window thread. clientName names the program's MIDI client (and its ports, which
/// the device lists leave out).
std::unique_ptr<IMidiBackend> CreateRtMidiBackend(TMidiApi api, std::string clientName = "Peldor");

} // namespace peldor
