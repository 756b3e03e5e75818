#include "ui/main_form.h"

#include "i18n/common_strings.h"
#include "i18n/message_box.h"
#include "i18n/resource_strings.h"
#include "i18n/ui_strings.h"
#include "midi/window_messages.h"
#include "project/project_options.h"
#include "ui/about_form.h"
#include "ui/asio_form.h"
#include "ui/connection_form.h"
#include "ui/flat_style.h"
#include "ui/hotkey.h"
#include "ui/instrument_form.h"
#include "ui/language_switch.h"
#include "ui/midi_form.h"
#include "ui/mixer1_form.h"
#include "ui/mixer2_form.h"
#include "ui/mixer34_form.h"
#include "ui/plugin_path_window.h"
#include "ui/plugin_problems_form.h"
#include "ui/prj_options_form.h"
#include "ui/project_form.h"
#include "ui/remote_keys.h"
#include "ui/slot_list_form.h"
#include "ui/splash_form.h"
#include "ui/title_bar.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace peldor {
namespace {

/// Status panel widths; panel 0 takes what is left (FormResize).
constexpr std::array<int, 4> kPanelWidths{100, 80, 50, 50};
/// What the status bar's frames and gaps take: panel 0 is the window width minus 200 while
/// panels 1-3 keep their 180.
constexpr int kPanelSpacing = 20;
constexpr const char* kProgramName = "PELDOR";
/// The engine's only run-time warning, drawn so that it is seen from the stage.
constexpr const char* kOverloadText = "OVERLOAD!";
/// The status panels are read from a distance: a size above the menus'.
constexpr int kPanelFontPx = 15;

struct TRemoteAction {
    const char* Name;
    const char* Caption;
    const char* Hint;
};
constexpr std::array<TRemoteAction, kRemoteActionCount> kRemoteActions{{
    {"RemoteNextPart", "Next part", "Next part|Step to the next part"},
    {"RemotePrevPart", "Previous part", "Previous part|Step to the previous part"},
    {"RemoteNextSong", "Next song", "Next song|Step to the first part of the next song"},
    {"RemotePrevSong", "Previous song",
     "Previous song|Step to the first part of the previous song"},
    {"RemotePanic", "All notes off",
     "All notes off|Send \"All notes off\" through every connection"},
}};

/// The menu bar and the status bar a shade darker than the client area they frame.
void SetBarGround(QWidget& bar) {
    QPalette pal = bar.palette();
    pal.setColor(QPalette::Window, style::kTitleBack);
    bar.setPalette(pal);
    bar.setAutoFillBackground(true);
}

std::filesystem::path ExistingPage(const std::filesystem::path& folder, const char* file) {
    std::error_code ec;
    const std::filesystem::path page = folder / file;
    return std::filesystem::is_regular_file(page, ec) ? page : std::filesystem::path{};
}

} // namespace

std::filesystem::path FindHelpPage(std::int16_t languageCode) {
    std::vector<std::filesystem::path> folders;
    if (const char* dir = std::getenv("PELDOR_HELP_DIR"); dir != nullptr && *dir != '\0') {
        folders.emplace_back(dir);
    }
    // The running program's folder, also before (or without) a QApplication.
    std::error_code ec;
    const std::filesystem::path program =
        std::filesystem::read_symlink("/proc/self/exe", ec).parent_path();
    folders.push_back(program / "help");
    folders.push_back(program / ".." / "share" / "peldor" / "help");
#ifdef PELDOR_SOURCE_HELP_DIR
    folders.emplace_back(PELDOR_SOURCE_HELP_DIR);
#endif
    const char* const preferred =
        languageCode == kLanguageCodeGerman ? "peldor_de.html" : "peldor_en.html";
    for (const char* file : {preferred, "peldor_en.html"}) {
        for (const std::filesystem::path& folder : folders) {
            if (std::filesystem::path page = ExistingPage(folder, file); !page.empty()) {
                return page;
            }
        }
    }
    return {};
}

TMainForm::TMainForm(IMainWindowCore& theCore, QWidget* parent)
    : QMainWindow(parent), core(theCore) {
    setObjectName("MainForm");
    setWindowTitle(kProgramName);
    BuildMenu();
    HookSettingsDialogs();
    BuildStatusBar();

    uiTimer = new QTimer(this);
    uiTimer->setObjectName("UITimer");
    uiTimer->setInterval(std::chrono::milliseconds(50));
    connect(uiTimer, &QTimer::timeout, this, &TMainForm::UITimerTimer);
    uiTimer->start();

    // The idle handler runs whenever the event loop has nothing left to do.
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance()) {
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                &TMainForm::ApplicationIdle);
    }
    core.SetViews(this);
    keptLayout = core.SetWindowLayout(this);
    editorFactory = std::make_unique<TInstrumentFormFactory>(&core);
    SetEditorWindowFactory(editorFactory.get());
    InstallWidgetLocalizer();
}

