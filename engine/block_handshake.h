#pragma once
// The block handshake: how a non-audio thread learns that the driver's callback thread no
// longer holds something it has unpublished.
//
// ProcessBlock counts the blocks it starts and finishes (counters written by the audio thread
// only). Whoever retires memory the audio thread may hold first unpublishes it (stores a new
// pointer, clears a slot), then calls WaitForAudioThreadToLeave: a block that starts after the
// unpublish cannot see the old memory, and one that had started before it is waited for. The
// memory may be freed once the wait returns true.

#include <chrono>
#include <cstdint>

namespace peldor {

/// Driver callback thread, at the start of a block, before anything published is read. One
/// atomic increment; no system call.
void NoteBlockStarted() noexcept;
/// Driver callback thread, at the end of the same block, after the last published read.
void NoteBlockFinished() noexcept;

/// Blocks started and finished since program start. Any thread.
std::uint64_t BlocksStarted() noexcept;
std::uint64_t BlocksFinished() noexcept;

/// Any non-audio thread, after unpublishing something the audio thread may hold. Waits until
/// every block that had started before this call has finished, and every worker render that
/// was under way; returns true at once when no
/// block is in progress. Returns false when a block is still running after `limit`: the caller
/// must then not free the memory (leaking it is the safe fallback).
bool WaitForAudioThreadToLeave(std::chrono::milliseconds limit = std::chrono::seconds(2));

/// Worker threads render parts of a block and may still be inside a plugin after the block that
/// handed them the work has ended (a pass that missed its deadline). Each worker holds a render
/// mark, odd while it renders; WaitForAudioThreadToLeave also waits for every mark that was odd
/// when it was called. At most kMaxRenderMarks threads hold one at a time.
inline constexpr int kMaxRenderMarks = 32;
/// Window thread, when a worker starts. -1 when every mark is taken (the worker then renders
/// nothing).
int AcquireRenderMark() noexcept;
/// Window thread or the worker itself, when it ends; the mark must be even.
void ReleaseRenderMark(int mark) noexcept;
/// The worker's thread, around everything it reads of a block. One atomic increment each.
void NoteRenderStarted(int mark) noexcept;
void NoteRenderFinished(int mark) noexcept;

/// RAII pair of NoteBlockStarted and NoteBlockFinished.
class BlockInProgress {
public:
    BlockInProgress() noexcept { NoteBlockStarted(); }
    ~BlockInProgress() { NoteBlockFinished(); }
    BlockInProgress(const BlockInProgress&) = delete;
    BlockInProgress& operator=(const BlockInProgress&) = delete;
};

} // namespace peldor
