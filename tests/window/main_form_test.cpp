// The main window as a user drives it (offscreen): menu actions and their keys, the file
// dialogs, the recent files, the language, the status panels and the remote commands, checked
// against what reached the controller, the settings file and the project files.

#include "app/main_controller.h"
#include "app/main_window_core.h"
#include "app/settings_file.h"
#include "app/show_builder.h"
#include "engine/strip_table.h"
#include "midi/virtual_midi_backend.h"
#include "midi/window_messages.h"
#include "plugins/plugin_catalogue.h"
#include "plugins/registry_file.h"
#include "project/project_model.h"
#include "tests/plugins/plugin_test_support.h"
#include "tests/support/temp_dir.h"
#include "tests/window/qt_test_app.h"
#include "ui/main_form.h"
#include "ui/slot_list_form.h"
#include "ui/window_message_pump.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QStatusTipEvent>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QUrl>

#include <gtest/gtest.h>

#include <fstream>
#include <string_view>
#include <thread>

namespace peldor::test {
namespace {

/// Answers the next file dialog with path (empty: cancels it) and remembers what it offered.
/// Its timer dies with it, so an answer never reaches a later test's dialog.
struct FileDialogAnswer {
    QString filter;
    QString suffix;
    bool seen = false;
    QString path;
    QTimer timer;
    QPointer<QFileDialog> answered;

    FileDialogAnswer() {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr || dialog == answered) {
                return;
            }
            timer.stop();
            answered = dialog;
            seen = true;
            filter = dialog->nameFilters().join(";");
            suffix = dialog->defaultSuffix();
            if (path.isEmpty()) {
                QTest::keyClick(dialog, Qt::Key_Escape);
                return;
            }
            // Typed into the file name field and confirmed with Enter, as a user does.
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            if (name == nullptr) {
                dialog->reject();
                return;
            }
            name->setText(path);
            QTest::keyClick(name, Qt::Key_Return);
        });
    }

    void Arm(const QString& answer) {
        seen = false;
        path = answer;
        timer.start();
    }
};

/// Receives the URLs the desktop would open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    UrlCatcher() { QDesktopServices::setUrlHandler("file", this, "Open"); }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler("file"); }
    QList<QUrl> urls;
public slots:
    void Open(const QUrl& url) { urls.push_back(url); }
};

class MainFormTest : public ::testing::Test {
protected:
    MainFormTest() {
        EnsureQtApplication();
        SetRegistryFile(dir / "registry.ini");
        CopyTestPlugin("PeldorSynth", dir / "plugins", "PeldorSynth.so");
        TMainController::InitializeProcess();
    }
    ~MainFormTest() override {
        if (form) {
            form->close();
        }
        if (controller) {
            controller->Shutdown();
        }
        form.reset();
        core.reset();
        controller.reset();
        SetWindowPoster(nullptr);
        InstrumentCatalogue.clear();
        EffectCatalogue.clear();
        SetRegistryFile(ResolveRegistryPath());
    }

    void Open(const std::string& driver = {}) {
        TStartOptions options;
        options.IniPath = ini;
        options.PluginFolder = (dir / "plugins").string();
        options.SplashStatusDelayMs = 0;
        options.DriverName = driver;
        options.MidiBackend = [] {
            return std::make_unique<TVirtualMidiBackend>(std::vector<std::string>{"keys"},
                                                         std::vector<std::string>{});
        };
        controller = std::make_unique<TMainController>(std::move(options));
        core = std::make_unique<TMainWindowCore>(*controller);
        form = std::make_unique<TMainForm>(*core);
        controller->Start();
        form->LoadFromCore();
        form->ShowMaximisedWithPlacement();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }

    std::filesystem::path Show(const std::string& name, int parts = 2) {
        const std::filesystem::path path = dir / name;
        TShowDescription show;
        show.Parts = {{"first", 0}, {"second", 12}};
        show.Parts.resize(static_cast<std::size_t>(parts));
        std::string error;
        EXPECT_TRUE(WriteShowFile(path, show, error)) << error;
        return path;
    }

    /// Opens a project as --project does at start-up; the window catches up at its next idle.
    bool OpenShow(const std::filesystem::path& path) {
        const bool opened = core->OpenProject(path);
        form->ApplicationIdle();
        return opened;
    }

