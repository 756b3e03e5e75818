#pragma once
// The project window: songs top left, the current song's parts top right, the current part's
// connections below, each list with Add, Del, Copy, Paste, Up and Down. Clicking an entry makes
// it current (a song loads its plugins, a part activates its connections and plugin state, a
// connection is shown in the inspector). The lists can be driven from the keyboard alone:
// arrows move and make current, Enter renames, Delete deletes.
//
// The window works on the open project (project/project_model.h) and on the part and song
// switching (midi/switching.h); it owns no project data, only its three clipboards.
//
// Window thread only.

#include "project/project_views.h"

#include <QListWidget>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class QLabel;
class QPushButton;

namespace peldor {

class IMainWindowCore;
class TConnection;
class TFlatFormSizer;
class TFlatSwitch;
class TPart;
class TSong;
class TTitleBar;

/// One of the three lists: fixed item height, owner-drawn, and the keys a performer without a
/// mouse needs.
class TProjectList final : public QListWidget {
    Q_OBJECT
public:
    static constexpr int kItemHeight = 17;
    explicit TProjectList(QWidget* parent = nullptr);

signals:
    /// The user moved to another entry with the keyboard.
    void KeyMoved();
    /// Enter or Return: rename the entry.
    void RenameRequested();
    /// Delete: delete the entry.
    void DeleteRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

class TProjectForm final : public QWidget, public IProjectViews {
    Q_OBJECT
public:
    /// Default size; the placement lives in the settings section "ProjectForm".
    static constexpr int kDefaultWidth = 506;
    static constexpr int kDefaultHeight = 389;

    /// shell: the busy cursor, pending messages and the mixers (the main window's views);
    /// may be null.
    TProjectForm(IMainWindowCore& core, IProjectViews* shell, QWidget* parent = nullptr);
    ~TProjectForm() override;

    /// Clears the lists, refills them from the project and makes the current song, part and
    /// connection current again, as clicking them would. On showing and after a project file
    /// was read.
    void Refresh();

    // IProjectViews: the lists; the rest goes to the shell.
    void SetBusyCursor(bool busy) override;
    void ProcessPendingMessages() override;
    void FillSongList() override;
    void FillPartList(TSong& song) override;
    /// Display only: the activation messages are sent by the views the core installed.
    void FillConnectionList(TPart& part) override;
    void ShowConnectionInInspector(std::int32_t index) override;
    void SelectSong(std::int32_t index) override;
    void SelectPart(std::int32_t index) override;
    void SelectConnection(std::int32_t index) override;
    void UpdateAllMixers() override;

    /// Shows a connection of the current part in the inspector; set by the main window.
    void SetInspectorShow(std::function<void(std::int32_t)> show) {
        inspectorShow = std::move(show);
    }

    // The handlers, public for the main window's menu and for tests.
    void SongClicked();
    void PartClicked();
    void ConnectionClicked();
    void RenameSong();
    void RenamePart();
    void RenameConnection();
    void AddSongClick();
    void AddPartClick();
    void AddConnClick();
    void DelSongClick();
    void DelPartClick();
    void DelConnClick();
    void CopySongClick();
    void CopyPartClick();
    void CopyConnClick();
    void PasteSongClick();
    void PastePartClick();
    void PasteConnClick();
    void MoveSong(int direction);
    void MovePart(int direction);
    void MoveConn(int direction);

    TProjectList* Songs() const { return lbxSongs; }
    TProjectList* Parts() const { return lbxParts; }
    TProjectList* Connections() const { return lbxConns; }
    bool HasSongClip() const { return songClip != nullptr; }
    bool HasPartClip() const { return partClip != nullptr; }
    bool HasConnectionClip() const { return connClip != nullptr; }

signals:
    void VisibilityChanged(bool visible);

protected:
    void resizeEvent(QResizeEvent* event) override;
    /// A language switch changes the captions: the connections' buttons follow their caption.
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void PlaceControls();
    TProjectList* AddList(const char* name);
    QLabel* AddLabel(const char* name, const QString& caption);
    std::array<QPushButton*, 6> AddButtons(const char* suffix,
                                           std::array<void (TProjectForm::*)(), 6> handlers);
    /// Makes part (of the current song) current: routing, strip table and mixers, plugin state.
    void EnterPart(TPart& part);
    /// CurrentStrips names the table of the part that becomes current (or none) before a part
    /// that may hold the current table is released.
    void HandOverStrips(TPart* next);
    /// The current indices written back into the song's LastPart and the part's
    /// LastConnection, so that a refill shows what is current.
    void KeepCurrentInModel();
    /// Selects the current song, part and connection in the lists.
    void SelectCurrent();
    void DisableInspector();
    void StoreInspector();
    void ClearParts();
    void ClearConnections();

    IMainWindowCore& core;
    IProjectViews* shell;
    std::function<void(std::int32_t)> inspectorShow;
    TTitleBar* title = nullptr;
    TFlatSwitch* btnX = nullptr;
    QPushButton* btnClose = nullptr;
    TFlatFormSizer* sizer = nullptr;
    TProjectList* lbxSongs = nullptr;
    TProjectList* lbxParts = nullptr;
    TProjectList* lbxConns = nullptr;
    QLabel* lblSongs = nullptr;
    QLabel* lblParts = nullptr;
    QLabel* lblConns = nullptr;
    std::array<QPushButton*, 6> songButtons{};
    std::array<QPushButton*, 6> partButtons{};
    std::array<QPushButton*, 6> connButtons{};
    std::unique_ptr<TSong> songClip;
    std::unique_ptr<TPart> partClip;
    std::unique_ptr<TConnection> connClip;
};

} // namespace peldor
