// The plugin folder dialog at start-up and from the Settings menu, and "Rescan plugins" with its
// list of the libraries that failed, driven with clicks; checked against the registry file,
// the catalogues and the list the window shows.

#include "plugins/plugin_scan.h"
#include "tests/window/slot_window_fixture.h"
#include "ui/plugin_path_window.h"
#include "ui/plugin_problems_form.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

#include <functional>

namespace peldor::test {
namespace {

/// Runs act on the plugin folder dialog once it is open (modal), from the dialog's own loop.
class PathDialogDriver {
public:
    explicit PathDialogDriver(std::function<void(TPluginPathWindow&)> theAct)
        : act(std::move(theAct)) {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            auto* window = qobject_cast<TPluginPathWindow*>(QApplication::activeModalWidget());
            if (window == nullptr) {
                return;
            }
            timer.stop();
            seen = true;
            act(*window);
            if (window->isVisible()) {
                // The test's act left it open: close it as "Continue without plugins" would.
                QTest::mouseClick(window->findChild<QPushButton*>("btnContinue"), Qt::LeftButton);
            }
        });
        timer.start();
    }
    bool seen = false;

private:
    std::function<void(TPluginPathWindow&)> act;
    QTimer timer;
};

class PluginFolderTest : public SlotWindowFixture {
protected:
    PluginFolderTest() {
        CopyTestPlugin("PeldorSynth", plugins, "PeldorSynth.so");
        pathDialog = &qtDialog;
    }

    std::optional<std::string> Registered() const {
        return ReadRegistryString(dir / "registry.ini", kVstRegistryKey, kVstPluginsPathValue);
    }

    void Click(QWidget& window, const char* button) {
        auto* found = window.findChild<QPushButton*>(button);
        ASSERT_NE(found, nullptr) << button;
        QTest::mouseClick(found, Qt::LeftButton);
    }

    TQtPluginPathDialog qtDialog;
};

TEST_F(PluginFolderTest, StartWithoutAFolderAsksAndPickUsesItForThisRunOnly) {
    bool stayedAfterNo = false;
    std::optional<std::string> registeredAfterNo;
    QStringList texts;
    std::string startFolder;
    PathDialogDriver driver([&](TPluginPathWindow& window) {
        for (QLabel* label : window.findChildren<QLabel*>()) {
            texts << label->text();
        }
        startFolder = window.SelectedFolder();
        Screenshot(window.grab().toImage(), "plugin_path_form.png");
        window.SelectFolder(plugins.string());
        // "No" to creating: the dialog stays and nothing is registered.
        presenter.answer = kResultNo;
        Click(window, "btnCreate");
        stayedAfterNo = window.isVisible();
        registeredAfterNo = Registered();
        presenter.answer = kResultYes;
        Click(window, "btnPick");
    });
    // The tree starts at $VST_PATH's first folder when it exists.
    setenv("VST_PATH", (dir.Path().string() + ":/usr/lib/vst").c_str(), 1);
    Open(true);
    unsetenv("VST_PATH");
    EXPECT_TRUE(driver.seen);
    EXPECT_EQ(startFolder, dir.Path().string());
    EXPECT_TRUE(stayedAfterNo);
    EXPECT_FALSE(registeredAfterNo.has_value());
    EXPECT_TRUE(texts.contains("Your system does not have a valid VST-plugin-folder."));
    // Picked: scanned for this run, not registered.
    EXPECT_FALSE(Registered().has_value());
    EXPECT_EQ(core->PluginFolder(), plugins.string());
    ASSERT_EQ(InstrumentCatalogue.size(), 1u);
    ASSERT_GE(presenter.boxes.size(), 2u);
    EXPECT_NE(presenter.boxes.back().text.find("temporary plugin folder"), std::string::npos);
}

TEST_F(PluginFolderTest, MenuRegistersAFolderAndRescanListsTheFailures) {
    Open();
    ASSERT_EQ(InstrumentCatalogue.size(), 1u);
    const std::filesystem::path other = dir / "other plugins";
    CopyTestPlugin("PeldorSynth", other, "Synth.so");
    CopyTestPlugin("PeldorGain", other, "Gain.so");

    // Settings > Plugin folder: "Create" registers the chosen folder and the scan reads it.
    PathDialogDriver driver([&](TPluginPathWindow& window) {
        window.SelectFolder(other.string());
        presenter.answer = kResultYes;
        Click(window, "btnCreate");
    });
    QAction* folderAction = form->Action("PluginFolder");
    ASSERT_NE(folderAction, nullptr);
    folderAction->trigger();
    EXPECT_TRUE(driver.seen);
    EXPECT_EQ(Registered().value_or(""), other.string());
    EXPECT_EQ(core->PluginFolder(), other.string());
    EXPECT_EQ(EffectCatalogue.size(), 1u);
    TPluginProblemsForm* problems = form->PluginProblemsWindow();
    ASSERT_NE(problems, nullptr);
    EXPECT_TRUE(problems->isVisible());
    EXPECT_EQ(problems->List()->topLevelItemCount(), 0);
    EXPECT_TRUE(problems->Summary()->text().startsWith("Every library"));
    Screenshot(problems->grab().toImage(), "plugin_problems_none.png");

    // A library that crashes while it is opened: the rescan leaves it out and says why.
    CopyTestPlugin("CrashInOpen", other, "Crashes.so");
    form->Action("RescanPlugins")->trigger();
    ASSERT_EQ(problems->List()->topLevelItemCount(), 1);
    EXPECT_EQ(problems->List()->topLevelItem(0)->text(0), "Crashes.so");
    EXPECT_TRUE(problems->List()->topLevelItem(0)->text(1).contains("crashed"));
    EXPECT_EQ(EffectCatalogue.size() + InstrumentCatalogue.size(), 2u);
    Screenshot(problems->grab().toImage(), "plugin_problems.png");

    // Under an open project the lists must keep their places: no rescan, no folder change.
    core->NewProject();
    form->UpdateMenuEntries();
    EXPECT_FALSE(form->Action("RescanPlugins")->isEnabled());
    EXPECT_FALSE(folderAction->isEnabled());
    EXPECT_FALSE(core->RescanPlugins({}));
}

} // namespace
} // namespace peldor::test
