// Keeps the midi library non-empty until its first sources land.
namespace peldor {
int midiPlaceholder() { return 0; }
} // namespace peldor