    void WriteIni(const std::string& text) { std::ofstream(ini) << text; }

    /// A key pressed in the main window, which has the focus as it would after a dialog.
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QApplication::setActiveWindow(form.get());
        QTest::keyClick(form.get(), key, modifiers);
    }

    QAction& Act(const char* name) {
        QAction* action = form->Action(name);
        EXPECT_NE(action, nullptr) << name;
        return *action;
    }

    std::string Setting(const char* section, const char* key) {
        return TSettingsFile(ini).ReadString(section, key, "<none>");
    }

    TempDir dir{"peldor-mainform"};
    std::filesystem::path ini = dir / "peldor.ini";
    RecordingPresenter presenter;
    std::unique_ptr<TMainController> controller;
    std::unique_ptr<TMainWindowCore> core;
    std::unique_ptr<TMainForm> form;
};

TEST_F(MainFormTest, FirstStartWithoutSettingsFile) {
    ASSERT_FALSE(std::filesystem::exists(ini));
    Open();
    EXPECT_TRUE(form->isMaximized());
    EXPECT_EQ(form->windowTitle(), "PELDOR");
    EXPECT_TRUE(Act("LANG_ENGLISH").isChecked());
    EXPECT_FALSE(Act("LANG_GERMAN").isChecked());
    for (int i = 1; i <= 4; ++i) {
        QAction& item = Act(QString("mnuMRU%1").arg(i).toUtf8().constData());
        EXPECT_EQ(item.text(), QString("Last project %1").arg(i));
        EXPECT_FALSE(item.isEnabled());
    }
    // No driver: no rate or format, only the mixing variant.
    EXPECT_TRUE(form->PanelText(3) == "SSE" || form->PanelText(3) == "x87");
    EXPECT_EQ(form->PanelText(1), "");
    EXPECT_EQ(form->PanelText(2), "");
    for (const char* name : {"SaveProject", "SaveProjectAs", "CloseProject", "Mixer1", "VSTI_List",
                             "ViewProject", "EditCut", "WindowNext", "WindowPrev"}) {
        EXPECT_FALSE(Act(name).isEnabled()) << name;
    }
    EXPECT_TRUE(Act("NewProject").isEnabled());
    EXPECT_EQ(Act("NewProject").shortcut(), QKeySequence("Ctrl+N"));
    EXPECT_EQ(Act("NewProject").toolTip(), "New project");
    EXPECT_EQ(Act("NewProject").statusTip(), "Create a new and empty project");
    EXPECT_EQ(Act("Mixer4").shortcut(), QKeySequence("Ctrl+F4"));
    // The remote actions take the options' hotkeys.
    EXPECT_EQ(Act("RemoteNextPart").shortcut(), QKeySequence(Qt::Key_Down));
    EXPECT_EQ(Act("RemotePanic").shortcut(), QKeySequence(Qt::Key_Escape));

    form->close();
    controller->Shutdown();
    EXPECT_EQ(Setting("General", "Language"), "1033");
    EXPECT_EQ(Setting("MainForm", "State"), "2");
    EXPECT_EQ(Setting("MRU", "File1"), "");
}

TEST_F(MainFormTest, LanguageMenuChecksAndStoresTheChoice) {
    WriteIni("[General]\nLanguage=2057\n");
    Open();
    EXPECT_TRUE(Act("LANG_ENGLISH").isChecked());
    EXPECT_EQ(controller->LanguageCode(), 1033);

    Act("LANG_GERMAN").trigger();
    EXPECT_TRUE(Act("LANG_GERMAN").isChecked());
    EXPECT_FALSE(Act("LANG_ENGLISH").isChecked());
    EXPECT_EQ(Setting("General", "Language"), "1031");

    Act("LANG_ENGLISH").trigger();
    EXPECT_TRUE(Act("LANG_ENGLISH").isChecked());
    EXPECT_EQ(Setting("General", "Language"), "1033");
}

