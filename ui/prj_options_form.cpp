#include "ui/prj_options_form.h"

#include "i18n/message_box.h"
#include "i18n/ui_strings.h"
#include "project/project_options.h"
#include "ui/hotkey_edit.h"
#include "ui/option_texts.h"
#include "ui/title_bar.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTimer>

#include <chrono>
#include <limits>
#include <optional>

namespace peldor {
namespace {

constexpr const char* kCaption = "Project options";
constexpr const char* kPriorityHint =
    "The running audio workers take the new priority as soon as it is applied. The choice is "
    "saved with the project.";
/// Learned messages are collected this often while learning is on.
constexpr std::chrono::milliseconds kLearnPoll{20};
constexpr int kMargin = 8;
constexpr int kButtonWidth = 84;
constexpr int kButtonHeight = 26;
constexpr int kFieldHeight = 24;
constexpr int kNumberWidth = 52;
constexpr int kLearnWidth = 64;
/// The pattern and filter values are 16-bit signed numbers.
constexpr std::int32_t kPatternMin = std::numeric_limits<std::int16_t>::min();
constexpr std::int32_t kPatternMax = std::numeric_limits<std::int16_t>::max();
/// Separators are one printable ASCII character (the engine prints bytes).
constexpr char16_t kFirstPrintable = 0x20, kLastPrintable = 0x7E;

constexpr std::array<const char*, kRemoteCommandCount> kRemoteRowNames{
    "Next part", "Previous part", "Next song", "Previous song", "All notes off"};

/// A resource string in the chosen language.
QString Res(ResourceStringId id) {
    return QString::fromStdString(LoadResString(id));
}

QLabel* AddLabel(QWidget* page, const QString& text, int left, int top, int width = 170) {
    auto* label = new QLabel(text, page);
    // Named after its English text ("lblSineaccuracy"), so that a language file can reach it.
    label->setObjectName("lbl" + QString(text).remove(QRegularExpression("[^A-Za-z0-9]")));
    label->setGeometry(left, top, width, kFieldHeight);
    return label;
}

QComboBox* AddCombo(QWidget* page, const char* name, const QStringList& items, int left, int top,
                    int width) {
    auto* combo = new QComboBox(page);
    combo->setObjectName(name);
    combo->addItems(items);
    combo->setGeometry(left, top, width, kFieldHeight + 2);
    return combo;
}

QCheckBox* AddCheck(QWidget* page, const char* name, const QString& text, int left, int top,
                    int width) {
    auto* check = new QCheckBox(text, page);
    check->setObjectName(name);
    check->setGeometry(left, top, width, kFieldHeight);
    return check;
}

/// A one-character separator field's text: empty for 0.
QString SeparatorText(std::uint8_t value) {
    return value == 0 ? QString() : QString(QChar(static_cast<char16_t>(value)));
}

bool SeparatorAccepted(const QString& text) {
    return text.isEmpty() || (text.size() == 1 && text[0].unicode() >= kFirstPrintable &&
                              text[0].unicode() <= kLastPrintable);
}

} // namespace

TPrjOptionsForm::TPrjOptionsForm(std::function<void()> applied, QWidget* parent)
    : QWidget(parent, ToolDialogFlags()), onApplied(std::move(applied)) {
    setObjectName("PrjOptionsForm");
    setWindowTitle(kCaption);
    setFixedSize(kWidth, kHeight);
    setStyleSheet(DialogStyleSheet());
    frame = AddDialogFrame(*this, kCaption);
    connect(frame.X, &QPushButton::clicked, this, &TPrjOptionsForm::btnCloseClick);

    pages = new QTabWidget(this);
    pages->setObjectName("PageControl");
    pages->setGeometry(kMargin, TTitleBar::kHeight + kMargin, kWidth - 2 * kMargin,
                       kHeight - TTitleBar::kHeight - 3 * kMargin - kButtonHeight);
    BuildGeneralPage();
    BuildMidiPage();
    BuildRemotePage();
    BuildExpertPage();

    const int buttonTop = kHeight - kMargin - kButtonHeight;
    btnApply = new QPushButton("Apply", this);
    btnApply->setObjectName("btnApply");
    btnApply->setGeometry(kWidth - 2 * (kButtonWidth + kMargin), buttonTop, kButtonWidth,
                          kButtonHeight);
    connect(btnApply, &QPushButton::clicked, this, [this] { btnApplyClick(); });
    btnClose = new QPushButton("Close", this);
    btnClose->setObjectName("btnClose");
    btnClose->setGeometry(kWidth - kButtonWidth - kMargin, buttonTop, kButtonWidth, kButtonHeight);
    connect(btnClose, &QPushButton::clicked, this, &TPrjOptionsForm::btnCloseClick);

    learnTimer = new QTimer(this);
    learnTimer->setInterval(kLearnPoll);
    connect(learnTimer, &QTimer::timeout, this, &TPrjOptionsForm::TakeLearnedMessages);

    // The main window's remote shortcuts (Down, Up, Page Down, ...) reach tool windows too;
    // while a choice list has the focus, its keys are for the list.
    for (QComboBox* combo : findChildren<QComboBox*>()) {
        combo->installEventFilter(this);
    }
    LoadOptions();
}

bool TPrjOptionsForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == 0;
        switch (key->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_Space:
            if (plain) {
                event->accept();
                return true;
            }
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

TPrjOptionsForm::~TPrjOptionsForm() {
    if (learnTarget != kNoLearnTarget) {
        SetMidiLearnHandler(nullptr);
    }
}

// ---- Pages ------------------------------------------------------------------------------------

QLineEdit* TPrjOptionsForm::AddNumberField(QWidget* page, const char* name, int left, int top,
                                           int width) {
    auto* field = new QLineEdit(page);
    field->setObjectName(name);
    field->setGeometry(left, top, width, kFieldHeight);
    connect(field, &QLineEdit::textEdited, this, &TPrjOptionsForm::Changed);
    return field;
}

QPushButton* TPrjOptionsForm::AddLearnSwitch(QWidget* page, const char* name, int target, int left,
                                             int top) {
    auto* button = new QPushButton("learn", page);
    button->setObjectName(name);
    button->setCheckable(true);
    button->setProperty("Target", target);
    button->setGeometry(left, top, kLearnWidth, kFieldHeight);
    connect(button, &QPushButton::clicked, this, [this, button] { LearnSwitchClick(button); });
    return button;
}

void TPrjOptionsForm::BuildGeneralPage() {
    auto* page = new QWidget;
    page->setObjectName("tsGeneral");
    AddLabel(page, "Note naming scheme", 16, 16);
    cmbNoteSystem =
        AddCombo(page, "cmbNoteSystem",
                 {"Flat (Bb, B)", "Sharp (A#, B)", "Flat German (Bb, H)", "Sharp German (A#, H)"},
                 16, 42, 260);
    connect(cmbNoteSystem, &QComboBox::activated, this, &TPrjOptionsForm::Changed);
    pages->addTab(page, "General");
}

void TPrjOptionsForm::BuildMidiPage() {
    auto* page = new QWidget;
    page->setObjectName("tsMIDI");
    chkActiveSense = AddCheck(page, "chkActiveSense", "Process \"Active Sense\"", 16, 12, 500);
    chkSendANO =
        AddCheck(page, "chkSendANO",
                 "Send \"All notes off\" before changing MIDI connection (strongly recommended !)",
                 16, 40, 600);
    for (QCheckBox* check : {chkActiveSense, chkSendANO}) {
        connect(check, &QCheckBox::clicked, this, &TPrjOptionsForm::Changed);
    }

    auto* group = new QGroupBox("User defined filter", page);
    group->setObjectName("grpUserFilter");
    group->setGeometry(16, 78, 420, 120);
    constexpr int kFirstColumn = 100, kColumnStep = 60, kLearnLeft = 290;
    for (int c = 0; c < 3; ++c) {
        AddLabel(group, QString("Data %1").arg(c + 1), kFirstColumn + c * kColumnStep, 20, 56);
    }
    for (int r = 0; r < 2; ++r) {
        const int top = 48 + r * 32;
        AddLabel(group, QString("Filter %1").arg(r + 1), 12, top, 80);
        FieldRow& row = filterRows[static_cast<std::size_t>(r)];
        for (int c = 0; c < 3; ++c) {
            const QString name = QString("edtUD%1_%2").arg(r + 1).arg(c + 1);
            row.Fields[static_cast<std::size_t>(c)] =
                AddNumberField(group, name.toUtf8().constData(), kFirstColumn + c * kColumnStep,
                               top, kNumberWidth);
        }
        row.Target = r == 0 ? kLearnFilter1 : kLearnFilter2;
        row.Learn = AddLearnSwitch(group, r == 0 ? "btnUD1Learn" : "btnUD2Learn", row.Target,
                                   kLearnLeft, top);
    }
    pages->addTab(page, "MIDI");
}

void TPrjOptionsForm::BuildRemotePage() {
    auto* page = new QWidget;
    page->setObjectName("tsRemote");
    chkHotKeysEnable = AddCheck(page, "chkHotKeysEnable", "Enable Hotkeys", 16, 8, 150);
    chkMIDIRemoteEnable = AddCheck(page, "chkMIDIRemoteEnable", "Enable MIDI remote", 180, 8, 170);
    for (QCheckBox* check : {chkHotKeysEnable, chkMIDIRemoteEnable}) {
        connect(check, &QCheckBox::clicked, this, &TPrjOptionsForm::Changed);
    }
    AddLabel(page, "MIDI remote port", 376, 8, 124);
    QStringList ports;
    for (int i = 1; i <= 16; ++i) {
        ports << QString("Input %1").arg(i);
    }
    cmbRemotePort = AddCombo(page, "cmbRemotePort", ports, 500, 6, 100);
    connect(cmbRemotePort, &QComboBox::activated, this, &TPrjOptionsForm::Changed);

    constexpr int kHotkeyLeft = 126, kHotkeyWidth = 150, kFirstColumn = 290, kColumnStep = 56;
    constexpr int kLearnLeft = kFirstColumn + 3 * kColumnStep + 4;
    AddLabel(page, "Hotkey", kHotkeyLeft, 40, 100);
    AddLabel(page, "MIDI", kFirstColumn, 40, 100);
    for (int c = 0; c < 3; ++c) {
        AddLabel(page, QString::number(c + 1), kFirstColumn + c * kColumnStep + 4, 58, 40);
    }
    for (int r = 0; r < kRemoteCommandCount; ++r) {
        const auto at = static_cast<std::size_t>(r);
        const int top = 84 + r * 32;
        QLabel* label = AddLabel(page, kRemoteRowNames[at], 16, top, 108);
        auto* hotkey = new THotkeyEdit(page);
        hotkey->setObjectName(QString("hk%1").arg(r + 1));
        hotkey->setGeometry(kHotkeyLeft, top, kHotkeyWidth, kFieldHeight);
        connect(hotkey, &THotkeyEdit::Changed, this, &TPrjOptionsForm::Changed);
        hotkeys[at] = hotkey;
        FieldRow& row = remoteRows[at];
        row.Label = label;
        for (int c = 0; c < 3; ++c) {
            const QString name = QString("edtRemote%1_%2").arg(r + 1).arg(c + 1);
            row.Fields[static_cast<std::size_t>(c)] = AddNumberField(
                page, name.toUtf8().constData(), kFirstColumn + c * kColumnStep, top, kNumberWidth);
        }
        row.Target = r;
        const QString learn = QString("btnRemoteLearn%1").arg(r + 1);
        row.Learn = AddLearnSwitch(page, learn.toUtf8().constData(), r, kLearnLeft, top);
    }
    pages->addTab(page, "Remote");
}

void TPrjOptionsForm::BuildExpertPage() {
    auto* page = new QWidget;
    page->setObjectName("tsExpert");
    constexpr int kFieldLeft = 170;
    AddLabel(page, "Epsilon", 16, 10);
    edtEpsilon = AddNumberField(page, "edtEpsilon", kFieldLeft, 10, 120);
    AddLabel(page, "Decimal separator", 16, 40);
    edtDecimalSeparator = AddNumberField(page, "edtDecimalSeparator", kFieldLeft, 40, 36);
    AddLabel(page, "Thousand separator", 16, 70);
    edtThousandSeparator = AddNumberField(page, "edtThousandSeparator", kFieldLeft, 70, 36);
    for (QLineEdit* separator : {edtDecimalSeparator, edtThousandSeparator}) {
        separator->setMaxLength(1);
    }
    AddLabel(page, "Audio thread priority", 16, 100);
    cmbAudioThreadPriority =
        AddCombo(page, "cmbAudioThreadPriority",
                 {"Idle", "Lowest", "Lower", "Normal", "Higher", "Highest", "Time critical"},
                 kFieldLeft, 100, 150);
    cmbAudioThreadPriority->setToolTip(kPriorityHint);
    connect(cmbAudioThreadPriority, &QComboBox::activated, this, &TPrjOptionsForm::Changed);
    auto* hint = new QLabel(kPriorityHint, page);
    hint->setObjectName("lblHint");
    hint->setWordWrap(true);
    hint->setGeometry(16, 128, 590, 36);

    auto* oscillator = new QGroupBox("Oscillator settings", page);
    oscillator->setObjectName("grpOscillator");
    oscillator->setGeometry(16, 170, 300, 70);
    AddLabel(oscillator, "Sine accuracy", 10, 30, 100);
    cmbSineAccuracy =
        AddCombo(oscillator, "cmbSineAccuracy",
                 {"Fastest, 3.8% THD", "Fast, 0.078% THD", "Accurate (32bit)"}, 110, 28, 180);
    connect(cmbSineAccuracy, &QComboBox::activated, this, &TPrjOptionsForm::Changed);
    auto* noise = new QGroupBox("Noise generation", page);
    noise->setObjectName("grpNoise");
    noise->setGeometry(336, 170, 220, 70);
    rdoPinkNoise = new QRadioButton("Pink", noise);
    rdoPinkNoise->setObjectName("rdoPinkNoise");
    rdoPinkNoise->setGeometry(12, 30, 80, kFieldHeight);
    rdoWhiteNoise = new QRadioButton("White", noise);
    rdoWhiteNoise->setObjectName("rdoWhiteNoise");
    rdoWhiteNoise->setGeometry(100, 30, 80, kFieldHeight);
    for (QRadioButton* radio : {rdoPinkNoise, rdoWhiteNoise}) {
        connect(radio, &QRadioButton::clicked, this, &TPrjOptionsForm::Changed);
    }
    pages->addTab(page, "Expert");
}

// ---- Load and store ---------------------------------------------------------------------------

void TPrjOptionsForm::LoadOptions() {
    const TProjectOptions& options = ProjectOptions();
    const auto loadRow = [](FieldRow& row, const TMidiPattern& pattern) {
        for (std::size_t c = 0; c < 3; ++c) {
            row.Fields[c]->setText(QString::number(pattern[c].Load()));
        }
    };
    cmbNoteSystem->setCurrentIndex(options.NoteNamingScheme.Load());
    chkActiveSense->setChecked(options.ProcessActiveSense != 0);
    chkSendANO->setChecked(options.SendAllNotesOffOnChange != 0);
    loadRow(filterRows[0], options.UserFilter1);
    loadRow(filterRows[1], options.UserFilter2);
    chkHotKeysEnable->setChecked(options.HotkeysEnabled != 0);
    chkMIDIRemoteEnable->setChecked(options.MidiRemoteEnabled != 0);
    cmbRemotePort->setCurrentIndex(options.RemotePort.Load());
    for (std::size_t i = 0; i < remoteRows.size(); ++i) {
        hotkeys[i]->SetHotKey(static_cast<std::uint16_t>(options.RemoteCommands[i].Hotkey.Load()));
        loadRow(remoteRows[i], options.RemoteCommands[i].Pattern);
    }
    loadedEpsilon = FormatEpsilon(options.Epsilon, QLocale());
    edtEpsilon->setText(loadedEpsilon);
    edtDecimalSeparator->setText(SeparatorText(options.DecimalSeparator));
    edtThousandSeparator->setText(SeparatorText(options.ThousandSeparator));
    cmbAudioThreadPriority->setCurrentIndex(options.AudioThreadPriority.Load());
    cmbSineAccuracy->setCurrentIndex(options.SineAccuracy.Load());
    rdoPinkNoise->setChecked(options.PinkNoise != 0);
    rdoWhiteNoise->setChecked(options.PinkNoise == 0);
    btnApply->setEnabled(false);
}

bool TPrjOptionsForm::btnApplyClick() {
    // Every field is checked before anything is stored, so a typing error never leaves the
    // options half changed.
    const auto refuse = [this](QLineEdit* field, const QString& text) {
        for (QWidget* w = field; w != nullptr; w = w->parentWidget()) {
            if (const int index = pages->indexOf(w); index >= 0) {
                pages->setCurrentIndex(index);
                break;
            }
        }
        ShowMessageBox(LoadResString(kStrProjectOptionsTitle), text.toStdString(), kMsgProblem,
                       kButtonsOk, 1);
        field->setFocus();
        field->selectAll();
        return false;
    };
    const auto checkRow = [&](const FieldRow& row, const QString& name, const QString& column,
                              std::array<std::int16_t, 3>& values) {
        for (std::size_t c = 0; c < 3; ++c) {
            const std::optional<std::int32_t> value =
                ParseWholeNumber(row.Fields[c]->text(), kPatternMin, kPatternMax);
            if (!value) {
                return refuse(row.Fields[c], Res(kStrOptionNotWholeNumber)
                                                 .arg(name, column)
                                                 .arg(c + 1)
                                                 .arg(row.Fields[c]->text())
                                                 .arg(kPatternMin)
                                                 .arg(kPatternMax));
            }
            values[c] = static_cast<std::int16_t>(*value);
        }
        return true;
    };

    std::array<std::array<std::int16_t, 3>, 2> filters{};
    for (std::size_t r = 0; r < filterRows.size(); ++r) {
        if (!checkRow(filterRows[r], Res(kStrOptionFilter).arg(r + 1), Res(kStrOptionData),
                      filters[r])) {
            return false;
        }
    }
    std::array<std::array<std::int16_t, 3>, kRemoteCommandCount> patterns{};
    for (std::size_t r = 0; r < remoteRows.size(); ++r) {
        const QString name = remoteRows[r].Label != nullptr ? remoteRows[r].Label->text()
                                                            : QString(kRemoteRowNames[r]);
        if (!checkRow(remoteRows[r], name, "MIDI", patterns[r])) {
            return false;
        }
    }
    const QLocale locale;
    std::optional<float> epsilon;
    if (edtEpsilon->text() != loadedEpsilon) {
        epsilon = ParseEpsilon(edtEpsilon->text(), locale);
        if (!epsilon) {
            return refuse(
                edtEpsilon,
                Res(kStrOptionEpsilon).arg(edtEpsilon->text(), FormatEpsilon(1e-29f, locale)));
        }
    }
    for (const auto& [field, name] :
         {std::pair{edtDecimalSeparator, kStrOptionDecimalSeparator},
          std::pair{edtThousandSeparator, kStrOptionThousandSeparator}}) {
        if (!SeparatorAccepted(field->text())) {
            return refuse(field, Res(kStrOptionSeparator).arg(Res(name), field->text()));
        }
    }

    TProjectOptions& options = ProjectOptions();
    const auto storeRow = [](TMidiPattern& pattern, const std::array<std::int16_t, 3>& values) {
        for (std::size_t c = 0; c < 3; ++c) {
            pattern[c] = values[c];
        }
    };
    const auto separator = [](const QLineEdit* field) {
        return static_cast<std::uint8_t>(field->text().isEmpty() ? 0 : field->text()[0].unicode());
    };
    options.NoteNamingScheme = static_cast<std::uint8_t>(cmbNoteSystem->currentIndex());
    options.ProcessActiveSense = chkActiveSense->isChecked() ? 1 : 0;
    options.SendAllNotesOffOnChange = chkSendANO->isChecked() ? 1 : 0;
    storeRow(options.UserFilter1, filters[0]);
    storeRow(options.UserFilter2, filters[1]);
    options.HotkeysEnabled = chkHotKeysEnable->isChecked() ? 1 : 0;
    options.MidiRemoteEnabled = chkMIDIRemoteEnable->isChecked() ? 1 : 0;
    options.RemotePort = cmbRemotePort->currentIndex();
    for (std::size_t i = 0; i < remoteRows.size(); ++i) {
        options.RemoteCommands[i].Hotkey = static_cast<std::int16_t>(hotkeys[i]->HotKey());
        storeRow(options.RemoteCommands[i].Pattern, patterns[i]);
    }
    if (epsilon) {
        options.Epsilon = *epsilon;
        loadedEpsilon = edtEpsilon->text();
    }
    options.DecimalSeparator = separator(edtDecimalSeparator);
    options.ThousandSeparator = separator(edtThousandSeparator);
    options.AudioThreadPriority = cmbAudioThreadPriority->currentIndex();
    options.SineAccuracy = cmbSineAccuracy->currentIndex();
    options.PinkNoise = rdoPinkNoise->isChecked() ? 1 : 0;
    options.Apply();
    btnApply->setEnabled(false);
    if (onApplied) {
        onApplied();
    }
    return true;
}

void TPrjOptionsForm::Changed() {
    btnApply->setEnabled(true);
}

// ---- MIDI learn -------------------------------------------------------------------------------

TPrjOptionsForm::FieldRow* TPrjOptionsForm::RowOfTarget(int target) {
    for (FieldRow& row : remoteRows) {
        if (row.Target == target) {
            return &row;
        }
    }
    for (FieldRow& row : filterRows) {
        if (row.Target == target) {
            return &row;
        }
    }
    return nullptr;
}

void TPrjOptionsForm::LearnSwitchClick(QPushButton* clicked) {
    for (FieldRow& row : remoteRows) {
        if (row.Learn != clicked) {
            row.Learn->setChecked(false);
        }
    }
    for (FieldRow& row : filterRows) {
        if (row.Learn != clicked) {
            row.Learn->setChecked(false);
        }
    }
    SetLearnTarget(clicked->isChecked() ? clicked->property("Target").toInt() : kNoLearnTarget);
}

void TPrjOptionsForm::SetLearnTarget(int target) {
    // Off first: once SetMidiLearnHandler returns no input thread is inside the inbox, so what
    // it holds belongs to the old target and goes there before the target changes.
    SetMidiLearnHandler(nullptr);
    TakeLearnedMessages();
    learnTarget = target;
    if (target == kNoLearnTarget) {
        learnTimer->stop();
        return;
    }
    SetMidiLearnHandler(&inbox);
    learnTimer->start();
}

void TPrjOptionsForm::TakeLearnedMessages() {
    TShortMessage message;
    while (inbox.Take(message)) {
        FieldRow* row = RowOfTarget(learnTarget);
        if (row == nullptr) {
            continue;
        }
        const std::array<std::uint8_t, 3> values{message.Status, message.Data1, message.Data2};
        for (std::size_t c = 0; c < 3; ++c) {
            row->Fields[c]->setText(QString::number(values[c]));
        }
        Changed();
    }
}

// ---- Close, show, hide ------------------------------------------------------------------------

void TPrjOptionsForm::btnCloseClick() {
    if (learnTarget != kNoLearnTarget) {
        const int answer = ShowMessageBox(LoadResString(kStrProjectOptionsTitle),
                                          LoadResString(kStrQuitLearnQuestion), kMsgNotice,
                                          kButtonsYesNoCancel, 1);
        if (answer == kResultYes) {
            for (FieldRow& row : remoteRows) {
                row.Learn->setChecked(false);
            }
            for (FieldRow& row : filterRows) {
                row.Learn->setChecked(false);
            }
            SetLearnTarget(kNoLearnTarget);
        } else if (answer != kResultNo) {
            return; // Cancel, or the box closed without an answer
        }
    }
    hide();
}

void TPrjOptionsForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The row being learned keeps what it learned while the dialog was hidden.
    FieldRow* learning = RowOfTarget(learnTarget);
    std::array<QString, 3> learned;
    if (learning != nullptr) {
        TakeLearnedMessages();
        for (std::size_t c = 0; c < 3; ++c) {
            learned[c] = learning->Fields[c]->text();
        }
    }
    LoadOptions();
    if (learning != nullptr) {
        for (std::size_t c = 0; c < 3; ++c) {
            if (learning->Fields[c]->text() != learned[c]) {
                learning->Fields[c]->setText(learned[c]);
                Changed();
            }
        }
    }
    emit VisibleChanged(true);
}

void TPrjOptionsForm::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    emit VisibleChanged(false);
}

void TPrjOptionsForm::closeEvent(QCloseEvent* event) {
    // The window manager's close acts as X.
    event->ignore();
    btnCloseClick();
}

void TPrjOptionsForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOutDialogFrame(*this, frame);
}

} // namespace peldor