TMainForm::~TMainForm() {
    SetRemoteKeys({});
    SetEditorWindowFactory(nullptr);
    core.SetSlotRefresh({}, {});
    core.SetViews(nullptr);
    core.SetWindowLayout(nullptr);
    while (busyDepth > 0) {
        SetBusyCursor(false);
    }
}

QAction* TMainForm::AddAction(QMenu* menu, const char* name, const QString& caption,
                              const QString& hint, const QKeySequence& shortcut) {
    auto* action = new QAction(caption, this);
    action->setObjectName(name);
    // The hint's short part is the tooltip, the long part goes to status panel 0.
    const qsizetype bar = hint.indexOf('|');
    action->setToolTip(bar < 0 ? hint : hint.left(bar));
    action->setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
    if (!shortcut.isEmpty()) {
        action->setShortcut(shortcut);
    }
    if (menu != nullptr) {
        menu->addAction(action);
    }
    addAction(action);
    return action;
}

void TMainForm::BuildMenu() {
    QMenuBar* bar = menuBar();
    bar->setObjectName("Menu");
    SetBarGround(*bar);

    QMenu* file = bar->addMenu("&File");
    file->setObjectName("mnuFile");
    file->setToolTipsVisible(true);
    connect(AddAction(file, "NewProject", "&New Project",
                      "New project|Create a new and empty project", QKeySequence("Ctrl+N")),
            &QAction::triggered, this, &TMainForm::NewProjectExecute);
    connect(AddAction(file, "OpenProject", "&Open...", "Open project|Open an existing project",
                      QKeySequence("Ctrl+O")),
            &QAction::triggered, this, &TMainForm::OpenProjectExecute);
    file->addSeparator();
    connect(AddAction(file, "SaveProject", "&Save", "Save project|Save the project to its file",
                      QKeySequence("Ctrl+S")),
            &QAction::triggered, this, &TMainForm::SaveProjectExecute);
    connect(AddAction(file, "SaveProjectAs", "Save &as...",
                      "Save project as|Save the project under a new name"),
            &QAction::triggered, this, &TMainForm::SaveProjectAsExecute);
    connect(AddAction(file, "CloseProject", "&Close", "Close project|Close the project"),
            &QAction::triggered, this, &TMainForm::CloseProjectExecute);
    file->addSeparator();
    QMenu* recent = file->addMenu("Most recently used");
    recent->setObjectName("mnuMRU");
    recent->setToolTipsVisible(true);
    for (int i = 0; i < kRecentFileItems; ++i) {
        const QString name = QString("mnuMRU%1").arg(i + 1);
        QAction* item =
            AddAction(recent, name.toUtf8().constData(), QString("Last project %1").arg(i + 1), {});
        item->setData(i);
        connect(item, &QAction::triggered, this, [this, i] { MRUOpen(i); });
        recentItems[static_cast<std::size_t>(i)] = item;
    }
    file->addSeparator();
    connect(AddAction(file, "ExitApp", "&Exit", "Exit|Exit PELDOR", QKeySequence("Alt+F4")),
            &QAction::triggered, this, &TMainForm::ExitAppExecute);

    QMenu* edit = bar->addMenu("&Edit");
    edit->setObjectName("mnuEdit");
    edit->setToolTipsVisible(true);
    for (const auto& [name, caption, key] :
         {std::tuple{"EditCut", "Cu&t", "Ctrl+X"}, std::tuple{"EditCopy", "&Copy", "Ctrl+C"},
          std::tuple{"EditPaste", "&Paste", "Ctrl+V"}}) {
        const QString plain = QString(caption).remove('&');
        connect(AddAction(edit, name, caption, plain + "|" + plain, QKeySequence(key)),
                &QAction::triggered, this, &TMainForm::ShowSorry);
    }

    QMenu* view = bar->addMenu("&View");
    view->setObjectName("mnuView");
    view->setToolTipsVisible(true);
    const char* mixerNames[] = {"Mixer1", "Mixer2", "Mixer3", "Mixer4"};
    const char* mixerCaptions[] = {"Mixer 1 (MIDI)", "Mixer 2 (Master)", "Mixer 3 (Inputs)",
                                   "Mixer 4 (VSTi)"};
    for (int i = 0; i < 4; ++i) {
        QAction* mixerAction = AddAction(view, mixerNames[i], mixerCaptions[i],
                                         QString("%1|Show or hide %1").arg(mixerCaptions[i]),
                                         QKeySequence(QString("Ctrl+F%1").arg(i + 1)));
        mixerAction->setCheckable(true);
        connect(mixerAction, &QAction::triggered, this, [this, i] { ToggleMixer(i + 1); });
    }
    view->addSeparator();
    connect(AddAction(view, "VSTI_List", "VST Instruments",
                      "VST Instruments|Show or hide the instruments window",
                      QKeySequence("Ctrl+F5")),
            &QAction::triggered, this, [this] { ToggleWindow(instrumentsForm); });
    connect(AddAction(view, "VST_effects", "VST effects",
                      "VST effects|Show or hide the effects window", QKeySequence("Ctrl+F6")),
            &QAction::triggered, this, [this] { ToggleWindow(effectsForm); });
    view->addSeparator();
    QAction* inspectorAction =
        AddAction(view, "ViewInspector", "Inspector", "Inspector|Show or hide the inspector",
                  QKeySequence("Ctrl+F7"));
    inspectorAction->setCheckable(true);
    connect(inspectorAction, &QAction::triggered, this, [this, inspectorAction] {
        ToggleWindow(EnsureInspectorWindow());
        inspectorAction->setChecked(inspectorForm->isVisible());
    });
    view->addSeparator();
    QAction* projectAction =
        AddAction(view, "ViewProject", "Project", "Project|Show or hide the project window",
                  QKeySequence("Ctrl+F8"));
    projectAction->setCheckable(true);
    connect(projectAction, &QAction::triggered, this, [this, projectAction] {
        ToggleWindow(EnsureProjectWindow());
        projectAction->setChecked(projectForm->isVisible());
    });

    QMenu* settings = bar->addMenu("&Settings");
    settings->setObjectName("mnuSettings");
    settings->setToolTipsVisible(true);
    QAction* asioAction = AddAction(settings, "ASIO_Settings", "ASIO",
                                    "Audio settings|Choose the audio driver and its channels");
    asioAction->setCheckable(true);
    connect(asioAction, &QAction::triggered, this, [this, asioAction] {
        ToggleWindow(asioForm);
        asioAction->setChecked(asioForm != nullptr && asioForm->isVisible());
    });
    AddAction(settings, "MIDI_Settings", "MIDI", "MIDI settings|Choose the MIDI devices");
    AddAction(settings, "Project_Settings", "Project", "Project settings|Edit the project options");
    connect(AddAction(settings, "PluginFolder", "Plugin folder...",
                      "Plugin folder|Choose the folder the plugins are read from"),
            &QAction::triggered, this, &TMainForm::PluginFolderExecute);
    connect(AddAction(settings, "RescanPlugins", "Rescan plugins",
                      "Rescan plugins|Read every plugin library again and list those that fail"),
            &QAction::triggered, this, &TMainForm::RescanPluginsExecute);
    settings->addSeparator();
    QMenu* language = settings->addMenu("Language");
    language->setObjectName("mnuLanguage");
    languages = new QActionGroup(this);
    for (const auto& [name, caption, code] :
         {std::tuple{"LANG_ENGLISH", "English", kLanguageCodeEnglish},
          std::tuple{"LANG_GERMAN", "Deutsch", kLanguageCodeGerman}}) {
        QAction* item = AddAction(language, name, caption, QString(caption) + "|" + caption);
        item->setCheckable(true);
        item->setActionGroup(languages);
        const std::int16_t languageCode = code;
        connect(item, &QAction::triggered, this,
                [this, languageCode] { LanguageExecute(languageCode); });
    }

    QMenu* window = bar->addMenu("&Window");
    window->setObjectName("mnuWindow");
    for (const auto& [name, caption] :
         {std::pair{"WindowNext", "Next"}, std::pair{"WindowPrev", "Previous"}}) {
        AddAction(window, name, caption, QString(caption) + "|" + caption)->setEnabled(false);
    }

    QMenu* help = bar->addMenu("&Help");
    help->setObjectName("mnuHelp");
    help->setToolTipsVisible(true);
    connect(
        AddAction(help, "HelpContents", "Contents", "Help|Show the help page", QKeySequence("F1")),
        &QAction::triggered, this, &TMainForm::HelpContentsExecute);
    help->addSeparator();
    connect(AddAction(help, "AppAbout", "About", "About|About PELDOR"), &QAction::triggered, this,
            &TMainForm::AppAboutExecute);

    // The remote actions have no menu; their shortcuts work in every window of the program
    // (slot windows, mixers, dialogs), except for keys a focused text field, list, spin box
    // or drop-down needs (the guard hands those back).
    InstallRemoteKeyGuard();
    for (int i = 0; i < kRemoteActionCount; ++i) {
        const TRemoteAction& remote = kRemoteActions[static_cast<std::size_t>(i)];
        QAction* action = AddAction(nullptr, remote.Name, remote.Caption, remote.Hint);
        action->setShortcutContext(Qt::ApplicationShortcut);
        connect(action, &QAction::triggered, this, [this, i] {
            const ActionScope scope(*this);
            core.RunRemoteCommand(i);
        });
    }
}

