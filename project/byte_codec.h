#pragma once
// Little-endian field codecs for the project file: a writer that appends to a byte buffer and
// a bounds-checked reader that reports where a file is damaged. Window thread (or any single
// thread); no shared state.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace peldor {

/// The memory behind TUninitializedAllocator. Throws std::bad_alloc.
void* AllocateFileBuffer(std::size_t size);
void ReleaseFileBuffer(void* p) noexcept;

/// An allocator that leaves new bytes uninitialised, for buffers that are filled at once
/// (a file read into memory): resizing them costs no pass over the memory. Large buffers ask
/// the system for huge pages, which spares most of the page faults of filling them.
template <typename T> struct TUninitializedAllocator : std::allocator<T> {
    template <typename U> struct rebind { using other = TUninitializedAllocator<U>; };
    TUninitializedAllocator() = default;
    template <typename U> TUninitializedAllocator(const TUninitializedAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) { return static_cast<T*>(AllocateFileBuffer(n * sizeof(T))); }
    void deallocate(T* p, std::size_t) noexcept { ReleaseFileBuffer(p); }
    template <typename U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
    template <typename U, typename... Args> void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

/// Bytes of a file read into memory.
using TByteBuffer = std::vector<std::uint8_t, TUninitializedAllocator<std::uint8_t>>;

/// Appends fields to a byte buffer. Grows the buffer as needed.
class TByteWriter {
public:
    explicit TByteWriter(TByteBuffer& buffer) : out(buffer) {}

    void U8(std::uint8_t value) { out.push_back(value); }
    void I16(std::int16_t value) { Raw(&value, sizeof value); }
    void I32(std::int32_t value) { Raw(&value, sizeof value); }
    void F32(float value) { Raw(&value, sizeof value); }
    void F64(double value) { Raw(&value, sizeof value); }
    /// An i32 byte count and the bytes. Texts longer than 2^31-1 bytes are cut.
    void String(std::string_view text);
    /// A length byte and up to width-1 bytes, padded with zeros to width bytes. A longer text
    /// is cut at a UTF-8 character boundary.
    void ShortString(std::string_view text, int width);
    void Bytes(const void* data, std::size_t size) { Raw(data, size); }

    std::size_t Size() const { return out.size(); }
    /// Makes room for size more bytes at once.
    void Reserve(std::size_t size) { out.reserve(out.size() + size); }

private:
    void Raw(const void* data, std::size_t size) {
        static_assert(std::endian::native == std::endian::little, "the file is little-endian");
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        out.insert(out.end(), bytes, bytes + size);
    }

    TByteBuffer& out;
};

/// Where and how a file is damaged. What is a complete clause in the current language.
struct TFileDamage {
    std::size_t Offset = 0;
    std::string What;
};

/// Reads fields from a byte range. Every read checks the remaining length first; a failed
/// check throws TFileDamage with the offset of the field.
class TByteReader {
public:
    explicit TByteReader(std::span<const std::uint8_t> data, std::size_t baseOffset = 0)
        : bytes(data), base(baseOffset) {}

    std::uint8_t U8() { return Fixed<std::uint8_t>(); }
    std::int16_t I16() { return Fixed<std::int16_t>(); }
    std::int32_t I32() { return Fixed<std::int32_t>(); }
    float F32() { return Fixed<float>(); }
    double F64() { return Fixed<double>(); }
    /// An i32 byte count and that many bytes; a negative count or one beyond the end of the
    /// data is damage.
    std::string String();
    /// A fixed-width short string; a length byte beyond the field is damage.
    std::string ShortString(int width);
    /// The next size bytes.
    std::span<const std::uint8_t> Bytes(std::size_t size);
    /// Checks that size more bytes are there without reading them.
    void Need(std::size_t size) const;

    /// Offset of the next byte, counted from the start of the file.
    std::size_t Offset() const { return base + position; }
    std::size_t Remaining() const { return bytes.size() - position; }

    /// Throws TFileDamage at the given file offset.
    [[noreturn]] static void Fail(std::size_t offset, std::string what);

private:
    template <typename T> T Fixed() {
        Need(sizeof(T));
        T value;
        std::memcpy(&value, bytes.data() + position, sizeof value);
        position += sizeof value;
        return value;
    }

    std::span<const std::uint8_t> bytes;
    std::size_t position = 0;
    std::size_t base;
};

/// Replaces %1, %2, ... in a resource text with the arguments.
std::string FormatText(std::string_view pattern, std::initializer_list<std::string_view> args);

} // namespace peldor
