// The language switch as a performer uses it: Settings > Language > Deutsch and back, with the
// language files the build puts beside the program, checked in the menus, the instruments
// window, the choice menus, the resource strings and the settings file.

#include "app/main_controller.h"
#include "app/main_window_core.h"
#include "app/settings_file.h"
#include "i18n/localizer.h"
#include "i18n/plugins_strings.h"
#include "i18n/resource_strings.h"
#include "midi/virtual_midi_backend.h"
#include "plugins/plugin_catalogue.h"
#include "plugins/registry_file.h"
#include "project/project_model.h"
#include "tests/plugins/plugin_test_support.h"
#include "tests/support/temp_dir.h"
#include "tests/window/qt_test_app.h"
#include "ui/asio_form.h"
#include "ui/connection_form.h"
#include "ui/main_form.h"
#include "ui/midi_form.h"
#include "ui/mixer_form.h"
#include "ui/plugin_path_window.h"
#include "ui/plugin_problems_form.h"
#include "ui/prj_options_form.h"
#include "ui/project_form.h"
#include "ui/slot_list_form.h"
#include "ui/window_message_pump.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <fstream>

namespace peldor::test {
namespace {

std::filesystem::path BinaryDir() {
    const char* binary = std::getenv("PELDOR_BINARY_DIR");
    return binary != nullptr ? binary : ".";
}

class LanguageSwitchTest : public ::testing::Test {
protected:
    LanguageSwitchTest() {
        EnsureQtApplication();
        SetRegistryFile(dir / "registry.ini");
        CopyTestPlugin("PeldorSynth", dir / "plugins", "PeldorSynth.so");
        TMainController::InitializeProcess();
        UseLanguageFolder(BinaryDir() / "app");
    }
    ~LanguageSwitchTest() override {
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
        GetLocalizer().LoadLanguage(0, false); // no such file: nothing stays loaded
    }

    static void UseLanguageFolder(const std::filesystem::path& folder) {
        GetLocalizer().SetDirectory(QString::fromStdString(folder.string()));
        GetLocalizer().SetBaseName("peldor");
    }