void TMainForm::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName("status");
    SetBarGround(*bar);
    bar->setSizeGripEnabled(false);
    for (std::size_t i = 0; i < panels.size(); ++i) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(QString("StatusPanel%1").arg(i));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setFont(style::SansFont(kPanelFontPx));
        panel->setFixedWidth(kPanelWidths[i]);
        if (i > 0) {
            panel->setAlignment(Qt::AlignCenter);
        }
        bar->addWidget(panel);
        panels[i] = panel;
    }
}

void TMainForm::LoadFromCore() {
    const TMainWindowPlacement placement = core.Placement();
    setGeometry(placement.Left, placement.Top, placement.Width, placement.Height);
    const bool german = core.LanguageCode() == kLanguageCodeGerman;
    Action(german ? "LANG_GERMAN" : "LANG_ENGLISH")->setChecked(true);
    ApplyRemoteHotkeys();
    RefreshFromCore();
    const std::array<std::string, 4> texts = core.StatusPanels();
    ShowHint(QString::fromStdString(texts[0]));
    for (std::size_t i = 1; i < panels.size(); ++i) {
        panels[i]->setText(QString::fromStdString(texts[i]));
    }
    FitPanels();
    // The instruments and effects windows, with the menus the plugin scan built.
    if (instrumentsForm == nullptr) {
        instrumentsForm = new TSlotListForm(core, true, this);
        effectsForm = new TSlotListForm(core, false, this);
        core.SetSlotRefresh([this] { instrumentsForm->RefreshSlots(); },
                            [this] { effectsForm->RefreshSlots(); });
    }
    // The audio settings dialog: its creation passes the stored settings through its handlers.
    if (asioForm == nullptr && core.AudioSettings() != nullptr) {
        asioForm = new TASIOForm(core, *core.AudioSettings(), this);
        asioForm->OnVisibleChanged = [this](bool visible) {
            Action("ASIO_Settings")->setChecked(visible);
        };
    }
    // The stored language, now that the windows it translates exist.
    SwitchWindowsLanguage(core.LanguageCode());
    loaded = true;
}

