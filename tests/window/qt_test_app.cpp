#include "tests/window/qt_test_app.h"

#include "ui/stage_look.h"

#include <QApplication>

#include <cstdlib>

namespace peldor::test {

void EnsureQtApplication() {
    if (QApplication::instance() != nullptr) {
        return;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "peldor-window-tests";
    static char* argv[] = {name, nullptr};
    // Deliberately never destroyed: widgets of a failed test may still refer to it.
    ApplyStageLook(*new QApplication(argc, argv));
}

} // namespace peldor::test