TEST_F(MainFormTest, ProjectActionsThroughTheMenuAndTheFileDialogs) {
    Open();
    Key(Qt::Key_N, Qt::ControlModifier);
    ASSERT_NE(ActiveProject(), nullptr);
    EXPECT_TRUE(Act("SaveProjectAs").isEnabled());
    EXPECT_TRUE(Act("CloseProject").isEnabled());
    // No file name yet: Save stays disabled, and Ctrl+S does nothing.
    EXPECT_FALSE(Act("SaveProject").isEnabled());
    Key(Qt::Key_S, Qt::ControlModifier);

    // Save as: the dialog offers the project filter and adds the suffix.
    form->setGeometry(30, 40, 640, 480);
    FileDialogAnswer answer;
    answer.Arm(QString::fromStdString((dir / "first").string()));
    Act("SaveProjectAs").trigger();
    EXPECT_TRUE(answer.seen);
    EXPECT_EQ(answer.filter, "PELDOR Projects (*.pdp)");
    EXPECT_EQ(answer.suffix, "pdp");
    const std::filesystem::path saved = dir / "first.pdp";
    ASSERT_TRUE(std::filesystem::exists(saved));
    EXPECT_EQ(form->windowTitle(), "PELDOR - first.pdp");
    EXPECT_TRUE(Act("SaveProject").isEnabled());
    // Save as writes the window's settings; saving leaves the recent files alone.
    EXPECT_NE(Setting("MainForm", "Width"), "<none>");
    EXPECT_FALSE(Act("mnuMRU1").isEnabled());

    // Ctrl+S writes to the same file.
    std::filesystem::resize_file(saved, 0);
    Key(Qt::Key_S, Qt::ControlModifier);
    EXPECT_GT(std::filesystem::file_size(saved), 0u);

    // Cancelling Open keeps the project; Close empties the window.
    answer.Arm({});
    Act("OpenProject").trigger();
    EXPECT_TRUE(answer.seen);
    EXPECT_NE(ActiveProject(), nullptr);
    Act("CloseProject").trigger();
    EXPECT_EQ(ActiveProject(), nullptr);
    EXPECT_EQ(form->windowTitle(), "PELDOR");
    EXPECT_FALSE(Act("SaveProjectAs").isEnabled());

    // Open puts the file at the head of the recent files, shown by name with the path as hint.
    answer.Arm(QString::fromStdString(saved.string()));
    Key(Qt::Key_O, Qt::ControlModifier);
    ASSERT_NE(ActiveProject(), nullptr);
    EXPECT_EQ(form->windowTitle(), "PELDOR - first.pdp");
    EXPECT_EQ(Act("mnuMRU1").text(), "first.pdp");
    EXPECT_EQ(Act("mnuMRU1").statusTip().toStdString(), saved.string());
    EXPECT_TRUE(Act("mnuMRU1").isEnabled());
    EXPECT_FALSE(Act("mnuMRU2").isEnabled());
}

TEST_F(MainFormTest, RecentFilesKeepTheirOrderRules) {
    const std::string a = Show("a.pdp").string();
    const std::string b = Show("b.pdp").string();
    const std::string c = Show("c.pdp").string();
    WriteIni("[MRU]\nFile1=" + a + "\nFile2=" + b + "\nFile3=" + c + "\n");
    Open();
    EXPECT_EQ(Act("mnuMRU3").text(), "c.pdp");
    EXPECT_FALSE(Act("mnuMRU4").isEnabled());

    // A recent-file item opens the file and leaves the list as it is.
    Act("mnuMRU2").trigger();
    EXPECT_EQ(form->windowTitle(), "PELDOR - b.pdp");
    EXPECT_EQ(controller->RecentFiles()[0], a);

    // Opening entry 0 again changes nothing; opening entry 2 puts it first and keeps the
    // older copy at the end.
    FileDialogAnswer answer;
    answer.Arm(QString::fromStdString(a));
    Act("OpenProject").trigger();
    EXPECT_EQ(controller->RecentFiles(), (std::array<std::string, 4>{a, b, c, ""}));
    answer.Arm(QString::fromStdString(c));
    Act("OpenProject").trigger();
    EXPECT_EQ(controller->RecentFiles(), (std::array<std::string, 4>{c, a, b, c}));
    EXPECT_EQ(Act("mnuMRU4").text(), "c.pdp");

    form->close();
    controller->Shutdown();
    EXPECT_EQ(Setting("MRU", "File1"), c);
    EXPECT_EQ(Setting("MRU", "File4"), c);
}

