// Real plugin editors under a real X server: Debian's dpf-plugins-vst plugins chosen through
// the instruments and effects windows open their own editors inside the slot windows' native
// child windows, with the size the plugins report; they are idled, resized when the plugin asks
// (also from a thread of its own), closed with the "Visible" switch, when the slot is emptied
// and at shut-down. Screenshots of the slot windows beside the main window.

#include "plugins/host_callback.h"
#include "project/project_model.h"
#include "project/project_options.h"
#include "tests/window/slot_window_fixture.h"
#include "ui/instrument_form.h"
#include "ui/remote_keys.h"
#include "vst2/vst2_abi.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <dlfcn.h>

#include <chrono>
#include <thread>

namespace peldor::test {
namespace {

const std::filesystem::path kDebianVst = "/usr/lib/vst";

/// The sizes of the windows directly inside window, as the X server has them. Its own
/// connection, apart from Qt's and the plugins'.
std::vector<QSize> ChildSizes(unsigned long window) {
    static Display* const display = XOpenDisplay(nullptr);
    std::vector<QSize> sizes;
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (display == nullptr) {
        return sizes;
    }
    XSync(display, False);
    if (XQueryTree(display, window, &root, &parent, &children, &count) == 0) {
        return sizes;
    }
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display, children[i], &attributes) != 0) {
            sizes.emplace_back(attributes.width, attributes.height);
        }
    }
    XFree(children);
    return sizes;
}

/// The plugins draw their editors with OpenGL; Mesa's GLX and its software driver, loaded and
/// unloaded with each editor, leave some bytes behind each time that the leak checker cannot
/// place once they are unloaded. Kept loaded, what they hold stays theirs.
void KeepOpenGlDriverLoaded() {
    for (const char* library :
         {"libGLX_mesa.so.0", "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so"}) {
        dlopen(library, RTLD_NOW | RTLD_NODELETE);
    }
}

class EditorWindowTest : public SlotWindowFixture {
protected:
    EditorWindowTest() { KeepOpenGlDriverLoaded(); }

    /// Links a Debian plugin into the test's plugin folder; false when it is not installed.
    bool Install(const char* file) {
        std::error_code ec;
        if (!std::filesystem::exists(kDebianVst / file, ec)) {
            return false;
        }
        std::filesystem::create_directories(plugins);
        std::filesystem::create_symlink(kDebianVst / file, plugins / file, ec);
        return !ec;
    }

    TInstrumentForm* SlotWindow(int slot) {
        return dynamic_cast<TInstrumentForm*>(controller->Slots().SlotWindow(slot));
    }

    /// Lets the window thread run (timer ticks included) until done() or about two seconds.
    template <typename Done> bool WaitFor(Done done) {
        for (int i = 0; i < 100 && !done(); ++i) {
            QTest::qWait(20);
        }
        return done();
    }
};

QSize RectSize(const TEditRect& rect) {
    return {rect.right - rect.left, rect.bottom - rect.top};
}