void TMainForm::ToggleWindow(QWidget* window) {
    if (window == nullptr) {
        return;
    }
    if (window->isVisible()) {
        window->hide();
    } else {
        window->show();
        window->raise();
    }
}

void TMainForm::ToggleMixer(int n) {
    TMixerForm* mixer = EnsureMixer(n);
    if (mixer == nullptr) {
        return;
    }
    ToggleWindow(mixer);
    Action(QString("Mixer%1").arg(n))->setChecked(mixer->isVisible());
}

TMixerForm* TMainForm::EnsureMixer(int n) {
    IMixerCore* mixerCore = core.Mixers();
    if (n < 1 || n > static_cast<int>(mixers.size()) || mixerCore == nullptr) {
        return nullptr;
    }
    TMixerForm*& mixer = mixers[static_cast<std::size_t>(n - 1)];
    QAction* action = Action(QString("Mixer%1").arg(n));
    if (mixer == nullptr) {
        TMixerHooks hooks;
        hooks.UpdateMixers = [this](int group) { UpdateMixers(group); };
        hooks.ShowHint = [this](const QString& text) { ShowHint(text); };
        switch (n) {
        case 1:
            mixer = new TMixer1Form(*mixerCore, std::move(hooks), this);
            break;
        case 2:
            mixer = new TMixer2Form(*mixerCore, std::move(hooks), this);
            break;
        case 3:
            mixer = new TMixer3Form(*mixerCore, std::move(hooks), this);
            break;
        default:
            mixer = new TMixer4Form(*mixerCore, std::move(hooks), this);
            break;
        }
        connect(mixer, &TMixerForm::VisibilityChanged, action, &QAction::setChecked);
        TranslateWindow(mixer);
    }
    return mixer;
}

TWindowLayoutRecord TMainForm::Placement(int window) {
    const int n = window - kLayoutMixer1 + 1;
    if (n >= 1 && n <= static_cast<int>(mixers.size()) && core.Mixers() != nullptr) {
        TWindowLayoutRecord record;
        if (const TMixerForm* mixer = mixers[static_cast<std::size_t>(n - 1)]) {
            record.Exists = 1;
            record.Left = mixer->x();
            record.Top = mixer->y();
            record.Width = mixer->width();
            record.Height = mixer->height();
            record.Visible = mixer->isVisible() ? 1 : 0;
        }
        return record;
    }
    return keptLayout != nullptr ? keptLayout->Placement(window) : TWindowLayoutRecord{};
}

