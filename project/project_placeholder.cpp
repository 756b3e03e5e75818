// Keeps the project library non-empty until its first sources land.
namespace peldor {
int projectPlaceholder() { return 0; }
} // namespace peldor
