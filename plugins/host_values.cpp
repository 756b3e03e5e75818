#include "plugins/host_values.h"

namespace peldor {

Relaxed<float> HostSampleRate{kDefaultHostSampleRate};
Relaxed<std::int32_t> HostBlockSize{kDefaultHostBlockSize};
Relaxed<float> HostTempo{kDefaultHostTempo};
Relaxed<std::int32_t> HostVstVersion{kDefaultHostVstVersion};
Relaxed<THostCanDos> HostCanDos{0};
Relaxed<std::int32_t> CurrentShellPluginId{0};
std::atomic<TVstHost*> CurrentHost{nullptr};

} // namespace peldor
