#include "ui/project_form.h"

#include "engine/strip_table.h"
#include "i18n/app_strings.h"
#include "i18n/message_box.h"
#include "i18n/ui_strings.h"
#include "midi/switching.h"
#include "midi/switching_views.h"
#include "project/project_model.h"
#include "ui/flat_form_sizer.h"
#include "ui/flat_style.h"
#include "ui/flat_switch.h"
#include "ui/main_window_core.h"
#include "ui/title_bar.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>

#include <string>

namespace peldor {
namespace {

constexpr const char* kSection = "ProjectForm";
const QColor kItemFocused{0xFF, 0x80, 0x00};
constexpr int kButtonStep = 42;
constexpr int kButtonWidth = 40;
constexpr int kButtonHeight = 22;
constexpr int kCloseSize = 20;
constexpr int kSizerSize = 12;

/// Item background by state, the text centred at the top of the item.
class TProjectItemDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const auto* list = qobject_cast<const QListWidget*>(option.widget);
        QColor back = style::kWindowBack;
        if ((option.state & QStyle::State_Selected) != 0) {
            back = style::kListBack;
        }
        if (list != nullptr && list->hasFocus() && list->currentIndex() == index) {
            back = kItemFocused;
        }
        painter->fillRect(option.rect, back);
        painter->setPen(style::kText);
        painter->setFont(option.font);
        painter->drawText(option.rect, Qt::AlignHCenter | Qt::AlignTop,
                          index.data(Qt::DisplayRole).toString());
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), TProjectList::kItemHeight};
    }
};

/// The entry at the first selected row from the top; -1 when none.
int FirstSelected(const QListWidget& list) {
    for (int row = 0; row < list.count(); ++row) {
        if (list.item(row)->isSelected()) {
            return row;
        }
    }
    return -1;
}

/// The index that stays current after entry index of count entries was deleted.
std::int32_t IndexAfterDelete(std::int32_t index, std::int32_t countAfter) {
    if (countAfter <= 0) {
        return -1;
    }
    return index < countAfter ? index : countAfter - 1;
}

/// The name box; title and prompt are resource strings, the preset stays as it is (a default
/// name such as "new song" is saved into the project, whatever the language).
bool AskName(ResourceStringId title, ResourceStringId prompt, std::string& name) {
    return ShowInputBox(LoadResString(title), LoadResString(prompt), kMsgQuestion, kButtonsOkCancel,
                        1, name) == kResultOk;
}

TSong* CurrentSongObject() {
    TProject* project = ActiveProject();
    return project != nullptr ? project->SongAt(CurrentSong) : nullptr;
}

TPart* CurrentPartObject() {
    TProject* project = ActiveProject();
    return project != nullptr ? project->CurrentPartObject() : nullptr;
}

void Select(QListWidget& list, std::int32_t index) {
    if (index < 0 || index >= list.count()) {
        return;
    }
    list.setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
    list.scrollToItem(list.item(index));
}

} // namespace

// ---- TProjectList -------------------------------------------------------------------------------

TProjectList::TProjectList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setItemDelegate(new TProjectItemDelegate(this));
    setFont(style::SansFont(13, true));
    QPalette pal = palette();
    pal.setColor(QPalette::Base, style::kWindowBack);
    pal.setColor(QPalette::Text, style::kText);
    setPalette(pal);
    setFrameShape(QFrame::NoFrame);
}

void TProjectList::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        emit RenameRequested();
        return;
    case Qt::Key_Delete:
        emit DeleteRequested();
        return;
    default:
        break;
    }
    const int before = currentRow();
    QListWidget::keyPressEvent(event);
    if (currentRow() != before) {
        emit KeyMoved();
    }
}

// ---- TProjectForm -------------------------------------------------------------------------------