void TMainForm::Place(int window, const TWindowLayoutRecord& record) {
    const int n = window - kLayoutMixer1 + 1;
    TMixerForm* mixer = n >= 1 && n <= static_cast<int>(mixers.size()) ? EnsureMixer(n) : nullptr;
    if (mixer == nullptr) {
        if (keptLayout != nullptr) {
            keptLayout->Place(window, record);
        }
        return;
    }
    // A record from another machine or a damaged file: never smaller than the window allows,
    // never larger than the screen, and never out of reach of the mouse.
    QRect rect(record.Left, record.Top, std::max(record.Width, mixer->minimumWidth()),
               std::max(record.Height, mixer->minimumHeight()));
    const QScreen* screen = QGuiApplication::screenAt(rect.center());
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen != nullptr) {
        const QRect area = screen->availableGeometry();
        rect.setSize(rect.size().boundedTo(area.size()).expandedTo(mixer->minimumSize()));
        if (!area.intersects(rect.adjusted(0, 0, 0, -(rect.height() - TTitleBar::kHeight)))) {
            rect.moveTopLeft(area.topLeft());
        }
    }
    mixer->setGeometry(rect);
    mixer->setVisible(record.Visible != 0);
    Action(QString("Mixer%1").arg(n))->setChecked(mixer->isVisible());
}

TMixerForm* TMainForm::Mixer(int n) const {
    return n >= 1 && n <= static_cast<int>(mixers.size()) ? mixers[static_cast<std::size_t>(n - 1)]
                                                          : nullptr;
}

void TMainForm::UpdateMixers(int group) {
    for (TMixerForm* mixer : mixers) {
        if (mixer != nullptr) {
            mixer->UpdateControls(group);
        }
    }
}

void TMainForm::UpdateAllMixers() {
    for (int group = 0; group < kGroupCount; ++group) {
        UpdateMixers(group);
    }
}

void TMainForm::HookSettingsDialogs() {
    // Created on first use, then shown and hidden; the menu's check marks follow them.
    QAction* midi = Action("MIDI_Settings");
    midi->setCheckable(true);
    connect(midi, &QAction::triggered, this, &TMainForm::ToggleMidiSettings);
    QAction* project = Action("Project_Settings");
    project->setCheckable(true);
    connect(project, &QAction::triggered, this, &TMainForm::ToggleProjectOptions);
}

void TMainForm::ToggleProjectOptions() {
    if (optionsForm == nullptr) {
        optionsForm = new TPrjOptionsForm([this] { ApplyRemoteHotkeys(); }, this);
        connect(optionsForm, &TPrjOptionsForm::VisibleChanged, Action("Project_Settings"),
                &QAction::setChecked);
        TranslateWindow(optionsForm);
    }
    ToggleWindow(optionsForm);
    Action("Project_Settings")->setChecked(optionsForm->isVisible());
}

void TMainForm::ToggleMidiSettings() {
    if (midiForm == nullptr) {
        midiForm = new TMIDIForm(core, this);
        connect(midiForm, &TMIDIForm::VisibleChanged, Action("MIDI_Settings"),
                &QAction::setChecked);
        TranslateWindow(midiForm);
    }
    ToggleWindow(midiForm);
    Action("MIDI_Settings")->setChecked(midiForm->isVisible());
}

void TMainForm::HideSettingsDialogs() {
    for (QWidget* window : {static_cast<QWidget*>(midiForm), static_cast<QWidget*>(optionsForm)}) {
        if (window != nullptr) {
            window->hide();
        }
    }
}

void TMainForm::ApplyRemoteHotkeys() {
    const bool enabled = ProjectOptions().HotkeysEnabled != 0;
    std::vector<QKeySequence> keys;
    for (int i = 0; i < kRemoteActionCount; ++i) {
        const QKeySequence key =
            enabled ? HotkeyToKeySequence(core.RemoteHotkey(i)) : QKeySequence();
        Action(kRemoteActions[static_cast<std::size_t>(i)].Name)->setShortcut(key);
        if (!key.isEmpty()) {
            keys.push_back(key);
        }
    }
    // The same keys reach the actions from inside the plugins' own editors.
    SetRemoteKeys(keys);
}

void TMainForm::ShowMaximisedWithPlacement() {
    showMaximized();
}

QAction* TMainForm::Action(const QString& name) const {
    return findChild<QAction*>(name, Qt::FindDirectChildrenOnly);
}

QString TMainForm::PanelText(int panel) const {
    return panels[static_cast<std::size_t>(panel)]->text();
}

// ---- Menu state, idle, timer ----------------------------------------------------------------