    void Open() {
        TStartOptions options;
        options.IniPath = ini;
        options.PluginFolder = (dir / "plugins").string();
        options.SplashStatusDelayMs = 0;
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

    QAction& Act(const char* name) {
        QAction* action = form->Action(name);
        EXPECT_NE(action, nullptr) << name;
        return *action;
    }

    QString MenuTitle(const char* name) {
        auto* menu = form->menuBar()->findChild<QMenu*>(name);
        return menu != nullptr ? menu->title() : QString("<none: %1>").arg(name);
    }

    QString CloseCaption() {
        return form->InstrumentsWindow()->findChild<QPushButton*>("btnClose")->text();
    }

    /// The audio settings dialog's close button, or a note that it is missing.
    QString AsioCloseCaption() {
        auto* dialog = form->findChild<QWidget*>("ASIOForm");
        auto* close = dialog != nullptr ? dialog->findChild<QPushButton*>("btnClose") : nullptr;
        return close != nullptr ? close->text() : QString("<no audio settings dialog>");
    }

    std::string Setting(const char* section, const char* key) {
        return TSettingsFile(ini).ReadString(section, key, "<none>");
    }

    void Screenshot(QWidget& window, const std::string& name) {
        const std::filesystem::path folder = BinaryDir() / "screenshots";
        std::filesystem::create_directories(folder);
        QTest::qWait(20);
        EXPECT_TRUE(window.grab().save(QString::fromStdString((folder / name).string())));
    }

    void ExpectEnglish() {
        EXPECT_EQ(MenuTitle("mnuFile"), "&File");
        EXPECT_EQ(MenuTitle("mnuView"), "&View");
        EXPECT_EQ(Act("NewProject").text(), "&New Project");
        EXPECT_EQ(Act("NewProject").toolTip(), "New project");
        EXPECT_EQ(Act("NewProject").statusTip(), "Create a new and empty project");
        EXPECT_EQ(Act("Mixer3").text(), "Mixer 3 (Inputs)");
        EXPECT_EQ(CloseCaption(), "Close");
        EXPECT_EQ(AsioCloseCaption(), "Close");
        EXPECT_EQ(LoadResString(kStrNoInstrument), "no instrument");
        ASSERT_FALSE(InstrumentMenu.Items.empty());
        EXPECT_EQ(InstrumentMenu.Items.front().Caption, "no instrument");
        EXPECT_EQ(EffectMenu.Items.front().Caption, "no effect");
        EXPECT_TRUE(Act("LANG_ENGLISH").isChecked());
        EXPECT_FALSE(Act("LANG_GERMAN").isChecked());
    }

    void ExpectGermanWindows() {
        EXPECT_EQ(MenuTitle("mnuFile"), "&Datei");
        EXPECT_EQ(MenuTitle("mnuView"), "&Ansicht");
        EXPECT_EQ(Act("NewProject").text(), "&Neues Projekt");
        EXPECT_EQ(Act("NewProject").toolTip(), "Neues Projekt");
        EXPECT_EQ(Act("NewProject").statusTip(), "Ein neues, leeres Projekt anlegen");
        EXPECT_EQ(Act("Mixer3").text(), "Mischpult 3 (Eingänge)");
        EXPECT_EQ(CloseCaption(), "Schließen");
        EXPECT_EQ(AsioCloseCaption(), "Schließen");
        // The language menu's own items name each language in itself.
        EXPECT_EQ(Act("LANG_ENGLISH").text(), "English");
        EXPECT_EQ(Act("LANG_GERMAN").text(), "Deutsch");
    }

    TempDir dir{"peldor-language"};
    std::filesystem::path ini = dir / "peldor.ini";
    RecordingPresenter presenter;
    std::unique_ptr<TMainController> controller;
    std::unique_ptr<TMainWindowCore> core;
    std::unique_ptr<TMainForm> form;
};

TEST_F(LanguageSwitchTest, EnglishGermanEnglishRetranslatesTheOpenWindows) {
    Open();
    ExpectEnglish();

    form->InstrumentsWindow()->show();
    Act("LANG_GERMAN").trigger();
    ExpectGermanWindows();
    EXPECT_TRUE(Act("LANG_GERMAN").isChecked());
    EXPECT_FALSE(Act("LANG_ENGLISH").isChecked());
    EXPECT_EQ(Setting("General", "Language"), "1031");
    EXPECT_EQ(LoadResString(kStrNoInstrument), "kein Instrument");
    EXPECT_EQ(InstrumentMenu.Items.front().Caption, "kein Instrument");
    EXPECT_EQ(EffectMenu.Items.front().Caption, "kein Effekt");
    // A choice menu built now offers the German item first.
    QMenu* choice = form->InstrumentsWindow()->BuildChoiceMenu(0);
    EXPECT_EQ(choice->actions().front()->text(), "kein Instrument");
    delete choice;

    form->showNormal();
    form->resize(900, 300);
    form->ApplicationIdle();
    Screenshot(*form, "main_window_de.png");
    Screenshot(*form->InstrumentsWindow(), "VSTiForm_de.png");

    Act("LANG_ENGLISH").trigger();
    ExpectEnglish();
    EXPECT_EQ(Setting("General", "Language"), "1033");
    EXPECT_TRUE(presenter.boxes.empty());
}

TEST_F(LanguageSwitchTest, WindowsOpenedAfterTheSwitchSpeakItAndFollowItBack) {
    Open();
    Act("LANG_GERMAN").trigger();
    // Windows made after the switch: a mixer, the plugin problems window, the help page.
    core->NewProject();
    form->ApplicationIdle();
    Act("Mixer2").trigger();
    TMixerForm* mixer = form->Mixer(2);
    ASSERT_NE(mixer, nullptr);
    EXPECT_EQ(mixer->windowTitle(), "Mischpult 2 - Summen");
    EXPECT_EQ(mixer->findChild<QObject*>("oscsine")->property("OffCaption").toString(), "Rauschen");
    mixer->resize(mixer->sizeHint().expandedTo(mixer->size()));
    Screenshot(*mixer, "Mixer2Form_de.png");
    for (const char* action : {"Project_Settings", "MIDI_Settings"}) {
        Act(action).trigger();
    }
    auto* pages = form->ProjectOptionsWindow()->findChild<QTabWidget*>("PageControl");
    ASSERT_NE(pages, nullptr);
    EXPECT_EQ(pages->tabText(2), "Fernsteuerung");
    for (int page = 0; page < pages->count(); ++page) {
        pages->setCurrentIndex(page);
        Screenshot(*form->ProjectOptionsWindow(),
                   "PrjOptionsForm" + std::to_string(page) + "_de.png");
    }
    Screenshot(*form->MidiSettingsWindow(), "MIDIForm_de.png");
    form->AsioWindow()->show();
    Screenshot(*form->AsioWindow(), "ASIOForm_de.png");
    TPluginProblemsForm problems(*core);
    EXPECT_EQ(problems.windowTitle(), "Plugin-Probleme");
    EXPECT_EQ(problems.findChild<QPushButton*>("btnClose")->text(), "Schließen");
    EXPECT_EQ(problems.Summary()->text(), "Jede Bibliothek wurde gelesen.");
    EXPECT_EQ(problems.List()->headerItem()->text(1), "Grund");
    EXPECT_TRUE(FindHelpPage(kLanguageCodeGerman).filename() == "peldor_de.html");
    problems.show();
    Screenshot(problems, "PluginProblemsForm_de.png");
    TPluginPathForm pathForm;
    TPluginPathWindow pathWindow(pathForm);
    EXPECT_EQ(pathWindow.findChild<QPushButton*>("btnPick")->text(), "Plugin-Ordner auswählen");
    pathWindow.show();
    Screenshot(pathWindow, "PluginPathForm_de.png");

    // The project window and the inspector; the names their boxes preset are saved into the
    // show and stay as they are.
    Act("ViewProject").trigger();
    TProjectForm* project = form->ProjectWindow();
    ASSERT_NE(project, nullptr);
    EXPECT_EQ(project->findChild<QLabel*>("lblConns")->text(), "Verbindungen");
    project->AddConnClick();
    project->AddConnClick();
    ASSERT_FALSE(presenter.boxes.empty());
    EXPECT_EQ(presenter.boxes.back().title, "Name der Verbindung");
    EXPECT_EQ(presenter.boxes.back().text, "Bitte geben Sie der Verbindung einen Namen");
    EXPECT_EQ(ActiveProject()->CurrentPartObject()->ConnectionAt(1)->Name, "new connection");
    Act("ViewInspector").trigger();
    TInspectorForm* inspector = form->InspectorWindow();
    ASSERT_NE(inspector, nullptr);
    auto* outputs = inspector->findChild<QComboBox*>("cmbOut");
    EXPECT_EQ(outputs->currentText(), "Ausgang 1");
    EXPECT_EQ(outputs->itemText(16), "VSTi 1");
    Screenshot(*project, "ProjectForm_de.png");
    Screenshot(*inspector, "Inspector_de.png");

    Act("LANG_ENGLISH").trigger();
    EXPECT_EQ(project->findChild<QLabel*>("lblConns")->text(), "Connections");
    // The connections' buttons follow their caption's new width, as a fresh layout places them.
    auto* addConnection = project->findChild<QPushButton*>("btnAddConn");
    const int switchedLeft = addConnection->x();
    project->resize(project->width() + 1, project->height());
    project->resize(project->width() - 1, project->height());
    EXPECT_EQ(addConnection->x(), switchedLeft);
    EXPECT_EQ(outputs->currentText(), "Output 1");
    EXPECT_EQ(inspector->findChild<QGroupBox*>("grpProc")->title(), "MIDI Processing");
    Screenshot(*project, "ProjectForm_en.png");
    Screenshot(*inspector, "Inspector_en.png");
    EXPECT_EQ(mixer->windowTitle(), "Mixer 2 - Masters");
    EXPECT_EQ(pages->tabText(2), "Remote");
    EXPECT_EQ(mixer->findChild<QObject*>("oscsine")->property("OffCaption").toString(), "noise");
    EXPECT_EQ(problems.windowTitle(), "Plugin problems");
    EXPECT_EQ(problems.Summary()->text(), "Every library was read.");
    EXPECT_EQ(problems.List()->headerItem()->text(1), "Reason");
    EXPECT_TRUE(FindHelpPage(kLanguageCodeEnglish).filename() == "peldor_en.html");
}

TEST_F(LanguageSwitchTest, StoredGermanTranslatesAtStartUp) {
    std::ofstream(ini) << "[General]\nLanguage=1031\n";
    Open();
    ExpectGermanWindows();
    EXPECT_TRUE(Act("LANG_GERMAN").isChecked());
    EXPECT_EQ(InstrumentMenu.Items.front().Caption, "kein Instrument");
}

TEST_F(LanguageSwitchTest, EnglishWithoutItsFileLeavesWindowsGermanAndStringsEnglish) {
    std::filesystem::copy_file(BinaryDir() / "app" / "peldor.0407.wlx", dir / "peldor.0407.wlx");
    UseLanguageFolder(dir.Path());
    Open();
    Act("LANG_GERMAN").trigger();
    ExpectGermanWindows();

    Act("LANG_ENGLISH").trigger();
    ExpectGermanWindows();
    EXPECT_FALSE(GetLocalizer().IsActive());
    EXPECT_EQ(LoadResString(kStrNoInstrument), "no instrument");
    EXPECT_EQ(InstrumentMenu.Items.front().Caption, "no instrument");
    EXPECT_TRUE(Act("LANG_ENGLISH").isChecked());
    EXPECT_EQ(Setting("General", "Language"), "1033");
}

} // namespace
} // namespace peldor::test