TProjectForm::TProjectForm(IMainWindowCore& theCore, IProjectViews* theShell, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), core(theCore),
      shell(theShell) {
    setObjectName("ProjectForm");
    setWindowTitle("Project");
    QPalette pal = palette();
    pal.setColor(QPalette::Window, style::kWindowBack);
    pal.setColor(QPalette::WindowText, style::kText);
    setPalette(pal);
    setAutoFillBackground(true);
    setMinimumSize(300, 240);

    title = new TTitleBar(this);
    title->setObjectName("Title");
    title->SetCaption("Project");
    btnX = new TFlatSwitch(this);
    btnX->setObjectName("btnX");
    btnX->SetOnCaption("X");
    btnX->SetOffCaption("X");
    connect(btnX, &TFlatSwitch::OnClick, this, &QWidget::hide);

    lblSongs = AddLabel("lblSongs", "Songs");
    lblParts = AddLabel("lblParts", "Parts");
    lblConns = AddLabel("lblConns", "Connections");
    lbxSongs = AddList("lbxSongs");
    lbxParts = AddList("lbxParts");
    lbxConns = AddList("lbxConns");

    songButtons = AddButtons("Song", {&TProjectForm::AddSongClick, &TProjectForm::DelSongClick,
                                      &TProjectForm::CopySongClick, &TProjectForm::PasteSongClick,
                                      nullptr, nullptr});
    connect(songButtons[4], &QPushButton::clicked, this, [this] { MoveSong(-1); });
    connect(songButtons[5], &QPushButton::clicked, this, [this] { MoveSong(+1); });
    partButtons = AddButtons("Part", {&TProjectForm::AddPartClick, &TProjectForm::DelPartClick,
                                      &TProjectForm::CopyPartClick, &TProjectForm::PastePartClick,
                                      nullptr, nullptr});
    connect(partButtons[4], &QPushButton::clicked, this, [this] { MovePart(-1); });
    connect(partButtons[5], &QPushButton::clicked, this, [this] { MovePart(+1); });
    connButtons = AddButtons("Conn", {&TProjectForm::AddConnClick, &TProjectForm::DelConnClick,
                                      &TProjectForm::CopyConnClick, &TProjectForm::PasteConnClick,
                                      nullptr, nullptr});
    connect(connButtons[4], &QPushButton::clicked, this, [this] { MoveConn(-1); });
    connect(connButtons[5], &QPushButton::clicked, this, [this] { MoveConn(+1); });

    connect(lbxSongs, &QListWidget::itemClicked, this, [this] { SongClicked(); });
    connect(lbxSongs, &TProjectList::KeyMoved, this, &TProjectForm::SongClicked);
    connect(lbxSongs, &QListWidget::itemDoubleClicked, this, [this] { RenameSong(); });
    connect(lbxSongs, &TProjectList::RenameRequested, this, &TProjectForm::RenameSong);
    connect(lbxSongs, &TProjectList::DeleteRequested, this, &TProjectForm::DelSongClick);
    connect(lbxParts, &QListWidget::itemClicked, this, [this] { PartClicked(); });
    connect(lbxParts, &TProjectList::KeyMoved, this, &TProjectForm::PartClicked);
    connect(lbxParts, &QListWidget::itemDoubleClicked, this, [this] { RenamePart(); });
    connect(lbxParts, &TProjectList::RenameRequested, this, &TProjectForm::RenamePart);
    connect(lbxParts, &TProjectList::DeleteRequested, this, &TProjectForm::DelPartClick);
    connect(lbxConns, &QListWidget::itemClicked, this, [this] { ConnectionClicked(); });
    connect(lbxConns, &TProjectList::KeyMoved, this, &TProjectForm::ConnectionClicked);
    connect(lbxConns, &QListWidget::itemDoubleClicked, this, [this] { RenameConnection(); });
    connect(lbxConns, &TProjectList::RenameRequested, this, &TProjectForm::RenameConnection);
    connect(lbxConns, &TProjectList::DeleteRequested, this, &TProjectForm::DelConnClick);

    btnClose = new QPushButton("Close", this);
    btnClose->setObjectName("btnClose");
    connect(btnClose, &QPushButton::clicked, this, &QWidget::hide);

    sizer = new TFlatFormSizer(this);
    sizer->setObjectName("Sizer");
    sizer->SetSize(kSizerSize);

    const TMainWindowPlacement placement =
        core.ReadPlacement(kSection, {0, 0, kDefaultWidth, kDefaultHeight, 0});
    move(placement.Left, placement.Top);
    resize(std::max(placement.Width, minimumWidth()), std::max(placement.Height, minimumHeight()));
}

