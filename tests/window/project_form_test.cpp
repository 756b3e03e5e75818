// The project window as a performer uses it (offscreen), over the real controller with our test
// synth and the virtual MIDI backend: clicks, keys and answered name boxes, checked against the
// project model, the engine's strip table, the slots, the settings file and the saved project.

#include "app/main_controller.h"
#include "app/main_window_core.h"
#include "app/settings_file.h"
#include "app/show_builder.h"
#include "engine/strip_table.h"
#include "midi/routing.h"
#include "midi/virtual_midi_backend.h"
#include "midi/window_messages.h"
#include "plugins/plugin_catalogue.h"
#include "plugins/registry_file.h"
#include "project/device_selection.h"
#include "project/project_links.h"
#include "project/project_model.h"
#include "project/project_options.h"
#include "tests/plugins/plugin_test_support.h"
#include "tests/support/temp_dir.h"
#include "tests/window/qt_test_app.h"
#include "ui/connection_form.h"
#include "ui/flat_knob.h"
#include "ui/main_form.h"
#include "ui/project_form.h"
#include "ui/window_message_pump.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <deque>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>

namespace peldor::test {
namespace {

/// Answers the name boxes from a queue (nullopt: Cancel) and records every box.
class NamingPresenter final : public IMessageBoxPresenter {
public:
    struct Box {
        std::string title, text, preset;
    };
    NamingPresenter() { SetMessageBoxPresenter(this); }
    ~NamingPresenter() override { SetMessageBoxPresenter(nullptr); }

    int ShowMessageBox(const std::string& title, const std::string& text, int, int buttons,
                       int defaultButton) override {
        boxes.push_back({title, text, {}});
        return ButtonResult(buttons, defaultButton);
    }
    int ShowInputBox(const std::string& title, const std::string& text, int, int, int,
                     std::string& value) override {
        boxes.push_back({title, text, value});
        if (names.empty() || !names.front()) {
            if (!names.empty()) {
                names.pop_front();
            }
            return kResultCancel;
        }
        value = *names.front();
        names.pop_front();
        return kResultOk;
    }
    void SplashStatus(const std::string&) override {}