TEST_F(MainFormTest, DamagedProjectKeepsTheOpenOneAndSaysWhy) {
    const std::filesystem::path good = Show("good.pdp");
    Open();
    ASSERT_TRUE(OpenShow(good));
    std::ofstream(dir / "bad.pdp") << "not a project";
    FileDialogAnswer answer;
    answer.Arm(QString::fromStdString((dir / "bad.pdp").string()));
    Act("OpenProject").trigger();
    EXPECT_EQ(form->windowTitle(), "PELDOR - good.pdp");
    ASSERT_NE(ActiveProject(), nullptr);
    EXPECT_EQ(ActiveProject()->SongCount(), 1);
    ASSERT_FALSE(presenter.boxes.empty());
    EXPECT_NE(presenter.boxes.back().text.find("bad.pdp"), std::string::npos);
}

TEST_F(MainFormTest, ClosingAProjectUnloadsEverySlotPlugin) {
    const std::filesystem::path show = Show("synth.pdp");
    Open("Dummy");
    ASSERT_TRUE(OpenShow(show));
    ASSERT_GE(SlotMap[0].Load(), 0);
    TVstPlugIn* plugin = controller->Vst().VstPlugIns().Items(SlotMap[0]);
    ASSERT_NE(plugin, nullptr);
    EXPECT_FALSE(plugin->DLLFileName().empty());

    Act("CloseProject").trigger();
    for (const auto& entry : SlotMap) {
        EXPECT_EQ(entry.Load(), -1);
    }
    for (std::int32_t i = 0; i < controller->Vst().VstPlugIns().Count(); ++i) {
        EXPECT_TRUE(controller->Vst().VstPlugIns().Items(i)->DLLFileName().empty());
    }
    EXPECT_EQ(form->windowTitle(), "PELDOR");
}

TEST_F(MainFormTest, StatusPanelsHintsAndTimer) {
    const std::filesystem::path show = Show("panels.pdp");
    Open("Dummy");
    form->ApplicationIdle();
    EXPECT_TRUE(form->PanelText(1).endsWith("Hz")) << form->PanelText(1).toStdString();
    EXPECT_FALSE(form->PanelText(2).isEmpty());

    // FormResize: panel 0 gets the width minus 200, less what panels 1-3 grew by to fit
    // their texts.
    form->showNormal();
    form->resize(900, 500);
    QTest::qWait(20);
    int others = 0;
    for (int i = 1; i < 4; ++i) {
        const QLabel* panel = form->Panel(i);
        EXPECT_GE(panel->width(), panel->fontMetrics().horizontalAdvance(panel->text()));
        others += panel->width();
    }
    EXPECT_GE(others, 180);
    EXPECT_EQ(form->Panel(0)->width(), form->width() - 200 - (others - 180));

    // A hint shows in panel 0; without a project it stays ...
    QStatusTipEvent tip("Create a new and empty project");
    QApplication::sendEvent(form.get(), &tip);
    EXPECT_EQ(form->PanelText(0), "Create a new and empty project");
    form->UITimerTimer();
    EXPECT_EQ(form->PanelText(0), "Create a new and empty project");
    // ... with one, every tick without an overload empties it.
    ASSERT_TRUE(OpenShow(show));
    for (int tick = 0; tick < 3; ++tick) {
        QApplication::sendEvent(form.get(), &tip);
        form->UITimerTimer();
        EXPECT_EQ(form->PanelText(0), "");
    }
    EXPECT_TRUE(form->Timer()->isActive());
    EXPECT_EQ(form->Timer()->interval(), 50);
}

TEST_F(MainFormTest, RemoteCommandsFromKeysAndFromTheMidiThread) {
    const std::filesystem::path show = Show("remote.pdp");
    Open();
    TWindowMessagePump pump(
        [this](const TWindowMessage& message) { form->HandleWindowMessage(message); });
    SetWindowPoster(&pump);
    ASSERT_TRUE(OpenShow(show));
    ASSERT_EQ(CurrentPart, 0);

    // Posted from another thread, run by the event loop.
    std::thread midi([] {
        WindowPoster().Post({TWindowTarget::MainWindow, WM_REMOTECOMMAND, 0, 0, {}});
    });
    midi.join();
    EXPECT_TRUE(QTest::qWaitFor([] { return CurrentPart == 1; }, 2000));

    // The options' hotkeys: Up is the previous part.
    Key(Qt::Key_Up);
    EXPECT_EQ(CurrentPart, 0);
    SetWindowPoster(nullptr);
}

