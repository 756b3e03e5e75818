// The whole window program on a real X server (run under xvfb-run): started with a project as
// a user starts it, its main window found by its caption, closed through the window manager's
// close request, and the settings it wrote read back. Without a display it runs headless.

#include "app/settings_file.h"
#include "app/show_builder.h"
#include "engine/strip_table.h"
#include "tests/app/app_test_support.h"
#include "tests/plugins/plugin_test_support.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

// Xlib's macros (None, Status, Bool, ...) clash with other headers: it comes last.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace peldor::test {
namespace {

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

/// The window below root (depth first) whose name is caption; 0 when there is none.
Window FindWindowNamed(Display* display, Window root, const std::string& caption) {
    char* name = nullptr;
    if (XFetchName(display, root, &name) != 0 && name != nullptr) {
        const bool match = caption == name;
        XFree(name);
        if (match) {
            return root;
        }
    }
    Window parent = 0, rootReturn = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, root, &rootReturn, &parent, &children, &count) == 0) {
        return 0;
    }
    Window found = 0;
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        found = FindWindowNamed(display, children[i], caption);
    }
    if (children != nullptr) {
        XFree(children);
    }
    return found;
}

/// What a window manager sends when the user clicks the close button.
void SendCloseRequest(Display* display, Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}

TEST(WindowProgram, StartsWithAProjectAndClosesOnRequest) {
    const char* displayName = std::getenv("DISPLAY");
    ASSERT_TRUE(displayName != nullptr && *displayName != '\0')
        << "run this test under xvfb-run -a (CTest does)";
    DisplayPtr display(XOpenDisplay(nullptr));
    ASSERT_NE(display, nullptr);

    TempDir dir("peldor-window-program");
    CopyTestPlugin("PeldorSynth", dir / "plugins", "PeldorSynth.so");
    InitStripTable();
    TShowDescription show;
    show.Parts = {{"first", 0}, {"second", 7}};
    std::string error;
    const std::filesystem::path project = dir / "stage.pdp";
    ASSERT_TRUE(WriteShowFile(project, show, error)) << error;
    const std::filesystem::path ini = dir / "peldor.ini";

    ChildProcess peldor;
    ASSERT_TRUE(peldor.Start(PeldorProgram(),
                             {"--project", project.string(), "--ini", ini.string(), "--plugin-dir",
                              (dir / "plugins").string(), "--driver", "Dummy"},
                             dir.Path(), "peldor",
                             {{"PELDOR_REGISTRY", (dir / "registry.ini").string()},
                              {"XDG_CACHE_HOME", (dir / "cache").string()}}));

    Window window = 0;
    const bool shown = WaitUntil(std::chrono::seconds(30), [&] {
        window =
            FindWindowNamed(display.get(), DefaultRootWindow(display.get()), "PELDOR - stage.pdp");
        return window != 0;
    });
    ASSERT_TRUE(shown) << peldor.Stderr();
    XWindowAttributes attributes{};
    ASSERT_NE(XGetWindowAttributes(display.get(), window, &attributes), 0);
    EXPECT_GT(attributes.width, 0);

    SendCloseRequest(display.get(), window);
    const std::optional<int> code = peldor.Wait(std::chrono::seconds(30));
    ASSERT_TRUE(code.has_value()) << "the program did not end after the close request";
    EXPECT_EQ(*code, 0) << peldor.Stderr();

    // The shut-down wrote the window, language and recent-file settings.
    const TSettingsFile settings(ini);
    EXPECT_EQ(settings.ReadString("MRU", "File1", ""), project.string());
    EXPECT_EQ(settings.ReadInteger("General", "Language", 0), 1033);
    EXPECT_GT(settings.ReadInteger("MainForm", "Width", 0), 0);
    EXPECT_GT(settings.ReadInteger("MainForm", "Height", 0), 0);
    EXPECT_NE(settings.ReadString("MainForm", "State", ""), "");
}

TEST(WindowProgram, WithoutADisplayRunsHeadless) {
    TempDir dir("peldor-no-display");
    const std::filesystem::path ini = dir / "peldor.ini";
    std::string out;
    std::string err;
    const int code = RunProgram(PeldorProgram(), {"--ini", ini.string(), "--duration", "0.3"},
                                dir.Path(), std::chrono::seconds(60), &out, &err,
                                {{"DISPLAY", ""},
                                 {"WAYLAND_DISPLAY", ""},
                                 {"QT_QPA_PLATFORM", ""},
                                 {"PELDOR_REGISTRY", (dir / "registry.ini").string()}});
    EXPECT_EQ(code, 0) << err;
    EXPECT_NE(err.find("running headless"), std::string::npos) << err;
    // The headless runner's shut-down wrote the settings.
    EXPECT_EQ(TSettingsFile(ini).ReadInteger("General", "Language", 0), 1033);
}

} // namespace
} // namespace peldor::test
