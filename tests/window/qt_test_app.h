#pragma once
// The one QApplication of a window test binary, offscreen unless QT_QPA_PLATFORM says otherwise.

namespace peldor::test {

/// Creates the application on first use; it lives until the process ends. Main thread.
void EnsureQtApplication();

} // namespace peldor::test