TProjectForm::~TProjectForm() {
    TMainWindowPlacement placement;
    placement.Left = pos().x();
    placement.Top = pos().y();
    placement.Width = width();
    placement.Height = height();
    placement.State = 0;
    core.WritePlacement(kSection, placement);
}

TProjectList* TProjectForm::AddList(const char* name) {
    auto* list = new TProjectList(this);
    list->setObjectName(name);
    return list;
}

QLabel* TProjectForm::AddLabel(const char* name, const QString& caption) {
    auto* label = new QLabel(caption, this);
    label->setObjectName(name);
    label->setFont(style::SansFont(13, true));
    return label;
}

std::array<QPushButton*, 6>
TProjectForm::AddButtons(const char* suffix, std::array<void (TProjectForm::*)(), 6> handlers) {
    static constexpr std::array<const char*, 6> kVerbs{"Add", "Del", "Copy", "Paste", "Up", "Down"};
    std::array<QPushButton*, 6> buttons{};
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        auto* button = new QPushButton(kVerbs[i], this);
        button->setObjectName(QString("btn%1%2").arg(kVerbs[i], suffix));
        button->setFocusPolicy(Qt::NoFocus);
        button->setFont(style::SansFont(11));
        if (handlers[i] != nullptr) {
            connect(button, &QPushButton::clicked, this, handlers[i]);
        }
        buttons[i] = button;
    }
    return buttons;
}

void TProjectForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    PlaceControls();
}

void TProjectForm::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange) {
        PlaceControls();
    }
}

void TProjectForm::PlaceControls() {
    const int w = width();
    const int h = height();
    const int half = w / 2;
    title->setGeometry(0, 0, w, TTitleBar::kHeight);
    btnX->setGeometry(w - 18 - kCloseSize / 2, (TTitleBar::kHeight - kCloseSize) / 2, kCloseSize,
                      kCloseSize);
    const int listHeight = h / 2 - 64;
    const int labelTop = TTitleBar::kHeight + 2;
    const int buttonTop = labelTop + 18;
    const int listTop = buttonTop + kButtonHeight + 4;
    auto placeButtons = [](const std::array<QPushButton*, 6>& buttons, int left, int top) {
        for (std::size_t i = 0; i < buttons.size(); ++i) {
            buttons[i]->setGeometry(left + static_cast<int>(i) * kButtonStep, top, kButtonWidth,
                                    kButtonHeight);
        }
    };
    lblSongs->setGeometry(8, labelTop, half - 10, 18);
    placeButtons(songButtons, 8, buttonTop);
    lbxSongs->setGeometry(8, listTop, half - 10, listHeight);
    lblParts->setGeometry(half, labelTop, half - 10, 18);
    placeButtons(partButtons, half, buttonTop);
    lbxParts->setGeometry(half, listTop, half - 10, listHeight);
    const int connTop = h / 2 + 32;
    // The connections' caption and buttons share the row above their list.
    const int connRow = connTop - kButtonHeight - 3;
    const int captionWidth = lblConns->fontMetrics().horizontalAdvance(lblConns->text()) + 12;
    lblConns->setGeometry(8, connRow, captionWidth, kButtonHeight);
    placeButtons(connButtons, 8 + captionWidth, connRow);
    lbxConns->setGeometry(8, connTop, w - 17, h / 2 - 64);
    btnClose->setGeometry(w - 90, h - 29, 75, 24);
    sizer->raise();
}

void TProjectForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Refresh();
    emit VisibilityChanged(true);
}

void TProjectForm::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    emit VisibilityChanged(false);
}

// ---- Views
// ---------------------------------------------------------------------------------------

void TProjectForm::SetBusyCursor(bool busy) {
    if (shell != nullptr) {
        shell->SetBusyCursor(busy);
    }
}

void TProjectForm::ProcessPendingMessages() {
    if (shell != nullptr) {
        shell->ProcessPendingMessages();
    }
}

void TProjectForm::UpdateAllMixers() {
    if (shell != nullptr) {
        shell->UpdateAllMixers();
    }
}

void TProjectForm::FillSongList() {
    lbxSongs->clear();
    TProject* project = ActiveProject();
    if (project == nullptr || project->SongCount() == 0) {
        ClearParts();
        ClearConnections();
        return;
    }
    for (std::int32_t i = 0; i < project->SongCount(); ++i) {
        lbxSongs->addItem(QString::fromStdString(project->SongAt(i)->Name));
    }
}

void TProjectForm::FillPartList(TSong& song) {
    lbxParts->clear();
    for (std::int32_t i = 0; i < song.PartCount(); ++i) {
        lbxParts->addItem(QString::fromStdString(song.PartAt(i)->Name));
    }
    if (song.PartCount() == 0) {
        ClearConnections();
    }
}

void TProjectForm::FillConnectionList(TPart& part) {
    lbxConns->clear();
    for (std::int32_t i = 0; i < part.ConnectionCount(); ++i) {
        lbxConns->addItem(QString::fromStdString(part.ConnectionAt(i)->Name));
    }
}

void TProjectForm::ShowConnectionInInspector(std::int32_t index) {
    if (inspectorShow) {
        inspectorShow(index);
    }
}

void TProjectForm::SelectSong(std::int32_t index) {
    Select(*lbxSongs, index);
}

void TProjectForm::SelectPart(std::int32_t index) {
    Select(*lbxParts, index);
}

void TProjectForm::SelectConnection(std::int32_t index) {
    Select(*lbxConns, index);
}

// ---- Helpers
// -------------------------------------------------------------------------------------

void TProjectForm::ClearParts() {
    lbxParts->clear();
}

void TProjectForm::ClearConnections() {
    lbxConns->clear();
}

void TProjectForm::DisableInspector() {
    if (IInspectorView* inspector = InspectorView()) {
        inspector->DisableControls();
    }
}

void TProjectForm::StoreInspector() {
    IInspectorView* inspector = InspectorView();
    TPart* part = CurrentPartObject();
    TConnection* connection = part != nullptr ? part->ConnectionAt(CurrentConnection) : nullptr;
    if (inspector != nullptr && connection != nullptr && inspector->Visible()) {
        inspector->StoreControls(*connection);
    }
}

void TProjectForm::KeepCurrentInModel() {
    if (TSong* song = CurrentSongObject()) {
        song->LastPart = CurrentPart;
    }
    if (TPart* part = CurrentPartObject()) {
        part->LastConnection = CurrentConnection;
    }
}

void TProjectForm::SelectCurrent() {
    Select(*lbxSongs, CurrentSong);
    Select(*lbxParts, CurrentPart);
    Select(*lbxConns, CurrentConnection);
}

void TProjectForm::HandOverStrips(TPart* next) {
    CurrentStrips.store(next != nullptr ? next->Strips.get() : nullptr, std::memory_order_release);
}

void TProjectForm::EnterPart(TPart& part) {
    SyncRoutingPart();
    HandOverStrips(&part);
    UpdateAllMixers();
    part.ApplyState();
}

