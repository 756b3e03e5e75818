// Keeps the audio_io library non-empty until its first sources land.
namespace peldor {
int audio_ioPlaceholder() { return 0; }
} // namespace peldor
