#include "project/byte_codec.h"

#include "i18n/project_strings.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <new>
#include <sys/mman.h>

namespace peldor {

void* AllocateFileBuffer(std::size_t size) {
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    constexpr std::size_t kHugeFrom = 4 * kHugePage;
    if (size >= kHugeFrom) {
        const std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
        if (void* p = std::aligned_alloc(kHugePage, rounded)) {
            ::madvise(p, rounded, MADV_HUGEPAGE); // a hint; without it the buffer still works
            return p;
        }
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}

void ReleaseFileBuffer(void* p) noexcept {
    std::free(p);
}

void TByteWriter::String(std::string_view text) {
    const std::size_t length =
        std::min<std::size_t>(text.size(), std::numeric_limits<std::int32_t>::max());
    I32(static_cast<std::int32_t>(length));
    Raw(text.data(), length);
}

void TByteWriter::ShortString(std::string_view text, int width) {
    std::size_t length = std::min<std::size_t>(text.size(), static_cast<std::size_t>(width - 1));
    if (length < text.size()) {
        // Do not cut a multi-byte character in two.
        constexpr std::uint8_t kContinuationMask = 0xC0;
        constexpr std::uint8_t kContinuation = 0x80;
        while (length > 0 &&
               (static_cast<std::uint8_t>(text[length]) & kContinuationMask) == kContinuation) {
            --length;
        }
    }
    U8(static_cast<std::uint8_t>(length));
    Raw(text.data(), length);
    out.insert(out.end(), static_cast<std::size_t>(width - 1) - length, 0);
}

void TByteReader::Need(std::size_t size) const {
    if (size > Remaining()) {
        Fail(Offset(),
             FormatText(LoadResString(kStrDamageEndsEarly), {std::to_string(size - Remaining())}));
    }
}

std::string TByteReader::String() {
    const std::size_t at = Offset();
    const std::int32_t length = I32();
    if (length < 0 || static_cast<std::size_t>(length) > Remaining()) {
        Fail(at, FormatText(LoadResString(kStrDamageTextLength), {std::to_string(length)}));
    }
    std::string text(reinterpret_cast<const char*>(bytes.data() + position),
                     static_cast<std::size_t>(length));
    position += static_cast<std::size_t>(length);
    return text;
}

std::string TByteReader::ShortString(int width) {
    const std::size_t at = Offset();
    Need(static_cast<std::size_t>(width));
    const std::uint8_t length = bytes[position];
    if (length > width - 1) {
        Fail(at, FormatText(LoadResString(kStrDamageShortTextLength),
                            {std::to_string(length), std::to_string(width - 1)}));
    }
    std::string text(reinterpret_cast<const char*>(bytes.data() + position + 1), length);
    position += static_cast<std::size_t>(width);
    return text;
}

std::span<const std::uint8_t> TByteReader::Bytes(std::size_t size) {
    Need(size);
    std::span<const std::uint8_t> result = bytes.subspan(position, size);
    position += size;
    return result;
}

void TByteReader::Fail(std::size_t offset, std::string what) {
    throw TFileDamage{offset, std::move(what)};
}

std::string FormatText(std::string_view pattern, std::initializer_list<std::string_view> args) {
    std::string result;
    result.reserve(pattern.size() + 32);
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
            const std::size_t index = static_cast<std::size_t>(pattern[i + 1] - '1');
            if (index < args.size()) {
                result.append(*(args.begin() + index));
            }
            ++i;
        } else {
            result.push_back(c);
        }
    }
    return result;
}

} // namespace peldor
