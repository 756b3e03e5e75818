#include "ui/instrument_form.h"

#include "ui/flat_style.h"
#include "ui/language_switch.h"
#include "ui/remote_keys.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QThread>

#include <algorithm>

namespace peldor {
namespace {

/// The slot window's maroon, dimmed so that it does not glare on a dark stage.
const QColor kSlotWindowBack{0x4A, 0x10, 0x18};
/// Generic editor texts: read from the stage, yet small enough for the fixed layout.
constexpr int kGenericFontPx = 13;
constexpr int kPlacementDefault = 200;

QString GenericEditorStyleSheet() {
    using namespace style;
    return QString(R"(
QLabel { color: %1; }
QComboBox { background: %2; color: %1; border: 1px solid %3; padding-left: 4px; }
QComboBox QAbstractItemView { background: %2; color: %1; selection-background-color: %4;
                              selection-color: %5; }
QSlider::groove:horizontal { background: %5; height: 6px; border-radius: 3px; }
QSlider::handle:horizontal { background: %6; width: 14px; margin: -6px 0; border-radius: 3px; }
QSlider::handle:horizontal:focus { background: %4; }
)")
        .arg(kText.name(), kListBack.name(), kFrame.name(), kAccent.name(), kTrack.name(),
             kControlMark.name());
}

std::string SlotSection(int slot) {
    return "VST" + std::to_string(slot);
}

} // namespace

TInstrumentForm::TInstrumentForm(IMainWindowCore* theCore, int theSlot)
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint), core(theCore), slot(theSlot) {
    setObjectName("InstrumentForm");
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle("VST");
    setFont(style::SansFont(kGenericFontPx));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kSlotWindowBack);
    setPalette(pal);
    setAutoFillBackground(true);
    setStyleSheet(GenericEditorStyleSheet());

    // The plugin's own editor is embedded into this native child window; the generic editor's
    // controls live in it too.
    editorHost = new QWidget(this);
    editorHost->setObjectName("EditorHost");
    editorHost->setAttribute(Qt::WA_NativeWindow);
    editorHost->setGeometry(0, 0, kInitialClientWidth, kInitialClientHeight);
    resize(kInitialClientWidth, kInitialClientHeight);

    if (core != nullptr && slot >= 0) {
        TMainWindowPlacement defaults;
        defaults.Left = 0;
        defaults.Top = 0;
        defaults.Width = kPlacementDefault;
        defaults.Height = kPlacementDefault;
        const TMainWindowPlacement placement = core->ReadPlacement(SlotSection(slot), defaults);
        move(placement.Left, placement.Top);
        resize(std::max(placement.Width, 1), std::max(placement.Height, 1));
    }
    TranslateWindow(this);
}

TInstrumentForm::~TInstrumentForm() {
    ReleaseRemoteKeys(this);
    if (core != nullptr && slot >= 0) {
        TMainWindowPlacement placement;
        placement.Left = pos().x();
        placement.Top = pos().y();
        placement.Width = width();
        placement.Height = height();
        core->WritePlacement(SlotSection(slot), placement);
    }
    // The controls' handlers belong to the core; none may run while the widgets go.
    for (Control& entry : controls) {
        entry.Widget->disconnect();
    }
}

TWindowHandle TInstrumentForm::Handle() const {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return 0;
    }
    return static_cast<TWindowHandle>(editorHost->winId());
}

void TInstrumentForm::SetCaption(const std::string& caption) {
    setWindowTitle(QString::fromStdString(caption));
}

std::string TInstrumentForm::Caption() const {
    return windowTitle().toStdString();
}

void TInstrumentForm::SetClientSize(int newWidth, int newHeight) {
    if (QThread::currentThread() != thread()) {
        // audioMasterSizeWindow from a plugin's own thread: the window thread does it.
        QPointer<TInstrumentForm> self(this);
        QMetaObject::invokeMethod(
            this,
            [self, newWidth, newHeight] {
                if (self) {
                    self->SetClientSize(newWidth, newHeight);
                }
            },
            Qt::QueuedConnection);
        return;
    }
    if (!controls.empty()) {
        newWidth = std::max(newWidth, kGenericMinWidth);
        newHeight = std::max(newHeight, kGenericMinHeight);
    }
    newWidth = std::max(newWidth, 1);
    newHeight = std::max(newHeight, 1);
    // The plugin's editor has the size it asked for; the window does not stretch it.
    setFixedSize(newWidth, newHeight);
    editorHost->setGeometry(0, 0, newWidth, newHeight);
}

void TInstrumentForm::Show() {
    show();
    raise();
}

void TInstrumentForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A plugin's own editor gets its keys straight from the X server: the performer's keys
    // are grabbed for this window so they step parts while the editor has the focus.
    GrabRemoteKeys(this);
}

void TInstrumentForm::Hide() {
    hide();
}

bool TInstrumentForm::Position(int& left, int& top) const {
    left = pos().x();
    top = pos().y();
    return true;
}

// ---- The generic editor's controls ----------------------------------------------------------

