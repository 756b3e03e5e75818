#pragma once
// Values that exist once per process and are shared by every plugin host and plugin object.
// The host callback reads them on whatever thread a plugin calls it from, so each is a
// Relaxed<> value read and written whole.

#include "engine/relaxed.h"

#include <atomic>
#include <cstdint>

namespace peldor {

class TVstHost;

/// Members of the host's can-do set, in ordinal order; bit n of THostCanDos is member n.
enum THostCanDo : int {
    hcdSendVstEvents,
    hcdSendVstMidiEvent,
    hcdSendVstTimeInfo,
    hcdReceiveVstEvents,
    hcdReceiveVstMidiEvent,
    hcdReceiveVstTimeInfo,
    hcdReportConnectionChanges,
    hcdAcceptIOChanges,
    hcdSizeWindow,
    hcdAsyncProcessing,
    hcdOffline,
    hcdSupplyIdle,
    hcdSupportShell,
    hcdOpenFileSelector,
    hcdCloseFileSelector,
    hcdEditFile,
    hcdShellCategory,
    hcdStartStopProcess,
};
using THostCanDos = std::uint32_t;

/// The set TVstHost creation installs: members 0-11 and 17.
inline constexpr THostCanDos kDefaultHostCanDos = 0x20FFF;

inline constexpr float kDefaultHostSampleRate = 44100.0f;
inline constexpr std::int32_t kDefaultHostBlockSize = 2048;
inline constexpr float kDefaultHostTempo = 120.0f;
inline constexpr std::int32_t kDefaultHostVstVersion = 2300;

/// Sent by Open with effSetSampleRate and answered by audioMasterGetSampleRate. Changed only
/// by audioMasterSetOutputSampleRate and the time-info object's SampleRate; the driver's rate
/// never reaches it.
extern Relaxed<float> HostSampleRate;
/// The host's BlockSize: sent by Open with effSetBlockSize, answered by
/// audioMasterGetBlockSize.
extern Relaxed<std::int32_t> HostBlockSize;
/// Answered by audioMasterTempoAt.
extern Relaxed<float> HostTempo;
/// Answered by audioMasterVersion.
extern Relaxed<std::int32_t> HostVstVersion;
/// Answered by audioMasterCanDo; 0 until a host is created.
extern Relaxed<THostCanDos> HostCanDos;
/// Answered by audioMasterCurrentId. Set by the plugin scan and the shell effect loader before
/// they call a shell library's entry function.
extern Relaxed<std::int32_t> CurrentShellPluginId;
/// The host whose plugin collection the callback searches: the most recently created one.
extern std::atomic<TVstHost*> CurrentHost;

} // namespace peldor
