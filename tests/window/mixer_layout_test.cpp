// The mixers' places in the project file: saved with the project (which exist, where, how big,
// shown or hidden), and applied when a project is opened in a program that has never shown
// them. The records of the other windows pass through unchanged.

#include "project/project_file.h"
#include "tests/window/slot_window_fixture.h"
#include "ui/mixer_form.h"

#include <QScreen>

#include <fstream>

namespace peldor::test {
namespace {

class MixerLayoutTest : public SlotWindowFixture {
protected:
    MixerLayoutTest() { CopyTestPlugin("PeldorSynth", plugins, "PeldorSynth.so"); }

    /// Ends the running program and starts a fresh one, as the next evening's show does.
    void Restart() {
        form->close();
        controller->Shutdown();
        form.reset();
        core.reset();
        controller.reset();
        Open();
    }

    TProjectFileImage Load(const std::filesystem::path& path) {
        TProjectFileImage image;
        std::string message;
        EXPECT_TRUE(LoadProjectImage(path, image, message)) << message;
        return image;
    }
};

TEST_F(MixerLayoutTest, MixersAreSavedWithTheProjectAndPlacedWhenItOpens) {
    Open();
    OpenShow(0, -1);
    form->Action("Mixer2")->trigger();
    form->Action("Mixer4")->trigger();
    form->Mixer(2)->setGeometry(40, 50, 500, 380);
    form->Mixer(4)->setGeometry(300, 120, 600, 400);
    form->Action("Mixer4")->trigger(); // hidden again, but it exists
    ASSERT_FALSE(form->Mixer(4)->isVisible());

    const std::filesystem::path path = dir / "layout.pdp";
    ASSERT_TRUE(core->SaveProjectAs(path));
    TProjectFileImage image = Load(path);
    EXPECT_EQ(image.WindowLayout[kLayoutMixer1].Exists, 0);
    EXPECT_EQ(image.WindowLayout[kLayoutMixer3].Exists, 0);
    EXPECT_EQ(image.WindowLayout[kLayoutMixer2], (TWindowLayoutRecord{1, 40, 50, 500, 380, 1}));
    EXPECT_EQ(image.WindowLayout[kLayoutMixer4], (TWindowLayoutRecord{1, 300, 120, 600, 400, 0}));

    // Records of windows that place themselves elsewhere (here the inspector, which does not
    // exist yet) survive opening and saving.
    image.WindowLayout[kLayoutInspector] = {1, 7, 8, 9, 10, 1};
    TByteBuffer bytes;
    WriteProjectFile(image, bytes);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));

    Restart();
    ASSERT_EQ(form->Mixer(2), nullptr);
    ASSERT_TRUE(core->OpenProject(path));
    form->ApplicationIdle();
    ASSERT_NE(form->Mixer(2), nullptr);
    EXPECT_TRUE(form->Mixer(2)->isVisible());
    EXPECT_EQ(form->Mixer(2)->geometry(), QRect(40, 50, 500, 380));
    EXPECT_TRUE(form->Action("Mixer2")->isChecked());
    ASSERT_NE(form->Mixer(4), nullptr);
    EXPECT_FALSE(form->Mixer(4)->isVisible());
    EXPECT_EQ(form->Mixer(4)->geometry(), QRect(300, 120, 600, 400));
    EXPECT_FALSE(form->Action("Mixer4")->isChecked());
    EXPECT_EQ(form->Mixer(1), nullptr);
    EXPECT_EQ(form->Mixer(3), nullptr);

    // The menu toggles the placed windows as usual; the next save keeps what changed.
    form->Action("Mixer4")->trigger();
    form->Action("Mixer2")->trigger();
    ASSERT_TRUE(core->SaveProject());
    const TProjectFileImage again = Load(path);
    EXPECT_EQ(again.WindowLayout[kLayoutMixer2], (TWindowLayoutRecord{1, 40, 50, 500, 380, 0}));
    EXPECT_EQ(again.WindowLayout[kLayoutMixer4].Visible, 1);
    EXPECT_EQ(again.WindowLayout[kLayoutInspector], (TWindowLayoutRecord{1, 7, 8, 9, 10, 1}));
}

TEST_F(MixerLayoutTest, RecordsOutOfReachAreBroughtBackOnScreen) {
    Open();
    OpenShow(0, -1);
    const std::filesystem::path path = dir / "far.pdp";
    ASSERT_TRUE(core->SaveProjectAs(path));
    TProjectFileImage image = Load(path);
    // Another machine's second screen, a size below the window's minimum, and one far too big.
    image.WindowLayout[kLayoutMixer1] = {1, -40000, 90000, -5, 0, 1};
    image.WindowLayout[kLayoutMixer3] = {1, 10, 10, 100000, 100000, 1};
    TByteBuffer bytes;
    WriteProjectFile(image, bytes);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));

    ASSERT_TRUE(core->OpenProject(path));
    form->ApplicationIdle();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    for (int n : {1, 3}) {
        TMixerForm* mixer = form->Mixer(n);
        ASSERT_NE(mixer, nullptr) << n;
        EXPECT_TRUE(mixer->isVisible()) << n;
        EXPECT_TRUE(screen.contains(mixer->geometry().topLeft())) << n;
        EXPECT_GE(mixer->width(), mixer->minimumWidth()) << n;
        EXPECT_LE(mixer->width(), screen.width()) << n;
        EXPECT_LE(mixer->height(), screen.height()) << n;
    }
}

} // namespace
} // namespace peldor::test