TEST_F(EditorWindowTest, RealEditorsOpenIdleResizeAndClose) {
    if (!Install("3BandEQ-vst.so") || !Install("Nekobi-vst.so")) {
        GTEST_SKIP() << "dpf-plugins-vst (3BandEQ, Nekobi) is not installed";
    }
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    Open();
    ASSERT_EQ(InstrumentCatalogue.size(), 1u);
    ASSERT_EQ(EffectCatalogue.size(), 1u);
    OpenShow(-1, -1);
    TSlotListForm* instruments = form->InstrumentsWindow();
    TSlotListForm* effects = form->EffectsWindow();
    instruments->show();
    effects->show();

    // The effect: its own editor inside the slot window's native child, at the plugin's size.
    Choose(effects, 0, QString::fromStdString(EffectCatalogue[0].PluginName));
    TVstPlugIn* eq = controller->Slots().PluginInSlot(16);
    TInstrumentForm* eqWindow = SlotWindow(16);
    ASSERT_NE(eq, nullptr);
    ASSERT_NE(eqWindow, nullptr);
    EXPECT_TRUE(eqWindow->isVisible());
    EXPECT_TRUE(eq->EditVisible());
    EXPECT_FALSE(eq->GenericEditorShown());
    const unsigned long eqHost = eqWindow->Handle();
    ASSERT_NE(eqHost, 0u);
    EXPECT_EQ(eq->EditorParent(), eqHost);
    const QSize eqSize = RectSize(eq->EditGetRect());
    ASSERT_GT(eqSize.width(), 0);
    EXPECT_EQ(eqWindow->size(), eqSize);
    ASSERT_TRUE(WaitFor([&] { return !ChildSizes(eqHost).empty(); }));
    EXPECT_EQ(ChildSizes(eqHost).front(), eqSize);

    // The instrument likewise, in its own slot window.
    Choose(instruments, 0, QString::fromStdString(InstrumentCatalogue[0].PluginName));
    TVstPlugIn* synth = controller->Slots().PluginInSlot(0);
    TInstrumentForm* synthWindow = SlotWindow(0);
    ASSERT_NE(synth, nullptr);
    ASSERT_NE(synthWindow, nullptr);
    EXPECT_EQ(synthWindow->windowTitle().toStdString(), "[VSTi 1] " + synth->GetEffectName());
    EXPECT_TRUE(synth->EditVisible());
    EXPECT_FALSE(synth->GenericEditorShown());
    const QSize synthSize = RectSize(synth->EditGetRect());
    EXPECT_EQ(synthWindow->size(), synthSize);
    ASSERT_TRUE(WaitFor([&] { return !ChildSizes(synthWindow->Handle()).empty(); }));

    // Idled by the window timer for a while: the editors stay where they are.
    QTest::qWait(300);
    EXPECT_TRUE(eq->EditVisible());
    EXPECT_EQ(ChildSizes(eqHost).size(), 1u);

    // Screenshots: the instrument's window with its editor, and the slot windows beside the
    // main window.
    form->setGeometry(0, 0, 1280, 800);
    synthWindow->move(470, 60);
    eqWindow->move(470, 60 + synthSize.height() + 40);
    instruments->move(10, 60);
    effects->move(10, 400);
    for (QWidget* window :
         std::initializer_list<QWidget*>{instruments, effects, synthWindow, eqWindow}) {
        window->raise();
    }
    QTest::qWait(300);
    QScreen* screen = QGuiApplication::primaryScreen();
    Screenshot(screen->grabWindow(synthWindow->winId()).toImage(),
               "instrument_window_real_editor.png");
    Screenshot(screen->grabWindow(0).toImage(), "slot_windows_beside_main_window.png");

    // The plugin asks for another size, from the window thread and from a thread of its own.
    const QSize wider(eqSize.width() + 40, eqSize.height() + 20);
    EXPECT_EQ(HostCallback(eq->Effect(), vst2::audioMasterSizeWindow, wider.width(), wider.height(),
                           nullptr, 0.0f),
              1);
    EXPECT_EQ(eqWindow->size(), wider);
    std::thread([&] {
        HostCallback(eq->Effect(), vst2::audioMasterSizeWindow, eqSize.width(), eqSize.height(),
                     nullptr, 0.0f);
    }).join();
    EXPECT_TRUE(WaitFor([&] { return eqWindow->size() == eqSize; }));

    // "Visible" off: the plugin closes its editor, its window leaves ours; on again: back.
    QTest::mouseClick(effects->RowVisible(0), Qt::LeftButton);
    EXPECT_FALSE(eqWindow->isVisible());
    EXPECT_FALSE(eq->EditVisible());
    EXPECT_TRUE(WaitFor([&] { return ChildSizes(eqHost).empty(); }));
    QTest::mouseClick(effects->RowVisible(0), Qt::LeftButton);
    EXPECT_TRUE(eq->EditVisible());
    EXPECT_TRUE(WaitFor([&] { return !ChildSizes(eqHost).empty(); }));

    // Emptying the slot closes the editor before the plugin goes.
    Choose(effects, 0, "no effect");
    EXPECT_EQ(controller->Slots().PluginInSlot(16), nullptr);
    EXPECT_FALSE(eqWindow->isVisible());
    EXPECT_TRUE(WaitFor([&] { return ChildSizes(eqHost).empty(); }));

    // Nekobi's editor is still open: the shut-down closes it before unloading the plugin.
    form->close();
    controller->Shutdown();
}