void TProjectForm::Refresh() {
    TProject* project = ActiveProject();
    lbxSongs->clear();
    ClearParts();
    ClearConnections();
    if (project == nullptr) {
        return;
    }
    if (CurrentSong < 0 || CurrentSong >= project->SongCount()) {
        CurrentSong = project->SongCount() > 0 ? 0 : -1;
    }
    FillSongs();
    if (CurrentSong < 0) {
        DisableInspector();
        return;
    }
    const std::int32_t part = CurrentPart;
    const std::int32_t connection = CurrentConnection;
    SelectSong(CurrentSong);
    SongClicked();
    // The song click takes the song's LastPart; bring back what was current before.
    if (part >= 0 && part < lbxParts->count() && part != CurrentPart) {
        SelectPart(part);
        PartClicked();
    }
    if (connection >= 0 && connection < lbxConns->count() && connection != CurrentConnection) {
        SelectConnection(connection);
        ConnectionClicked();
    }
}

// ---- Clicks
// ---------------------------------------------------------------------------------------

void TProjectForm::SongClicked() {
    TProject* project = ActiveProject();
    if (project == nullptr) {
        return;
    }
    LeaveCurrent();
    CurrentSong = -1;
    ClearParts();
    ClearConnections();
    const int row = FirstSelected(*lbxSongs);
    TSong* song = project->SongAt(row);
    if (song == nullptr) {
        CurrentPart = -1;
        CurrentConnection = -1;
        SyncRoutingPart();
        return;
    }
    CurrentSong = row;
    CurrentPart = song->LastPart >= 0 && song->LastPart < song->PartCount() ? song->LastPart : -1;
    CurrentConnection = -1;
    SyncRoutingPart();
    FillParts(*song);
    song->ApplySlots();
    TPart* part = song->PartAt(CurrentPart);
    if (part == nullptr) {
        DisableInspector();
        return;
    }
    SelectPart(CurrentPart);
    EnterPart(*part);
    if (part->ConnectionCount() > 0 && part->ConnectionAt(part->LastConnection) != nullptr) {
        CurrentConnection = part->LastConnection;
        ShowConnectionInInspector(CurrentConnection);
        SelectConnection(CurrentConnection);
    }
}

void TProjectForm::PartClicked() {
    TSong* song = CurrentSongObject();
    if (song == nullptr) {
        return;
    }
    LeaveCurrent();
    CurrentPart = -1;
    CurrentConnection = -1;
    ClearConnections();
    const int row = FirstSelected(*lbxParts);
    TPart* part = song->PartAt(row);
    if (part == nullptr) {
        SyncRoutingPart();
        return;
    }
    CurrentPart = row;
    song->LastPart = row;
    SyncRoutingPart();
    FillConnections(*part);
    if (part->ConnectionAt(part->LastConnection) != nullptr) {
        CurrentConnection = part->LastConnection;
        ShowConnectionInInspector(CurrentConnection);
        SelectConnection(CurrentConnection);
    }
    EnterPart(*part);
}

void TProjectForm::ConnectionClicked() {
    TPart* part = CurrentPartObject();
    if (part == nullptr) {
        return;
    }
    StoreInspector();
    CurrentConnection = -1;
    const int row = FirstSelected(*lbxConns);
    if (part->ConnectionAt(row) == nullptr) {
        return;
    }
    CurrentConnection = row;
    part->LastConnection = row;
    ShowConnectionInInspector(row);
}

// ---- Renaming
// ---------------------------------------------------------------------------------------

void TProjectForm::RenameSong() {
    TSong* song = CurrentSongObject();
    if (song == nullptr) {
        return;
    }
    std::string name = song->Name;
    if (!AskName(kStrSongNameTitle, kStrSongNamePrompt, name)) {
        return;
    }
    song->Name = name;
    KeepCurrentInModel();
    FillSongs();
    SelectCurrent();
}

void TProjectForm::RenamePart() {
    TPart* part = CurrentPartObject();
    if (part == nullptr) {
        return;
    }
    std::string name = part->Name;
    if (!AskName(kStrPartNameTitle, kStrPartNamePrompt, name)) {
        return;
    }
    part->Name = name;
    KeepCurrentInModel();
    FillSongs();
    SelectCurrent();
}