void TMainForm::UpdateMenuEntries() {
    const TMainMenuEntries entries = core.MenuEntries();
    const auto enable = [this](const char* name, bool enabled) {
        if (QAction* action = Action(name); action != nullptr && action->isEnabled() != enabled) {
            action->setEnabled(enabled);
        }
    };
    enable("CloseProject", entries.Close);
    enable("SaveProjectAs", entries.SaveAs);
    enable("SaveProject", entries.Save);
    enable("MIDI_Settings", entries.MidiSettings);
    enable("Project_Settings", entries.ProjectSettings);
    // Projects name their plugins by their place in the scan's lists: no rescan under one.
    enable("PluginFolder", !core.ProjectOpen());
    enable("RescanPlugins", !core.ProjectOpen());
    enable("VST_effects", entries.VstEffects);
    enable("VSTI_List", entries.VstInstruments);
    for (const char* mixer : {"Mixer1", "Mixer2", "Mixer3", "Mixer4"}) {
        enable(mixer, entries.Mixers);
    }
    enable("ViewProject", entries.ProjectWindow);
    enable("ViewInspector", entries.Inspector);
    enable("EditCut", entries.Cut);
    enable("EditCopy", entries.Copy);
    enable("EditPaste", entries.Paste);
    for (std::size_t i = 0; i < recentItems.size(); ++i) {
        QAction* item = recentItems[i];
        const QString caption = QString::fromStdString(entries.RecentCaption[i]);
        const QString hint = QString::fromStdString(entries.RecentHint[i]);
        if (item->text() != caption) {
            item->setText(caption);
        }
        if (item->toolTip() != hint || item->statusTip() != hint) {
            item->setToolTip(hint);
            item->setStatusTip(hint);
        }
        if (item->isEnabled() != entries.RecentEnabled[i]) {
            item->setEnabled(entries.RecentEnabled[i]);
        }
    }
}

void TMainForm::RefreshFromCore() {
    const QString caption = QString::fromStdString(core.Caption());
    if (windowTitle() != caption) {
        setWindowTitle(caption);
    }
    const std::array<std::string, 4> texts = core.StatusPanels();
    for (std::size_t i = 1; i < panels.size(); ++i) {
        const QString text = QString::fromStdString(texts[i]);
        if (panels[i]->text() != text) {
            panels[i]->setText(text);
            FitPanels();
        }
    }
    UpdateMenuEntries();
}

void TMainForm::ApplicationIdle() {
    // A message box shown from inside the idle handler runs its own loop, which is idle too;
    // so does one shown in the middle of an action, which may hold the driver stopped.
    if (inIdle || closing || !loaded || actionDepth > 0) {
        return;
    }
    inIdle = true;
    core.Idle();
    RunDeferredMessages();
    RefreshFromCore();
    // The first idle moment after start-up: the driver runs, the splash window goes.
    if (TSplashForm* splash = TSplashForm::Current(); splash != nullptr && !splash->Fading()) {
        splash->FadeOut();
    }
    inIdle = false;
}

void TMainForm::UITimerTimer() {
    // Inside an action (a message box's loop) the plugins may be half replaced.
    if (closing || actionDepth > 0) {
        return;
    }
    core.Timer();
    // The inspector's edits reach the connection.
    if (inspectorForm != nullptr) {
        inspectorForm->StoreIfEnabled();
    }
    if (core.ProjectOpen()) {
        // "OVERLOAD!" while the engine's flag is set, otherwise empty: a hint lasts one tick.
        ShowHint(QString::fromStdString(core.StatusPanels()[0]));
    }
    RefreshFromCore();
    // The meters of the visible mixers 2-4 (Mixer 1 has none).
    if (core.ProjectOpen()) {
        for (TMixerForm* mixer : mixers) {
            if (mixer != nullptr && mixer->isVisible()) {
                mixer->UpdateMeters();
            }
        }
    }
}

void TMainForm::HandleWindowMessage(const TWindowMessage& message) {
    if (message.Target == TWindowTarget::Inspector) {
        // Display only: the monitor and the repaint never change the project.
        if (inspectorForm != nullptr) {
            inspectorForm->HandleWindowMessage(message);
        }
        return;
    }
    if (actionDepth > 0 || inIdle) {
        // A remote command must not switch parts in the middle of an action; it runs at the
        // next idle moment.
        deferred.push_back(message);
        return;
    }
    const ActionScope scope(*this);
    core.HandleWindowMessage(message);
}

void TMainForm::RunDeferredMessages() {
    std::vector<TWindowMessage> messages;
    messages.swap(deferred);
    for (const TWindowMessage& message : messages) {
        const ActionScope scope(*this);
        core.HandleWindowMessage(message);
    }
}

// ---- Window events --------------------------------------------------------------------------

bool TMainForm::event(QEvent* e) {
    if (e->type() == QEvent::StatusTip) {
        // Hints go to status panel 0 rather than over the panels.
        const QString tip = static_cast<QStatusTipEvent*>(e)->tip();
        if (!tip.isEmpty()) {
            ShowHint(tip);
        }
        return true;
    }
    return QMainWindow::event(e);
}

void TMainForm::ShowHint(const QString& text) {
    if (panels[0]->text() != text) {
        panels[0]->setText(text);
    }
    const bool alarm = text == QLatin1String(kOverloadText);
    if (alarm == overloadShown) {
        return;
    }
    overloadShown = alarm;
    QPalette pal = panels[0]->palette();
    pal.setColor(QPalette::WindowText,
                 alarm ? style::kAlarmText : palette().color(QPalette::WindowText));
    panels[0]->setPalette(pal);
    panels[0]->setFont(style::SansFont(kPanelFontPx, alarm));
}