/// Shows each message box as a pause of the window thread's event loop, during which it posts a
/// remote command, as a pedal pressed while a box is open would.
class PostingPresenter final : public IMessageBoxPresenter {
public:
    PostingPresenter() { SetMessageBoxPresenter(this); }
    ~PostingPresenter() override { SetMessageBoxPresenter(nullptr); }
    int ShowMessageBox(const std::string&, const std::string&, int, int, int) override {
        WindowPoster().Post({TWindowTarget::MainWindow, WM_REMOTECOMMAND, 0, 0, {}});
        QTest::qWait(200);
        partInsideBox = CurrentPart;
        return kResultOk;
    }
    int ShowInputBox(const std::string&, const std::string&, int, int, int, std::string&) override {
        return kResultOk;
    }
    void SplashStatus(const std::string&) override {}
    std::int32_t partInsideBox = -2;
};

TEST_F(MainFormTest, RemoteCommandDuringAnActionWaitsForItsEnd) {
    const std::filesystem::path show = Show("pedal.pdp");
    Open();
    TWindowMessagePump pump(
        [this](const TWindowMessage& message) { form->HandleWindowMessage(message); });
    SetWindowPoster(&pump);
    ASSERT_TRUE(OpenShow(show));
    ASSERT_EQ(CurrentPart, 0);

    // Saving into a folder that went away fails with a box; the command posted meanwhile must
    // not switch parts inside the save, and runs at the next idle moment.
    std::filesystem::create_directory(dir / "stick");
    FileDialogAnswer answer;
    answer.Arm(QString::fromStdString((dir / "stick" / "gone").string()));
    Act("SaveProjectAs").trigger();
    ASSERT_TRUE(std::filesystem::exists(dir / "stick" / "gone.pdp"));
    std::filesystem::remove_all(dir / "stick");
    {
        PostingPresenter posting;
        Act("SaveProject").trigger();
        EXPECT_EQ(posting.partInsideBox, 0);
    }
    EXPECT_EQ(CurrentPart, 0);
    form->ApplicationIdle();
    EXPECT_EQ(CurrentPart, 1);
    SetWindowPoster(nullptr);
}

TEST_F(MainFormTest, EditActionsApologiseAndHelpOpensThePage) {
    const std::filesystem::path show = Show("edit.pdp");
    Open();
    ASSERT_TRUE(OpenShow(show));
    ASSERT_TRUE(Act("EditCopy").isEnabled());
    Key(Qt::Key_C, Qt::ControlModifier);
    ASSERT_EQ(presenter.CountTitled("Sorry"), 1);
    EXPECT_EQ(presenter.boxes.back().text, "This feature will be implemented in v1.0");

    UrlCatcher catcher;
    Key(Qt::Key_F1);
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_TRUE(catcher.urls.front().toLocalFile().endsWith("peldor_en.html"));
    EXPECT_TRUE(std::filesystem::exists(catcher.urls.front().toLocalFile().toStdString()));
}

TEST_F(MainFormTest, PlacementIsWrittenAtShutDown) {
    WriteIni("[MainForm]\nLeft=20\nTop=30\nWidth=700\nHeight=500\n");
    Open();
    form->showNormal();
    form->setGeometry(50, 60, 720, 520);
    QTest::qWait(20);
    form->close();
    controller->Shutdown();
    EXPECT_EQ(Setting("MainForm", "Left"), "50");
    EXPECT_EQ(Setting("MainForm", "Top"), "60");
    EXPECT_EQ(Setting("MainForm", "Width"), "720");
    EXPECT_EQ(Setting("MainForm", "Height"), "520");
    EXPECT_EQ(Setting("MainForm", "State"), "0");
}

/// The action of a menu (or one of its submenus) with the caption, or null.
QAction* MenuItem(QMenu* menu, const QString& caption) {
    for (QAction* action : menu->actions()) {
        if (action->text() == caption) {
            return action;
        }
        if (action->menu() != nullptr) {
            if (QAction* inner = MenuItem(action->menu(), caption)) {
                return inner;
            }
        }
    }
    return nullptr;
}