void TProjectForm::RenameConnection() {
    TPart* part = CurrentPartObject();
    TConnection* connection = part != nullptr ? part->ConnectionAt(CurrentConnection) : nullptr;
    if (connection == nullptr) {
        return;
    }
    std::string name = connection->Name;
    if (!AskName(kStrConnectionNameTitle, kStrConnectionNameTitle, name)) {
        return;
    }
    connection->Name = name;
    KeepCurrentInModel();
    FillSongs();
    SelectCurrent();
}

// ---- Songs
// ---------------------------------------------------------------------------------------------

void TProjectForm::AddSongClick() {
    TProject* project = ActiveProject();
    if (project == nullptr) {
        return;
    }
    ClearParts();
    ClearConnections();
    // Leaving the song keeps its plugins, its last part and that part's state.
    LeaveCurrent();
    std::string name = "new song";
    if (!AskName(kStrSongNameTitle, kStrSongNamePrompt, name)) {
        SelectCurrent();
        if (TSong* song = CurrentSongObject()) {
            FillPartList(*song);
            if (TPart* part = CurrentPartObject()) {
                FillConnectionList(*part);
            }
            SelectCurrent();
        }
        return;
    }
    TSong* song = project->AddSong();
    CurrentSong = project->SongCount() - 1;
    song->Name = name;
    song->LastPart = -1;
    CurrentPart = -1;
    CurrentConnection = -1;
    SyncRoutingPart();
    FillSongs();
    SelectSong(CurrentSong);
    // A new song has every slot empty: its plugins leave.
    song->ApplySlots();
}

void TProjectForm::DelSongClick() {
    TProject* project = ActiveProject();
    if (project == nullptr || project->SongAt(CurrentSong) == nullptr) {
        return;
    }
    const std::int32_t deleted = CurrentSong;
    // The song that becomes current, and its first part, before the deleted one goes.
    TSong* next = project->SongAt(deleted + 1 < project->SongCount() ? deleted + 1 : deleted - 1);
    TPart* nextPart = next != nullptr ? next->PartAt(0) : nullptr;
    CurrentPart = -1;
    SyncRoutingPart();
    HandOverStrips(nextPart);
    project->DeleteSong(deleted);
    CurrentSong = IndexAfterDelete(deleted, project->SongCount());
    CurrentConnection = -1;
    if (next != nullptr) {
        next->LastPart = nextPart != nullptr ? 0 : -1;
        if (nextPart != nullptr) {
            nextPart->LastConnection = nextPart->ConnectionCount() > 0 ? 0 : -1;
        }
    }
    FillSongs();
    if (next == nullptr) {
        CurrentPart = -1;
        CurrentConnection = -1;
        DisableInspector();
        return;
    }
    SelectSong(CurrentSong);
    // The song that is now current plays with its own plugins.
    next->ApplySlots();
    if (nextPart == nullptr) {
        return;
    }
    CurrentPart = 0;
    EnterPart(*nextPart);
    SelectPart(0);
    CurrentConnection = nextPart->ConnectionCount() > 0 ? 0 : -1;
    if (CurrentConnection >= 0) {
        SelectConnection(0);
        ShowConnectionInInspector(0);
    }
}

void TProjectForm::CopySongClick() {
    TSong* song = CurrentSongObject();
    if (song == nullptr) {
        return;
    }
    song->CaptureSlots();
    songClip = CopySong(*song);
}

