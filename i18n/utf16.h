#pragma once
// UTF-8 <-> UTF-16 conversion for the language files, whose texts are UTF-16 little-endian
// while Peldor's strings are UTF-8. Malformed input never fails: each bad sequence becomes
// U+FFFD. Any thread; allocates.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace peldor {

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

/// UTF-16 little-endian bytes to UTF-8; an odd last byte is dropped.
std::string Utf16LeBytesToUtf8(std::span<const std::uint8_t> bytes);
/// UTF-8 to UTF-16 little-endian bytes, without terminator.
std::string Utf8ToUtf16LeBytes(std::string_view text);

} // namespace peldor