QWidget* TInstrumentForm::MakeWidget(TEditorControl& control) {
    TEditorControl* described = &control;
    switch (control.Kind) {
    case TControlKind::Label: {
        auto* label = new QLabel(editorHost);
        label->setAlignment(control.Centered ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
        return label;
    }
    case TControlKind::TrackBar: {
        auto* slider = new QSlider(Qt::Horizontal, editorHost);
        slider->setTickPosition(control.NoTicks ? QSlider::NoTicks : QSlider::TicksBelow);
        connect(slider, &QSlider::valueChanged, this,
                [this, described](int value) { UserChanged(*described, value); });
        return slider;
    }
    case TControlKind::ScrollBar: {
        auto* bar = new QScrollBar(Qt::Horizontal, editorHost);
        connect(bar, &QScrollBar::valueChanged, this,
                [this, described](int value) { UserChanged(*described, value); });
        return bar;
    }
    case TControlKind::ComboBox: {
        auto* box = new QComboBox(editorHost);
        connect(box, &QComboBox::currentIndexChanged, this,
                [this, described](int index) { UserChanged(*described, index); });
        return box;
    }
    }
    return new QWidget(editorHost);
}

void TInstrumentForm::Load(const Control& entry) {
    const TEditorControl& described = *entry.Data;
    // Loading a control never runs its handler.
    const QSignalBlocker blocker(entry.Widget);
    if (auto* label = qobject_cast<QLabel*>(entry.Widget)) {
        label->setText(QString::fromStdString(described.Text));
        if (described.Width <= 0) {
            // Labels without a width grow with their text, as far as the window goes.
            label->adjustSize();
            label->resize(std::max(label->width(), width() - 2 * described.Left), label->height());
        }
    } else if (auto* slider = qobject_cast<QSlider*>(entry.Widget)) {
        slider->setRange(described.Min, described.Max);
        slider->setTickInterval(described.Frequency);
        slider->setValue(described.Position);
    } else if (auto* bar = qobject_cast<QScrollBar*>(entry.Widget)) {
        bar->setRange(described.Min, described.Max);
        bar->setPageStep(described.LargeChange);
        bar->setValue(described.Position);
    } else if (auto* box = qobject_cast<QComboBox*>(entry.Widget)) {
        if (box->count() != static_cast<int>(described.Items.size())) {
            box->clear();
            for (const std::string& item : described.Items) {
                box->addItem(QString::fromStdString(item));
            }
        }
        box->setCurrentIndex(described.ItemIndex);
    }
}

TEditorControl* TInstrumentForm::AddControl(std::unique_ptr<TEditorControl> control) {
    Control entry;
    entry.Widget = MakeWidget(*control);
    entry.Widget->setObjectName(QString::fromStdString(control->Name));
    const int controlHeight =
        control->Height > 0 ? control->Height : entry.Widget->sizeHint().height();
    entry.Widget->setGeometry(control->Left, control->Top, std::max(control->Width, 0),
                              controlHeight);
    entry.RightMargin = width() - control->Left - control->Width;
    entry.Data = std::move(control);
    Load(entry);
    entry.Widget->show();
    controls.push_back(std::move(entry));
    if (width() < kGenericMinWidth || height() < kGenericMinHeight) {
        SetClientSize(width(), height());
    }
    return controls.back().Data.get();
}

const TInstrumentForm::Control* TInstrumentForm::Find(const std::string& name) const {
    auto found = std::find_if(controls.begin(), controls.end(),
                              [&](const Control& entry) { return entry.Data->Name == name; });
    return found != controls.end() ? &*found : nullptr;
}

TEditorControl* TInstrumentForm::FindControl(const std::string& name) {
    const Control* entry = Find(name);
    return entry != nullptr ? entry->Data.get() : nullptr;
}

QWidget* TInstrumentForm::ControlWidget(const std::string& name) const {
    const Control* entry = Find(name);
    return entry != nullptr ? entry->Widget : nullptr;
}

bool TInstrumentForm::RemoveControl(const std::string& name) {
    auto found = std::find_if(controls.begin(), controls.end(),
                              [&](const Control& entry) { return entry.Data->Name == name; });
    if (found == controls.end()) {
        return false;
    }
    // Deleted at once: the description it reports to goes now.
    found->Widget->disconnect();
    delete found->Widget;
    controls.erase(found);
    return true;
}

void TInstrumentForm::ControlChanged(TEditorControl& control) {
    for (const Control& entry : controls) {
        if (entry.Data.get() == &control) {
            Load(entry);
            return;
        }
    }
}

int TInstrumentForm::TextWidth(const std::string& text) const {
    return fontMetrics().horizontalAdvance(QString::fromStdString(text));
}

void TInstrumentForm::UserChanged(TEditorControl& control, int value) {
    if (control.Kind == TControlKind::ComboBox) {
        control.ItemIndex = value;
    } else {
        control.Position = value;
    }
    // The handler may rebuild the controls; it runs from a copy.
    if (auto handler = control.OnChange) {
        handler();
    }
}

// ---- Events ---------------------------------------------------------------------------------

void TInstrumentForm::closeEvent(QCloseEvent* event) {
    // The core decides: it closes the editor and hides the window, which stays for the slot.
    event->ignore();
    if (auto handler = OnClose) {
        handler();
    } else {
        hide();
    }
}

void TInstrumentForm::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange) {
        return;
    }
    const auto& handler = isActiveWindow() ? OnActivate : OnDeactivate;
    if (handler) {
        handler();
    }
}

void TInstrumentForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    editorHost->setGeometry(0, 0, width(), height());
    for (const Control& entry : controls) {
        if (entry.Data->AnchorRight) {
            QRect geometry = entry.Widget->geometry();
            geometry.setWidth(std::max(width() - entry.Data->Left - entry.RightMargin, 0));
            entry.Widget->setGeometry(geometry);
        }
    }
}

// ---- Factory --------------------------------------------------------------------------------

std::unique_ptr<IEditorWindow> TInstrumentFormFactory::CreateToolWindow() {
    return std::make_unique<TInstrumentForm>(core, -1);
}

std::unique_ptr<IEditorWindow> TInstrumentFormFactory::CreateSlotWindow(int slot) {
    return std::make_unique<TInstrumentForm>(core, slot);
}

} // namespace peldor