void TProjectForm::PasteSongClick() {
    TProject* project = ActiveProject();
    if (project == nullptr || songClip == nullptr) {
        return;
    }
    LeaveCurrent();
    std::string name = songClip->Name;
    if (!AskName(kStrSongNameTitle, kStrSongNamePrompt, name)) {
        return;
    }
    TSong* song = project->AddSong();
    CopySong(*songClip, *song);
    song->Name = name;
    CurrentSong = project->SongCount() - 1;
    TPart* part = song->PartAt(0);
    CurrentPart = part != nullptr ? 0 : -1;
    CurrentConnection = part != nullptr && part->ConnectionCount() > 0 ? 0 : -1;
    song->LastPart = CurrentPart;
    if (part != nullptr) {
        part->LastConnection = CurrentConnection;
    }
    SyncRoutingPart();
    FillSongs();
    // The pasted song becomes current, so its plugins must be the ones in the slots: leaving it
    // later captures the slots into it.
    song->ApplySlots();
    if (part == nullptr || CurrentConnection < 0) {
        DisableInspector();
    }
    if (part != nullptr) {
        EnterPart(*part);
    }
    SelectCurrent();
}

void TProjectForm::MoveSong(int direction) {
    TProject* project = ActiveProject();
    if (project == nullptr || CurrentSong < 0) {
        return;
    }
    const std::int32_t other = CurrentSong + direction;
    if (other < 0 || other >= project->SongCount()) {
        return;
    }
    KeepCurrentInModel();
    project->SwapSongs(CurrentSong, other);
    CurrentSong = other;
    FillSongs();
    SelectCurrent();
}

// ---- Parts
// ---------------------------------------------------------------------------------------------

void TProjectForm::AddPartClick() {
    TSong* song = CurrentSongObject();
    if (song == nullptr) {
        return;
    }
    ClearConnections();
    if (TPart* current = CurrentPartObject()) {
        current->LastConnection = CurrentConnection;
        current->CaptureState();
    }
    std::string name = "new part";
    if (!AskName(kStrPartNameTitle, kStrPartNamePrompt, name)) {
        if (TPart* current = CurrentPartObject()) {
            FillConnectionList(*current);
        }
        SelectCurrent();
        return;
    }
    TPart* part = song->AddPart();
    CurrentPart = song->PartCount() - 1;
    CurrentConnection = -1;
    part->Name = name;
    part->LastConnection = -1;
    song->LastPart = CurrentPart;
    SyncRoutingPart();
    FillParts(*song);
    // The new part starts with the programs and states that sound now.
    part->CaptureState();
    SelectPart(CurrentPart);
    HandOverStrips(part);
    UpdateAllMixers();
}

void TProjectForm::DelPartClick() {
    TSong* song = CurrentSongObject();
    if (song == nullptr || song->PartAt(CurrentPart) == nullptr) {
        return;
    }
    const std::int32_t deleted = CurrentPart;
    TPart* next = song->PartAt(deleted + 1 < song->PartCount() ? deleted + 1 : deleted - 1);
    CurrentPart = -1;
    CurrentConnection = -1;
    SyncRoutingPart();
    HandOverStrips(next);
    song->DeletePart(deleted);
    CurrentPart = IndexAfterDelete(deleted, song->PartCount());
    song->LastPart = CurrentPart;
    if (next != nullptr) {
        next->LastConnection = next->ConnectionCount() > 0 ? 0 : -1;
    }
    FillParts(*song);
    SelectSong(CurrentSong);
    if (next == nullptr) {
        SyncRoutingPart();
        UpdateAllMixers();
        DisableInspector();
        return;
    }
    EnterPart(*next);
    SelectPart(CurrentPart);
    CurrentConnection = next->LastConnection;
    if (CurrentConnection >= 0) {
        SelectConnection(0);
        ShowConnectionInInspector(0);
    }
}

void TProjectForm::CopyPartClick() {
    TPart* part = CurrentPartObject();
    if (part == nullptr) {
        return;
    }
    part->CaptureState();
    partClip = CopyPart(*part);
}