TEST_F(MainFormTest, SlotWindowsShowChooseAndPage) {
    const std::filesystem::path show = Show("slots.pdp");
    Open("Dummy");
    TSlotListForm* instruments = form->InstrumentsWindow();
    TSlotListForm* effects = form->EffectsWindow();
    ASSERT_NE(instruments, nullptr);
    ASSERT_NE(effects, nullptr);
    // A first start without settings: the effects window is 444 pixels wide.
    EXPECT_EQ(effects->width(), 444);
    EXPECT_EQ(effects->RowCount(), 4);
    EXPECT_EQ(effects->RowLabel(3)->text(), "VST 4");
    EXPECT_EQ(instruments->RowCount(), 8);

    ASSERT_TRUE(OpenShow(show));
    Key(Qt::Key_F5, Qt::ControlModifier);
    EXPECT_TRUE(instruments->isVisible());
    EXPECT_EQ(instruments->RowLabel(0)->text(), "VSTi 1");
    const QString synth = instruments->RowPlugin(0)->text();
    EXPECT_FALSE(synth.isEmpty());
    EXPECT_TRUE(instruments->RowVisible(0)->isEnabled());
    EXPECT_TRUE(instruments->RowPlugin(1)->text().isEmpty());
    EXPECT_FALSE(instruments->RowVisible(1)->isEnabled());

    // "Visible" shows and hides the slot's editor window.
    QTest::mouseClick(instruments->RowVisible(0), Qt::LeftButton);
    EXPECT_TRUE(core->SlotEditorVisible(0));
    EXPECT_TRUE(instruments->RowVisible(0)->isChecked());
    QTest::mouseClick(instruments->RowVisible(0), Qt::LeftButton);
    EXPECT_FALSE(core->SlotEditorVisible(0));
    EXPECT_FALSE(instruments->RowVisible(0)->isChecked());

    // The choice menu puts the scanned instrument into slot 2 and records it in the song.
    QMenu* menu = instruments->BuildChoiceMenu(1);
    ASSERT_NE(MenuItem(menu, "no instrument"), nullptr);
    QAction* choice = MenuItem(menu, synth);
    ASSERT_NE(choice, nullptr);
    choice->trigger();
    EXPECT_GE(SlotMap[1].Load(), 0);
    EXPECT_EQ(instruments->RowPlugin(1)->text(), synth);
    EXPECT_TRUE(instruments->RowVisible(1)->isEnabled());
    // "no instrument" empties slot 1.
    MenuItem(instruments->BuildChoiceMenu(0), "no instrument")->trigger();
    EXPECT_EQ(SlotMap[0].Load(), -1);
    EXPECT_TRUE(instruments->RowPlugin(0)->text().isEmpty());

    // Page 2 shows slots 9-16.
    QTest::mouseClick(instruments->findChild<QPushButton*>("page2"), Qt::LeftButton);
    EXPECT_EQ(instruments->FirstSlot(), 8);
    EXPECT_EQ(instruments->RowLabel(0)->text(), "VSTi 9");
    EXPECT_EQ(instruments->RowLabel(7)->text(), "VSTi 16");
    EXPECT_TRUE(instruments->RowPlugin(1)->text().isEmpty());

    // Closing the project hides the window; its placement is written when it goes.
    Act("CloseProject").trigger();
    EXPECT_FALSE(instruments->isVisible());
    instruments->move(33, 44);
    form.reset();
    EXPECT_EQ(Setting("VSTiForm", "Left"), "33");
    EXPECT_EQ(Setting("VSTForm", "Width"), "444");
}

/// A widget as drawn: its lightest pixel, its mean lightness and how many pixels are red.
struct Drawn {
    float lightest = 0.0f, mean = 0.0f;
    int red = 0;
};
Drawn Draw(QWidget* widget) {
    const QImage image = widget->grab().toImage();
    Drawn drawn;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            drawn.lightest = std::max(drawn.lightest, c.lightnessF());
            drawn.mean += c.lightnessF() / static_cast<float>(image.width() * image.height());
            drawn.red += c.red() > 200 && c.green() < 110 && c.blue() < 110 ? 1 : 0;
        }
    }
    return drawn;
}

