#include "engine/realtime_scope.h"

namespace peldor {

int& RealtimeDepth() noexcept {
    thread_local int depth = 0;
    return depth;
}

} // namespace peldor
