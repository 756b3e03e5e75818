// Keeps the plugins library non-empty until its first sources land.
namespace peldor {
int pluginsPlaceholder() { return 0; }
} // namespace peldor
