#pragma once
// The host callback every plugin library receives from its entry function, and the little
// state it keeps (the held file dialog).
//
// The callback runs on whatever thread the plugin calls it from: the window thread during
// dispatcher calls and editor activity, the driver's callback thread while the plugin processes.
// Idle requests made while processing are noted there and answered on the window thread.
// The answers plugins ask for while processing (time, sample rate, block size, can-do, version)
// allocate nothing and take no lock. Message boxes raised off the window thread are handed to
// it and never block the caller.

#include "vst2/vst2_abi.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace peldor {

class TVstPlugIn;
class THostFileDialog;

/// The callback handed to every entry function. Prepares the FPU, finds the calling plugin
/// object, answers the opcode and catches everything; unknown opcodes raise the "Check: "
/// warning and answer 0.
vst2::VstIntPtr HostCallback(vst2::AEffect* effect, vst2::VstInt32 opcode, vst2::VstInt32 index,
                             vst2::VstIntPtr value, void* ptr, float opt) noexcept;

/// Answers the idle requests the plugin made on the driver's callback thread (raising its
/// OnAudioMasterIdle and OnAudioMasterNeedIdle handlers, which send effIdle and effEditIdle),
/// and forgets them. Window thread: its idle or timer tick.
void RaiseDeferredIdleRequests(TVstPlugIn& plugin);

/// The first plugin object of the current host's collection whose Effect is effect, or null
/// (always null for a null effect). Any thread; no allocation.
TVstPlugIn* FindPlugInByEffect(const vst2::AEffect* effect) noexcept;

/// The audioMasterCanDo answer for text (1 or 0), compared exactly with the host's can-do
/// table and taken up to its first zero byte, at most 255 characters. Any thread.
std::intptr_t HostCanDo(const char* text) noexcept;

/// The file dialog held between audioMasterOpenFileSelector and audioMasterCloseFileSelector,
/// or null. Window thread.
THostFileDialog* HeldFileDialog() noexcept;
/// Destroys the held dialog, if any (the host does this when it goes away). Window thread.
void ReleaseHeldFileDialog();

/// The warning text for an unknown opcode: prefix ("Check: ") + opcode + " - " + index + " - "
/// + value + " - " + opt, the numbers in decimal and opt with up to 15 significant digits.
/// Written into buffer, cut to its size. Any thread; no allocation.
void FormatUnknownOpcodeText(char* buffer, std::size_t size, std::string_view prefix,
                             vst2::VstInt32 opcode, vst2::VstInt32 index, vst2::VstIntPtr value,
                             float opt) noexcept;

} // namespace peldor
