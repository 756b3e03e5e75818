#pragma once
// Projects for the file tests, the fuzz seeds and the benchmark.

#include "project/project_file.h"

#include <cstdint>
#include <vector>

namespace peldor::test {

/// A project image in which every stored field differs from its default: two songs (the
/// second without parts), parts with connections, strip states, slot records with and without
/// state data, options and window layout.
TProjectFileImage RichImage();

/// The smallest file the writer makes: no songs, default strip table and options.
TProjectFileImage EmptyImage();

/// A show of songs x parts x connections with stateBytes of state in every part slot.
TProjectFileImage LargeImage(int songs, int parts, int connections, int stateBytes);

/// The bytes of an image as the writer makes them.
TByteBuffer FileBytes(const TProjectFileImage& image);

} // namespace peldor::test