TEST_F(MainFormTest, DarkLookReadsAndOverloadStandsOut) {
    // Light text on dark ground; disabled text still reads but plainly differs.
    const QPalette pal = QApplication::palette();
    for (const auto& [ground, text] : {std::pair{QPalette::Window, QPalette::WindowText},
                                       std::pair{QPalette::Base, QPalette::Text},
                                       std::pair{QPalette::Button, QPalette::ButtonText}}) {
        const float back = pal.color(ground).lightnessF();
        const float disabled = pal.color(QPalette::Disabled, text).lightnessF();
        EXPECT_LT(back, 0.4f) << ground;
        EXPECT_GT(pal.color(text).lightnessF(), back + 0.5f) << text;
        EXPECT_GT(disabled, pal.color(QPalette::Disabled, ground).lightnessF() + 0.25f) << text;
        EXPECT_LT(disabled, pal.color(text).lightnessF() - 0.2f) << text;
    }
    EXPECT_LT(QToolTip::palette().color(QPalette::ToolTipBase).lightnessF(), 0.4f);

    Open("Dummy");
    form->showNormal();
    form->resize(800, 300);
    QTest::qWait(20);
    EXPECT_LT(Draw(form.get()).mean, 0.3f);
    QLabel* hint = form->Panel(0);
    for (const char* text : {"OVERLOAD!", "Open project"}) {
        QStatusTipEvent tip(text);
        QApplication::sendEvent(form.get(), &tip);
        const bool alarm = std::string_view(text) == "OVERLOAD!";
        // Red and bold for the overload only: the next hint reads as an ordinary one.
        EXPECT_EQ(hint->font().bold(), alarm) << text;
        const Drawn drawn = Draw(hint);
        EXPECT_EQ(drawn.red > 20, alarm) << text;
        EXPECT_GT(drawn.lightest, alarm ? 0.5f : 0.8f) << text;
    }
}

TEST_F(MainFormTest, SlotRowsAreDarkAndEmptySlotsDimmer) {
    const std::filesystem::path show = Show("rows.pdp");
    Open("Dummy");
    ASSERT_TRUE(OpenShow(show));
    TSlotListForm* instruments = form->InstrumentsWindow();
    instruments->show();
    QTest::qWait(20);
    ASSERT_TRUE(instruments->RowPlugin(1)->text().isEmpty());
    EXPECT_LT(Draw(instruments).mean, 0.3f);
    const float filled = Draw(instruments->RowLabel(0)).lightest;
    const float empty = Draw(instruments->RowLabel(1)).lightest;
    EXPECT_GT(filled, 0.8f);
    EXPECT_GT(filled, empty + 0.15f);
    EXPECT_GT(empty, 0.35f); // dimmer, not gone
    EXPECT_GT(Draw(instruments->RowPlugin(0)).mean, Draw(instruments->RowPlugin(1)).mean);
    for (int row = 0; row < instruments->RowCount(); ++row) {
        // The plugin field stays clear of the "Visible" switch.
        EXPECT_LT(instruments->RowPlugin(row)->geometry().right(),
                  instruments->RowVisible(row)->geometry().left());
    }
    // Filling a slot brightens its row at once; emptying one dims it.
    MenuItem(instruments->BuildChoiceMenu(1), instruments->RowPlugin(0)->text())->trigger();
    MenuItem(instruments->BuildChoiceMenu(0), "no instrument")->trigger();
    QTest::qWait(20);
    EXPECT_NEAR(Draw(instruments->RowLabel(1)).lightest, filled, 0.05f);
    EXPECT_NEAR(Draw(instruments->RowLabel(0)).lightest, empty, 0.05f);
}

TEST_F(MainFormTest, Screenshot) {
    const std::filesystem::path show = Show("screenshot.pdp");
    Open("Dummy");
    ASSERT_TRUE(OpenShow(show));
    form->showNormal();
    form->resize(800, 300);
    form->ApplicationIdle();
    form->UITimerTimer();
    QTest::qWait(50);
    const char* binary = std::getenv("PELDOR_BINARY_DIR");
    const std::filesystem::path folder =
        std::filesystem::path(binary != nullptr ? binary : ".") / "screenshots";
    std::filesystem::create_directories(folder);
    const QString file = QString::fromStdString((folder / "main_window.png").string());
    ASSERT_TRUE(form->grab().save(file));
    for (TSlotListForm* window : {form->InstrumentsWindow(), form->EffectsWindow()}) {
        window->show();
        QTest::qWait(20);
        const std::string name = window->objectName().toStdString() + ".png";
        EXPECT_TRUE(window->grab().save(QString::fromStdString((folder / name).string())));
    }
}

} // namespace
} // namespace peldor::test

#include "main_form_test.moc"