    std::deque<std::optional<std::string>> names;
    std::vector<Box> boxes;
};

void Click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

void ClickRow(QListWidget* list, int row) {
    const QRect rect = list->visualItemRect(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

void DoubleClickRow(QListWidget* list, int row) {
    const QRect rect = list->visualItemRect(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

QStringList Texts(const QListWidget* list) {
    QStringList texts;
    for (int row = 0; row < list->count(); ++row) {
        texts << list->item(row)->text();
    }
    return texts;
}

int SelectedRow(const QListWidget* list) {
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.front());
}

class ProjectFormTest : public ::testing::Test {
protected:
    ProjectFormTest() {
        EnsureQtApplication();
        SetRegistryFile(dir / "registry.ini");
        CopyTestPlugin("PeldorSynth", dir / "plugins", "PeldorSynth.so");
        TMainController::InitializeProcess();
    }
    ~ProjectFormTest() override {
        if (form) {
            form->close();
        }
        if (controller) {
            controller->Shutdown();
        }
        form.reset();
        core.reset();
        controller.reset();
        InstrumentCatalogue.clear();
        EffectCatalogue.clear();
        SetRegistryFile(ResolveRegistryPath());
    }

    void Open() {
        TStartOptions options;
        options.IniPath = ini;
        options.PluginFolder = (dir / "plugins").string();
        options.SplashStatusDelayMs = 0;
        options.DefaultOutputs = true;
        options.MidiBackend = [this] {
            auto backend = std::make_unique<TVirtualMidiBackend>(std::vector<std::string>{"keys"},
                                                                 std::vector<std::string>{"synth"});
            midi = backend.get();
            return backend;
        };
        controller = std::make_unique<TMainController>(std::move(options));
        core = std::make_unique<TMainWindowCore>(*controller);
        form = std::make_unique<TMainForm>(*core);
        controller->Start();
        form->LoadFromCore();
        form->ShowMaximisedWithPlacement();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }

    /// Opens a one-song show with the synth in "VSTi 1" and shows the project window.
    TProjectForm* OpenShow(std::vector<TShowPart> parts = {{"verse", 0}, {"chorus", 0}}) {
        TShowDescription show;
        show.SongName = "opener";
        show.Parts = std::move(parts);
        const std::filesystem::path path = dir / "show.pdp";
        std::string error;
        EXPECT_TRUE(WriteShowFile(path, show, error)) << error;
        EXPECT_TRUE(core->OpenProject(path));
        form->ApplicationIdle();
        return ShowProjectWindow();
    }

    TProjectForm* ShowProjectWindow() {
        TProjectForm* window = form->ProjectWindow();
        if (window == nullptr || !window->isVisible()) {
            form->Action("ViewProject")->trigger();
        }
        window = form->ProjectWindow();
        EXPECT_NE(window, nullptr);
        EXPECT_TRUE(window != nullptr && window->isVisible());
        EXPECT_TRUE(form->Action("ViewProject")->isChecked());
        return window;
    }

    QPushButton* Button(const char* name) {
        auto* button = form->ProjectWindow()->findChild<QPushButton*>(name);
        EXPECT_NE(button, nullptr) << name;
        return button;
    }

    /// Clicks a button whose action asks for a name, answering it.
    void ClickNamed(const char* button, std::optional<std::string> answer) {
        presenter.names.push_back(std::move(answer));
        Click(Button(button));
    }

    static TSong& Song(int i) { return *ActiveProject()->SongAt(i); }
    static TPart& Part(int song, int part) { return *Song(song).PartAt(part); }

    TempDir dir{"peldor-project-form"};
    std::filesystem::path ini = dir / "peldor.ini";
    NamingPresenter presenter;
    TVirtualMidiBackend* midi = nullptr;
    std::unique_ptr<TMainController> controller;
    std::unique_ptr<TMainWindowCore> core;
    std::unique_ptr<TMainForm> form;
};

TEST_F(ProjectFormTest, SongsCarryTheirPluginsAndNewPartsKeepTheSound) {
    Open();
    TProjectForm* window = OpenShow();
    EXPECT_EQ(Texts(window->Songs()), QStringList({"opener"}));
    EXPECT_EQ(Texts(window->Parts()), QStringList({"verse", "chorus"}));
    EXPECT_EQ(window->Connections()->count(), 1);
    EXPECT_EQ(SelectedRow(window->Songs()), 0);
    EXPECT_EQ(SelectedRow(window->Parts()), 0);
    ASSERT_FALSE(core->SlotPluginName(0).empty());

    // A new song starts with empty slots: the synth leaves, the part lists empty.
    ClickNamed("btnAddSong", "encore");
    ASSERT_EQ(presenter.boxes.back().title, "Song name");
    EXPECT_EQ(presenter.boxes.back().text, "Please give a song name");
    EXPECT_EQ(presenter.boxes.back().preset, "new song");
    ASSERT_EQ(ActiveProject()->SongCount(), 2);
    EXPECT_EQ(Song(1).Name, "encore");
    EXPECT_EQ(CurrentSong, 1);
    EXPECT_EQ(CurrentPart, -1);
    EXPECT_EQ(SelectedRow(window->Songs()), 1);
    EXPECT_EQ(window->Parts()->count(), 0);
    EXPECT_EQ(window->Connections()->count(), 0);
    EXPECT_TRUE(core->SlotPluginName(0).empty());

    // A cancelled box adds nothing.
    ClickNamed("btnAddSong", std::nullopt);
    EXPECT_EQ(ActiveProject()->SongCount(), 2);

    // Clicking the first song loads its synth again and returns to its part.
    ClickRow(window->Songs(), 0);
    EXPECT_EQ(CurrentSong, 0);
    EXPECT_EQ(CurrentPart, 0);
    EXPECT_FALSE(core->SlotPluginName(0).empty());
    EXPECT_EQ(CurrentStrips.load(), Part(0, 0).Strips.get());

    // A song whose last part is none: its plugins (none) and no part selected.
    ClickRow(window->Songs(), 1);
    EXPECT_EQ(CurrentSong, 1);
    EXPECT_EQ(CurrentPart, -1);
    EXPECT_EQ(SelectedRow(window->Parts()), -1);
    EXPECT_TRUE(core->SlotPluginName(0).empty());

    // Parts: a new part starts with what sounds now and becomes current with its own strips.
    ClickRow(window->Songs(), 0);
    ClickRow(window->Parts(), 1);
    EXPECT_EQ(CurrentPart, 1);
    ClickNamed("btnAddPart", "bridge");
    EXPECT_EQ(presenter.boxes.back().preset, "new part");
    ASSERT_EQ(Song(0).PartCount(), 3);
    EXPECT_EQ(Part(0, 2).Name, "bridge");
    EXPECT_EQ(CurrentPart, 2);
    EXPECT_EQ(SelectedRow(window->Parts()), 2);
    EXPECT_EQ(Part(0, 2).SlotStates[0].PluginIndex, Song(0).SlotSettings[0].PluginIndex);
    EXPECT_EQ(Part(0, 2).SlotStates[0].HasState, Part(0, 1).SlotStates[0].HasState);
    EXPECT_EQ(Part(0, 2).SlotStates[0].StateData, Part(0, 1).SlotStates[0].StateData);
    EXPECT_EQ(CurrentStrips.load(), Part(0, 2).Strips.get());

    // Renaming by double click, by Enter; the rename keeps the current entries.
    presenter.names.push_back("first song");
    DoubleClickRow(window->Songs(), 0);
    EXPECT_EQ(Song(0).Name, "first song");
    EXPECT_EQ(Texts(window->Songs()).front(), "first song");
    EXPECT_EQ(CurrentPart, 2); // the song's last part
    ClickRow(window->Parts(), 0);
    window->Parts()->setFocus();
    presenter.names.push_back("intro");
    QTest::keyClick(window->Parts(), Qt::Key_Return);
    EXPECT_EQ(presenter.boxes.back().title, "Part name");
    EXPECT_EQ(Part(0, 0).Name, "intro");
    EXPECT_EQ(SelectedRow(window->Parts()), 0);

    // The arrow keys make the next part current.
    QTest::keyClick(window->Parts(), Qt::Key_Down);
    EXPECT_EQ(CurrentPart, 1);
    EXPECT_EQ(CurrentStrips.load(), Part(0, 1).Strips.get());
}

TEST_F(ProjectFormTest, ConnectionsLimitClipboardOrderAndDeletion) {
    Open();
    TProjectForm* window = OpenShow({{"verse", 0}});
    TPart& part = Part(0, 0);
    ASSERT_EQ(part.ConnectionCount(), 1);
    part.ConnectionAt(0)->Transpose = 5;
    part.ConnectionAt(0)->OutPort = 3;
    (*part.Strips)[kFirstMidiStrip].Level = 42.0f;

    // Copy and paste: the routing comes along, the mixer strip stays with the position.
    Click(Button("btnCopyConn"));
    ASSERT_TRUE(window->HasConnectionClip());
    ClickNamed("btnPasteConn", "pasted");
    EXPECT_EQ(presenter.boxes.back().preset, part.ConnectionAt(0)->Name);
    ASSERT_EQ(part.ConnectionCount(), 2);
    EXPECT_EQ(part.ConnectionAt(1)->Name, "pasted");
    EXPECT_EQ(part.ConnectionAt(1)->Transpose, 5);
    EXPECT_EQ(part.ConnectionAt(1)->OutPort, 3);
    EXPECT_NE((*part.Strips)[kFirstMidiStrip + 1].Level, 42.0f);
    EXPECT_EQ(CurrentConnection, 1);
    EXPECT_EQ(SelectedRow(window->Connections()), 1);

    // Up moves the connection and the current index with it.
    Click(Button("btnUpConn"));
    EXPECT_EQ(part.ConnectionAt(0)->Name, "pasted");
    EXPECT_EQ(CurrentConnection, 0);
    EXPECT_EQ(SelectedRow(window->Connections()), 0);
    Click(Button("btnUpConn")); // already at the top
    EXPECT_EQ(part.ConnectionAt(0)->Name, "pasted");
    Click(Button("btnDownConn"));
    EXPECT_EQ(part.ConnectionAt(1)->Name, "pasted");
    EXPECT_EQ(CurrentConnection, 1);

    // The limit: the 65th add says so and leaves the 64th alone.
    while (part.ConnectionCount() < kMaxConnections - 1) {
        part.AddConnection();
    }
    ClickNamed("btnAddConn", "last");
    EXPECT_EQ(presenter.boxes.back().preset, "new connection");
    ASSERT_EQ(part.ConnectionCount(), kMaxConnections);
    EXPECT_EQ(part.ConnectionAt(kMaxConnections - 1)->Name, "last");
    EXPECT_EQ(CurrentConnection, kMaxConnections - 1);
    ClickNamed("btnAddConn", "too many");
    EXPECT_EQ(presenter.boxes.back().text, "Sorry, maximum number of connections reached.");
    EXPECT_EQ(part.ConnectionCount(), kMaxConnections);
    EXPECT_EQ(part.ConnectionAt(kMaxConnections - 1)->Name, "last");
    EXPECT_EQ(window->Connections()->count(), kMaxConnections);

    // Delete, by button and by key: the current index stays, or moves to the new last entry.
    Click(Button("btnDelConn"));
    EXPECT_EQ(part.ConnectionCount(), kMaxConnections - 1);
    EXPECT_EQ(CurrentConnection, kMaxConnections - 2);
    ClickRow(window->Connections(), 0);
    EXPECT_EQ(CurrentConnection, 0);
    window->Connections()->setFocus();
    QTest::keyClick(window->Connections(), Qt::Key_Delete);
    EXPECT_EQ(part.ConnectionAt(0)->Name, "pasted");
    EXPECT_EQ(CurrentConnection, 0);
    EXPECT_EQ(SelectedRow(window->Connections()), 0);
}

TEST_F(ProjectFormTest, DeletingHandsTheStripsOverAndTheLastSongEmptiesTheLists) {
    Open();
    TProjectForm* window = OpenShow({{"a", 0}, {"b", 0}});
    TPart* second = Song(0).PartAt(1);

    // The current part goes: the next one's table is current before the old one is freed.
    Click(Button("btnDelPart"));
    ASSERT_EQ(Song(0).PartCount(), 1);
    EXPECT_EQ(Song(0).PartAt(0), second);
    EXPECT_EQ(CurrentPart, 0);
    EXPECT_EQ(CurrentStrips.load(), second->Strips.get());
    EXPECT_EQ(Texts(window->Parts()), QStringList({"b"}));

    // A pasted song is a copy with its own parts; the copy becomes current with its plugins.
    Click(Button("btnCopySong"));
    ClickNamed("btnPasteSong", "copy");
    ASSERT_EQ(ActiveProject()->SongCount(), 2);
    EXPECT_EQ(CurrentSong, 1);
    EXPECT_EQ(CurrentPart, 0);
    EXPECT_EQ(Part(1, 0).Name, "b");
    EXPECT_NE(&Part(1, 0), second);
    EXPECT_EQ(CurrentStrips.load(), Part(1, 0).Strips.get());
    EXPECT_FALSE(core->SlotPluginName(0).empty());

    Click(Button("btnDelSong"));
    EXPECT_EQ(CurrentSong, 0);
    EXPECT_EQ(CurrentStrips.load(), second->Strips.get());
    Click(Button("btnDelSong"));
    EXPECT_EQ(ActiveProject()->SongCount(), 0);
    EXPECT_EQ(CurrentSong, -1);
    EXPECT_EQ(CurrentPart, -1);
    EXPECT_EQ(CurrentConnection, -1);
    EXPECT_EQ(CurrentStrips.load(), nullptr);
    EXPECT_EQ(window->Songs()->count(), 0);
    EXPECT_EQ(window->Parts()->count(), 0);
    EXPECT_EQ(window->Connections()->count(), 0);

    // Without a song the part and connection buttons do nothing.
    ClickNamed("btnAddPart", "nowhere");
    ClickNamed("btnAddConn", "nowhere");
    EXPECT_EQ(ActiveProject()->SongCount(), 0);
    EXPECT_EQ(presenter.names.size(), 2u); // no box was asked
}

TEST_F(ProjectFormTest, ClosesToTheMenuAndRemembersItsPlacement) {
    Open();
    TProjectForm* window = OpenShow();
    EXPECT_EQ(window->size(), QSize(TProjectForm::kDefaultWidth, TProjectForm::kDefaultHeight));
    Click(window->findChild<QPushButton*>("btnClose"));
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(form->Action("ViewProject")->isChecked());
    EXPECT_EQ(ShowProjectWindow(), window); // hidden, not destroyed

    // Closing the project hides the window and empties its lists.
    form->Action("CloseProject")->trigger();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->Songs()->count(), 0);
    EXPECT_EQ(window->Connections()->count(), 0);

    window->move(30, 40);
    window->resize(600, 450);
    form->close();
    controller->Shutdown();
    form.reset();
    const TSettingsFile settings(ini);
    EXPECT_EQ(settings.ReadInteger("ProjectForm", "Left", -1), 30);
    EXPECT_EQ(settings.ReadInteger("ProjectForm", "Top", -1), 40);
    EXPECT_EQ(settings.ReadInteger("ProjectForm", "Width", -1), 600);
    EXPECT_EQ(settings.ReadInteger("ProjectForm", "Height", -1), 450);
}

std::string RunDump(const std::filesystem::path& file, const std::filesystem::path& out) {
    const char* binaryDir = std::getenv("PELDOR_BINARY_DIR");
    const std::string command = "'" + std::string(binaryDir != nullptr ? binaryDir : ".") +
                                "/tools/peldor-project' dump '" + file.string() + "' > '" +
                                out.string() + "'";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
    std::ifstream in(out);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST_F(ProjectFormTest, ATwoSongShowBuiltByHandIsSavedAsClicked) {
    Open();
    form->Action("NewProject")->trigger();
    TProjectForm* window = form->ProjectWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->isVisible());

    ClickNamed("btnAddSong", "ballad");
    ClickNamed("btnAddPart", "quiet");
    ClickNamed("btnAddConn", "piano");
    ClickNamed("btnAddConn", "strings");
    ClickNamed("btnAddPart", "loud");
    ClickNamed("btnAddSong", "rocker");
    ClickNamed("btnAddPart", "riff");
    ClickNamed("btnAddConn", "guitar");
    // Edits in the model as the inspector makes them.
    Part(1, 0).ConnectionAt(0)->Transpose = -12;
    ClickRow(window->Songs(), 0);
    EXPECT_EQ(CurrentPart, 1); // the song's last part
    ClickRow(window->Parts(), 0);
    EXPECT_EQ(Texts(window->Connections()), QStringList({"piano", "strings"}));
    ClickRow(window->Connections(), 1);
    Click(Button("btnUpConn"));

    const std::filesystem::path saved = dir / "built.pdp";
    ASSERT_TRUE(core->SaveProjectAs(saved));
    const std::string dump = RunDump(saved, dir / "dump.json");
    const std::vector<std::string> order{"\"ballad\"", "\"quiet\"",  "\"strings\"", "\"piano\"",
                                         "\"loud\"",   "\"rocker\"", "\"riff\"",    "\"guitar\""};
    std::size_t at = 0;
    for (const std::string& name : order) {
        const std::size_t found = dump.find(name, at);
        ASSERT_NE(found, std::string::npos) << name << " in order";
        at = found;
    }
    EXPECT_NE(dump.find("\"Transpose\":-12"), std::string::npos);

    // Read back: the same show, the window filled from it.
    Click(Button("btnDelSong"));
    Click(Button("btnDelSong"));
    ASSERT_TRUE(core->OpenProject(saved));
    form->ApplicationIdle();
    ASSERT_EQ(ActiveProject()->SongCount(), 2);
    EXPECT_EQ(Song(0).PartCount(), 2);
    EXPECT_EQ(Part(0, 0).ConnectionAt(0)->Name, "strings");
    EXPECT_EQ(Part(1, 0).ConnectionAt(0)->Transpose, -12);
    ShowProjectWindow();
    EXPECT_EQ(Texts(form->ProjectWindow()->Songs()), QStringList({"ballad", "rocker"}));

    const char* binary = std::getenv("PELDOR_BINARY_DIR");
    const std::filesystem::path shots =
        std::filesystem::path(binary != nullptr ? binary : ".") / "screenshots";
    std::filesystem::create_directories(shots);
    form->ProjectWindow()->Parts()->setFocus();
    EXPECT_TRUE(form->ProjectWindow()->grab().save(
        QString::fromStdString((shots / "project_form.png").string())));
}

// ---- The inspector ------------------------------------------------------------------------------

class InspectorTest : public ProjectFormTest {
protected:
    /// The show's connection sends to MIDI output 1 ("synth"), which is selected and open.
    TInspectorForm* OpenInspector() {
        OpenShow({{"verse", 0}});
        ProjectLinks.Devices->SetOutputSelected(0, true);
        ProjectLinks.Devices->OpenSelectedDevices();
        Connection().OutPort = 0;
        Connection().OutChannel = 0;
        form->Action("ViewInspector")->trigger();
        TInspectorForm* inspector = form->InspectorWindow();
        EXPECT_NE(inspector, nullptr);
        EXPECT_TRUE(inspector != nullptr && inspector->isVisible());
        midi->TakeSent(0);
        return inspector;
    }
    static TConnection& Connection() {
        return *ActiveProject()->CurrentPartObject()->ConnectionAt(0);
    }
    template <class T> T* Child(const char* name) {
        auto* widget = form->InspectorWindow()->findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    static std::uint32_t Cc(int controller, int value, int channel = 0) {
        return 0xB0u | static_cast<std::uint32_t>(channel) |
               static_cast<std::uint32_t>(controller) << 8 |
               static_cast<std::uint32_t>(value) << 16;
    }
};

TEST_F(InspectorTest, ShowingSendsNothingAndNoConnectionGreysEverything) {
    Open();
    TInspectorForm* inspector = OpenInspector();
    Connection().Transpose = 7;
    Connection().Volume = 96;
    Connection().Program = 9;
    inspector->ShowCurrent();
    EXPECT_EQ(Child<QSpinBox>("edtTranspose")->value(), 7);
    EXPECT_EQ(Child<QSpinBox>("edtPC")->value(), 10);
    EXPECT_FLOAT_EQ(Child<TFlatKnob>("knbVolume")->Val(), 96.0f);
    EXPECT_EQ(Child<QComboBox>("cmbOut")->currentText(), "Output 1");
    EXPECT_TRUE(midi->TakeSent(0).empty());

    // Edits reach the connection with the timer's store.
    Child<QSpinBox>("edtRangeHi")->setValue(100);
    form->UITimerTimer();
    EXPECT_EQ(Connection().RangeHi, 100);

    CurrentConnection = -1;
    inspector->ShowCurrent();
    EXPECT_FALSE(inspector->ControlsEnabled());
    EXPECT_FALSE(Child<QGroupBox>("grpIn")->isEnabled());
    EXPECT_FALSE(Child<QGroupBox>("grpOut")->isEnabled());
    EXPECT_EQ(inspector->palette().color(QPalette::Window), QColor(0x40, 0x40, 0x40));
    EXPECT_EQ(Child<QListWidget>("lb")->palette().color(QPalette::Base), QColor(0x40, 0x40, 0x40));
    // Greyed controls are never stored into a connection (switching stores when leaving).
    const std::string name = Connection().Name;
    inspector->StoreControls(Connection());
    EXPECT_EQ(Connection().Name, name);
    EXPECT_EQ(Connection().Transpose, 7);
    EXPECT_EQ(Connection().RangeHi, 100);
    CurrentConnection = 0;
    inspector->ShowCurrent();
    EXPECT_TRUE(Child<QGroupBox>("grpIn")->isEnabled());
    EXPECT_EQ(inspector->palette().color(QPalette::Window), QColor(0x1D, 0x21, 0x36));
}

TEST_F(InspectorTest, VolumeBankAndRoutingChangesSendWhatTheyShould) {
    Open();
    TInspectorForm* inspector = OpenInspector();
    ASSERT_EQ(Connection().Volume, 96);
    auto* volume = Child<TFlatKnob>("knbVolume");

    // A volume turn sends controller 7 once, and the MIDI connection strip follows.
    volume->SetVal(100.0f);
    emit volume->OnChange();
    EXPECT_EQ(midi->TakeSent(0), std::vector<std::uint32_t>{Cc(7, 100)});
    EXPECT_EQ(Connection().Volume, 100);
    EXPECT_FLOAT_EQ((*CurrentStrips.load())[kFirstMidiStrip].Level, 100.0f);
    emit volume->OnChange(); // unchanged value: nothing
    EXPECT_TRUE(midi->TakeSent(0).empty());
    Child<QCheckBox>("chkEnbl")->click();
    EXPECT_EQ(Connection().Enabled, 0);
    midi->TakeSent(0);
    volume->SetVal(110.0f);
    emit volume->OnChange();
    EXPECT_TRUE(midi->TakeSent(0).empty());
    Child<QCheckBox>("chkEnbl")->click();

    // Bank high 5: controller 0 value 5 before the program change.
    ProjectOptions().SendAllNotesOffOnChange = 0;
    Child<QCheckBox>("chkBaHi_enbl")->click();
    midi->TakeSent(0);
    Child<QSpinBox>("edtBaHi")->setValue(5);
    const std::vector<std::uint32_t> bank = midi->TakeSent(0);
    ASSERT_EQ(bank.size(), 2u);
    EXPECT_EQ(bank[0], Cc(0, 5));
    EXPECT_EQ(bank[1] & 0xF0u, 0xC0u);
    EXPECT_EQ(Connection().BankHi, 5);

    // The output switched while a key is held: the note-off goes out through the old output.
    ProjectOptions().SendAllNotesOffOnChange = 1;
    ASSERT_TRUE(midi->Play(0, 0x403C90));
    EXPECT_EQ(midi->TakeSent(0), std::vector<std::uint32_t>{0x403C90u});
    auto* out = Child<QComboBox>("cmbOut");
    out->setCurrentIndex(16);
    emit out->activated(16);
    EXPECT_EQ(midi->TakeSent(0), std::vector<std::uint32_t>{Cc(123, 0)});
    EXPECT_EQ(Connection().OutPort, kFirstInstrumentPort);
    ASSERT_TRUE(midi->Play(0, 0x403E90));
    EXPECT_TRUE(midi->TakeSent(0).empty()); // now into instrument slot 1
    (void)inspector;
}

TEST_F(InspectorTest, MonitorKeepsTwelveLinesAndSkipsUnknownPorts) {
    Open();
    TInspectorForm* inspector = OpenInspector();
    QListWidget* monitor = inspector->Monitor();
    monitor->clear();
    const std::uint32_t slot1 = static_cast<std::uint32_t>(32) << 16;
    for (int i = 0; i < 13; ++i) {
        inspector->HandleWindowMessage(
            {TWindowTarget::Inspector, WM_MIDIDISPLAY, slot1, 0, "note " + std::to_string(i)});
    }
    ASSERT_EQ(monitor->count(), TInspectorForm::kMonitorLines);
    EXPECT_EQ(monitor->item(0)->text(), "vst 1 [ 1]  note 1");
    EXPECT_EQ(monitor->item(11)->text(), "vst 1 [ 1]  note 12");
    inspector->HandleWindowMessage(
        {TWindowTarget::Inspector, WM_MIDIDISPLAY, (48u << 16) | 9u, 0, "lost"});
    EXPECT_EQ(monitor->item(11)->text(), "vst 1 [ 1]  note 12");
    inspector->HandleWindowMessage(
        {TWindowTarget::Inspector, WM_MIDIDISPLAY, (16u << 16) | 9u, 0, "cc"});
    EXPECT_EQ(monitor->item(11)->text(), "out 1 [10]  cc");

    // What really leaves a connection reaches the monitor through the main window.
    TWindowMessagePump pump(
        [this](const TWindowMessage& message) { form->HandleWindowMessage(message); });
    SetWindowPoster(&pump);
    pump.SetInspectorExists(true);
    ASSERT_TRUE(midi->Play(0, 0x403C90));
    pump.Deliver();
    SetWindowPoster(nullptr);
    EXPECT_TRUE(monitor->item(11)->text().startsWith("out 1 [ 1]  "))
        << monitor->item(11)->text().toStdString();

    const char* binary = std::getenv("PELDOR_BINARY_DIR");
    const std::filesystem::path shots =
        std::filesystem::path(binary != nullptr ? binary : ".") / "screenshots";
    std::filesystem::create_directories(shots);
    EXPECT_TRUE(inspector->grab().save(QString::fromStdString((shots / "inspector.png").string())));
}

} // namespace
} // namespace peldor::test