/// The first window directly inside window, or 0.
Window FirstChild(Display* display, Window window) {
    Window root = 0, parent = 0, first = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &count) != 0 && count > 0) {
        first = children[0];
    }
    if (children != nullptr) {
        XFree(children);
    }
    return first;
}

TEST_F(EditorWindowTest, RemoteKeysStepPartsWhileAPluginsOwnEditorHasTheFocus) {
    if (!Install("3BandEQ-vst.so")) {
        GTEST_SKIP() << "dpf-plugins-vst (3BandEQ) is not installed";
    }
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    int event = 0, error = 0, major = 0, minor = 0;
    if (XTestQueryExtension(display, &event, &error, &major, &minor) == 0) {
        XCloseDisplay(display);
        GTEST_SKIP() << "the X server has no XTEST extension";
    }
    Open();
    ASSERT_EQ(EffectCatalogue.size(), 1u);
    TShowDescription show;
    show.Parts = {{"first", 0}, {"second", 12}, {"third", 7}};
    show.InstrumentIndex = -1;
    show.EffectIndex = 0;
    std::string writeError;
    ASSERT_TRUE(WriteShowFile(dir / "parts.pdp", show, writeError)) << writeError;
    ASSERT_TRUE(core->OpenProject(dir / "parts.pdp"));
    form->ApplicationIdle();
    ASSERT_EQ(CurrentPart, 0);

    TInstrumentForm* window = SlotWindow(16);
    ASSERT_NE(window, nullptr);
    if (!window->isVisible()) {
        core->ToggleSlotEditor(16);
    }
    ASSERT_TRUE(window->isVisible());
    ASSERT_FALSE(controller->Slots().PluginInSlot(16)->GenericEditorShown());
    ASSERT_TRUE(WaitFor([&] { return FirstChild(display, window->Handle()) != 0; }));
    const Window editor = FirstChild(display, window->Handle());

    // The keyboard focus and the pointer inside the plugin's own window, as after a click on
    // one of its knobs: its keys go to the plugin's connection, not to Qt's.
    window->move(100, 100);
    window->raise();
    QTest::qWait(200);
    auto press = [&](KeySym key) {
        XSetInputFocus(display, editor, RevertToParent, CurrentTime);
        XWarpPointer(display, 0, editor, 0, 0, 0, 0, 10, 10);
        XSync(display, False);
        const KeyCode code = XKeysymToKeycode(display, key);
        XTestFakeKeyEvent(display, code, True, CurrentTime);
        XTestFakeKeyEvent(display, code, False, CurrentTime);
        XSync(display, False);
    };
    press(XK_Down);
    EXPECT_TRUE(WaitFor([] { return CurrentPart == 1; }));
    press(XK_Down);
    EXPECT_TRUE(WaitFor([] { return CurrentPart == 2; }));
    press(XK_Up);
    EXPECT_TRUE(WaitFor([] { return CurrentPart == 1; }));

    // New hotkeys from the options are grabbed instead of the old ones.
    ProjectOptions().RemoteCommands[1].Hotkey = 0x50; // "P": previous part
    form->ApplyRemoteHotkeys();
    press(XK_p);
    EXPECT_TRUE(WaitFor([] { return CurrentPart == 0; }));

    XCloseDisplay(display);
    form->close();
    controller->Shutdown();
}

} // namespace
} // namespace peldor::test