void TMainForm::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    FitPanels();
}

void TMainForm::FitPanels() {
    // Panels 1-3 keep their widths unless a text needs more (a sample format name in a wide
    // font); FormResize gives panel 0 what they leave.
    constexpr int kTextMargin = 8;
    int others = 0;
    for (std::size_t i = 1; i < panels.size(); ++i) {
        const int needed =
            panels[i]->fontMetrics().horizontalAdvance(panels[i]->text()) + kTextMargin;
        panels[i]->setFixedWidth(std::max(kPanelWidths[i], needed));
        others += panels[i]->minimumWidth();
    }
    panels[0]->setFixedWidth(std::max(0, width() - others - kPanelSpacing));
}

void TMainForm::StorePlacement() {
    TMainWindowPlacement placement;
    const QRect normal = normalGeometry().isValid() ? normalGeometry() : geometry();
    placement.Left = normal.x();
    placement.Top = normal.y();
    placement.Width = normal.width();
    placement.Height = normal.height();
    constexpr std::int32_t kNormal = 0, kMinimised = 1, kMaximised = 2;
    placement.State = isMinimized() ? kMinimised : isMaximized() ? kMaximised : kNormal;
    core.SetPlacement(placement);
}

void TMainForm::closeEvent(QCloseEvent* e) {
    // The window may always close; the program's shut-down order follows the event loop.
    StorePlacement();
    closing = true;
    uiTimer->stop();
    e->accept();
}

// ---- IProjectViews --------------------------------------------------------------------------

void TMainForm::SetBusyCursor(bool busy) {
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++busyDepth;
    } else if (busyDepth > 0) {
        QApplication::restoreOverrideCursor();
        --busyDepth;
    }
}

void TMainForm::ProcessPendingMessages() {
    // Paints and such; no clicks that could start another action in the middle of this one.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TMainForm::FillSongList() {
    if (projectForm != nullptr) {
        projectForm->FillSongList();
    }
}

void TMainForm::FillPartList(TSong& song) {
    if (projectForm != nullptr) {
        projectForm->FillPartList(song);
    }
}

void TMainForm::FillConnectionList(TPart& part) {
    if (projectForm != nullptr) {
        projectForm->FillConnectionList(part);
    }
}

void TMainForm::ShowConnectionInInspector(std::int32_t) {
    // The inspector shows the current part's current connection.
    if (inspectorForm != nullptr) {
        inspectorForm->ShowCurrent();
    }
}

void TMainForm::SelectSong(std::int32_t index) {
    if (projectForm != nullptr) {
        projectForm->SelectSong(index);
    }
}

void TMainForm::SelectPart(std::int32_t index) {
    if (projectForm != nullptr) {
        projectForm->SelectPart(index);
    }
}

void TMainForm::SelectConnection(std::int32_t index) {
    if (projectForm != nullptr) {
        projectForm->SelectConnection(index);
    }
}

TInspectorForm* TMainForm::EnsureInspectorWindow() {
    if (inspectorForm == nullptr) {
        inspectorForm = new TInspectorForm(
            core, [this](int group) { UpdateMixers(group); }, this);
        QAction* action = Action("ViewInspector");
        connect(inspectorForm, &TInspectorForm::VisibilityChanged, action, &QAction::setChecked);
        TranslateWindow(inspectorForm);
    }
    return inspectorForm;
}

TProjectForm* TMainForm::EnsureProjectWindow() {
    if (projectForm == nullptr) {
        projectForm = new TProjectForm(core, this, this);
        projectForm->SetInspectorShow(
            [this](std::int32_t index) { ShowConnectionInInspector(index); });
        QAction* action = Action("ViewProject");
        connect(projectForm, &TProjectForm::VisibilityChanged, action, &QAction::setChecked);
        TranslateWindow(projectForm);
    }
    return projectForm;
}

// ---- Actions --------------------------------------------------------------------------------

QString TMainForm::AskProjectFile(bool save) {
    std::filesystem::path folder = core.ProjectFolder();
    QFileDialog dialog(this, save ? "Save project as" : "Open project",
                       QString::fromStdString(folder.string()), kProjectFileFilter);
    dialog.setObjectName(save ? "SaveDialog" : "OpenDialog");
    // Qt's own dialog, the same on every desktop (and one that tests can drive).
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setDefaultSuffix(kProjectFileSuffix);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().front();
}