void TProjectForm::PastePartClick() {
    TSong* song = CurrentSongObject();
    if (song == nullptr || partClip == nullptr) {
        return;
    }
    if (TPart* current = CurrentPartObject()) {
        current->LastConnection = CurrentConnection;
        current->CaptureState();
    }
    std::string name = partClip->Name;
    if (!AskName(kStrPartNameTitle, kStrPartNamePrompt, name)) {
        return;
    }
    TPart* part = song->AddPart();
    CopyPart(*partClip, *part);
    part->Name = name;
    CurrentPart = song->PartCount() - 1;
    CurrentConnection = part->ConnectionCount() > 0 ? 0 : -1;
    part->LastConnection = CurrentConnection;
    song->LastPart = CurrentPart;
    SyncRoutingPart();
    FillSongs();
    if (CurrentConnection < 0) {
        DisableInspector();
    }
    EnterPart(*part);
    SelectCurrent();
}

void TProjectForm::MovePart(int direction) {
    TSong* song = CurrentSongObject();
    if (song == nullptr || CurrentPart < 0) {
        return;
    }
    const std::int32_t other = CurrentPart + direction;
    if (other < 0 || other >= song->PartCount()) {
        return;
    }
    KeepCurrentInModel();
    song->SwapParts(CurrentPart, other);
    CurrentPart = other;
    song->LastPart = other;
    FillSongs();
    SelectCurrent();
}

// ---- Connections
// ---------------------------------------------------------------------------------------

void TProjectForm::AddConnClick() {
    TPart* part = CurrentPartObject();
    if (part == nullptr) {
        return;
    }
    std::string name = "new connection";
    if (!AskName(kStrConnectionNameTitle, kStrConnectionNamePrompt, name)) {
        return;
    }
    StoreInspector();
    TConnection* connection = part->AddConnection();
    if (connection == nullptr) {
        return; // full: AddConnection said so
    }
    connection->Name = name;
    CurrentConnection = part->ConnectionCount() - 1;
    part->LastConnection = CurrentConnection;
    FillConnections(*part);
    SelectConnection(CurrentConnection);
}

void TProjectForm::DelConnClick() {
    TPart* part = CurrentPartObject();
    if (part == nullptr || part->ConnectionAt(CurrentConnection) == nullptr) {
        return;
    }
    const std::int32_t deleted = CurrentConnection;
    part->DeleteConnection(deleted);
    CurrentConnection = IndexAfterDelete(deleted, part->ConnectionCount());
    part->LastConnection = CurrentConnection;
    FillConnections(*part);
    SelectConnection(CurrentConnection);
}

void TProjectForm::CopyConnClick() {
    TPart* part = CurrentPartObject();
    TConnection* connection = part != nullptr ? part->ConnectionAt(CurrentConnection) : nullptr;
    if (connection == nullptr) {
        return;
    }
    StoreInspector();
    connClip = CopyConnection(*connection);
}

void TProjectForm::PasteConnClick() {
    TPart* part = CurrentPartObject();
    if (part == nullptr || connClip == nullptr) {
        return;
    }
    std::string name = connClip->Name;
    if (!AskName(kStrConnectionNameTitle, kStrConnectionNamePrompt, name)) {
        return;
    }
    StoreInspector();
    TConnection* connection = part->AddConnection();
    if (connection == nullptr) {
        return;
    }
    CopyConnection(*connClip, *connection);
    connection->Name = name;
    CurrentConnection = part->ConnectionCount() - 1;
    part->LastConnection = CurrentConnection;
    FillConnections(*part);
    SelectConnection(CurrentConnection);
}

void TProjectForm::MoveConn(int direction) {
    TPart* part = CurrentPartObject();
    if (part == nullptr || CurrentConnection < 0) {
        return;
    }
    const std::int32_t other = CurrentConnection + direction;
    if (other < 0 || other >= part->ConnectionCount()) {
        return;
    }
    StoreInspector();
    part->SwapConnections(CurrentConnection, other);
    CurrentConnection = other;
    KeepCurrentInModel();
    FillSongs();
    SelectCurrent();
}

} // namespace peldor