void TMainForm::NewProjectExecute() {
    const ActionScope scope(*this);
    core.NewProject();
    RefreshFromCore();
    if (core.ProjectOpen()) {
        // Showing refreshes the lists; a window already shown refreshes now.
        if (EnsureProjectWindow()->isVisible()) {
            projectForm->Refresh();
        } else {
            projectForm->show();
        }
    }
    if (core.ProjectOpen() && effectsForm != nullptr) {
        effectsForm->RefreshSlots();
        effectsForm->show();
        instrumentsForm->RefreshSlots();
        instrumentsForm->show();
    }
}

void TMainForm::OpenProjectExecute() {
    const QString path = AskProjectFile(false);
    const ActionScope scope(*this);
    if (!path.isEmpty()) {
        // Opening closes the project first, which hides them; they would show the old one.
        HideSettingsDialogs();
    }
    core.OpenProject(path.toStdString());
    ApplyRemoteHotkeys();
    RefreshFromCore();
}

void TMainForm::SaveProjectExecute() {
    const ActionScope scope(*this);
    core.SaveProject();
    RefreshFromCore();
}

void TMainForm::SaveProjectAsExecute() {
    const QString path = AskProjectFile(true);
    StorePlacement();
    const ActionScope scope(*this);
    core.SaveProjectAs(path.toStdString());
    RefreshFromCore();
}

void TMainForm::CloseProjectExecute() {
    const ActionScope scope(*this);
    for (QWidget* window :
         {static_cast<QWidget*>(instrumentsForm), static_cast<QWidget*>(effectsForm)}) {
        if (window != nullptr) {
            window->hide();
        }
    }
    for (TMixerForm* mixer : mixers) {
        if (mixer != nullptr) {
            mixer->hide();
        }
    }
    // The project window and the inspector show the project that goes.
    for (QWidget* window :
         {static_cast<QWidget*>(projectForm), static_cast<QWidget*>(inspectorForm)}) {
        if (window != nullptr) {
            window->hide();
        }
    }
    HideSettingsDialogs();
    core.CloseProject();
    if (projectForm != nullptr) {
        projectForm->Refresh(); // empties the lists
    }
    RefreshFromCore();
}

void TMainForm::ExitAppExecute() {
    {
        const ActionScope scope(*this);
        core.ExitApp();
    }
    close();
}

void TMainForm::MRUOpen(int item) {
    const ActionScope scope(*this);
    HideSettingsDialogs();
    core.OpenRecentFile(item);
    ApplyRemoteHotkeys();
    RefreshFromCore();
}

void TMainForm::LanguageExecute(std::int16_t code) {
    core.SetLanguage(code);
    if (const QString error = SwitchWindowsLanguage(core.LanguageCode()); !error.isEmpty()) {
        ShowMessageBox(LoadResString(kStrProblem), error.toStdString(), kMsgProblem, kButtonsOk, 1);
    }
    Action(core.LanguageCode() == kLanguageCodeGerman ? "LANG_GERMAN" : "LANG_ENGLISH")
        ->setChecked(true);
}

void TMainForm::ShowSorry() {
    ShowMessageBox(LoadResString(kStrSorryTitle), LoadResString(kStrSorryText), kMsgNotice,
                   kButtonsOk, 1);
}

void TMainForm::HelpContentsExecute() {
    const std::filesystem::path page = FindHelpPage(core.LanguageCode());
    if (page.empty()) {
        ShowMessageBox(LoadResString(kStrHelpTitle), LoadResString(kStrHelpMissing), kMsgProblem,
                       kButtonsOk, 1);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(page.string())))) {
        ShowMessageBox(LoadResString(kStrHelpTitle),
                       QString::fromStdString(LoadResString(kStrHelpNoBrowser))
                           .arg(QString::fromStdString(page.string()))
                           .toStdString(),
                       kMsgProblem, kButtonsOk, 1);
    }
}

void TMainForm::AppAboutExecute() {
    ShowMessageBox(LoadResString(kStrAboutTitle), LoadResString(kStrAboutText), kMsgNotice,
                   kButtonsOk, 1);
}

// ---- The plugin folder ------------------------------------------------------------------------

void TMainForm::PluginFolderExecute() {
    if (core.ProjectOpen()) {
        return;
    }
    TPluginPathForm pathForm;
    TQtPluginPathDialog dialog(this);
    if (dialog.ShowModal(pathForm) == kPluginPathOk && !pathForm.PluginPath.empty()) {
        Rescan(pathForm.PluginPath);
    }
}

void TMainForm::RescanPluginsExecute() {
    if (!core.ProjectOpen()) {
        Rescan({});
    }
}

void TMainForm::Rescan(const std::string& folder) {
    {
        const ActionScope scope(*this);
        SetBusyCursor(true);
        core.RescanPlugins(folder);
        SetBusyCursor(false);
    }
    if (problemsForm == nullptr) {
        problemsForm = new TPluginProblemsForm(core, this);
    }
    problemsForm->Refresh();
    problemsForm->show();
    problemsForm->raise();
}

} // namespace peldor
