#pragma once
// What the four mixer windows share: a borderless, stay-on-top tool window with its title bar,
// close switch "X" and resize grip; strip columns of faders, knobs, mute and solo switches and
// name panels; the loading of a group of controls from CurrentStrips (UpdateControls); the
// change handlers that write the strips; the fader meters; and the placement in the settings
// file.
//
// Every control writes straight into CurrentStrips, where the next audio block picks it up;
// loading controls never fires their handlers (the flat controls fire only on user input).
//
// Window thread only.

#include "ui/mixer_core.h"

#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

class QLabel;
class QScrollArea;

namespace peldor {

class TFlatFader;
class TFlatFormSizer;
class TFlatKnob;
class TFlatSwitch;
class TTitleBar;

/// The update groups of UpdateControls.
enum TMixerGroup : int {
    kGroupMonSends = 0,
    kGroupAuxSends = 1,
    kGroupPans = 2,
    kGroupLevels = 3,
    kGroupMuteSolo = 4,
    kGroupReverbChorus = 5,
    kGroupNames = 6,
    kGroupSettings = 7,
    kGroupCount = 8,
};

/// What a mixer window asks of the main window.
struct TMixerHooks {
    /// UpdateMixers(group): every existing mixer window reloads the group.
    std::function<void(int)> UpdateMixers;
    /// Shows a text in status panel 0 (Mixer 1's reverb value).
    std::function<void(const QString&)> ShowHint;
};

/// One strip's column. Controls a window does not have stay null.
struct TStripColumn {
    std::int32_t Kind = 0;
    /// Index within the kind; Mixer 1 adds its page's first strip.
    std::int32_t Index = 0;
    QLabel* Name = nullptr;
    TFlatFader* Level = nullptr;
    TFlatKnob* Pan = nullptr;
    std::array<TFlatKnob*, 4> Aux{};
    std::array<TFlatKnob*, 2> Mon{};
    TFlatKnob* Chorus = nullptr;
    TFlatKnob* Reverb = nullptr;
    TFlatSwitch* Mute = nullptr;
    TFlatSwitch* Solo = nullptr;
};

/// Table index 0-95 of a strip given by kind and index within the kind; -1 when none.
int StripTableIndex(std::int32_t kind, std::int32_t index);

/// x 127 rounded to the nearest integer, halves to even (reverb, chorus, a connection's volume
/// and pan).
std::int32_t RoundTo127(double position);

class TMixerForm : public QWidget {
    Q_OBJECT
public:
    /// The knobs a column has, top-down; the roles name the knobs (kNoKnob leaves a row empty).
    enum TKnobRole { kAux1, kAux2, kAux3, kAux4, kMon1, kMon2, kPan, kChorus, kReverb, kNoKnob };

    ~TMixerForm() override;

    /// Loads a group of controls (TMixerGroup) from CurrentStrips, or group 7 from the mixer
    /// settings. Nothing when CurrentStrips is none; groups without controls are ignored.
    void UpdateControls(int group);
    /// The main window's timer: the fader meters from the strips' MeterL (Mixers 2-4).
    virtual void UpdateMeters() {}

    const std::vector<TStripColumn>& Columns() const { return columns; }
    TTitleBar* TitleBar() const { return title; }
    TFlatSwitch* CloseSwitch() const { return btnX; }
    /// The widget the strips sit on (inside a scroll area under the title bar).
    QWidget* Panel() const { return panel; }

signals:
    /// FormShow (true) and FormHide (false): the main window ticks its menu entry.
    void VisibilityChanged(bool visible);

protected:
    TMixerForm(IMixerCore& core, TMixerHooks hooks, const char* name, const QString& caption,
               QSize defaultSize, QSize panelSize, QWidget* parent);

    /// The strip index of a column as the handlers and loads use it.
    virtual std::int32_t StripIndex(const TStripColumn& column) const { return column.Index; }
    /// Group 7 (Mixer 2).
    virtual void LoadSettings() {}

    /// Builds a strip column from the top: name panel, knob rows, fader, mute and solo
    /// switches; suffix numbers the controls ("1", "01"). Connects the handlers.
    TStripColumn& AddColumn(std::int32_t kind, std::int32_t index, const QString& suffix, int x,
                            int width, int top, int bottom, const std::vector<TKnobRole>& knobs,
                            bool withFader = true);
    /// A caption in the row-label gutter.
    QLabel* AddRowLabel(const QString& text, int x, int y, int width);
    TFlatSwitch* AddSwitch(const char* name, const QString& onCaption, const QString& offCaption,
                           bool autoCheck, const QRect& geometry);
    TFlatKnob* AddKnob(const QString& name, const QColor& fill, const QRect& geometry);

    /// Loads the window's groups at creation, in the given order; then reads its placement.
    void LoadGroups(std::initializer_list<int> groups);

    // Change handlers; the strip ones do nothing without CurrentStrips.
    virtual void LevelChange();
    virtual void PanChange();
    void AuxChange(int aux);
    void MonChange(int mon);
    void ChorusChange();
    virtual void ReverbChange();
    void MuteClick(const TStripColumn& column);
    void SoloClick(const TStripColumn& column);
    /// The faders' built-in bars from MeterL.
    void FeedFaderMeters();

    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

    IMixerCore& core;
    TMixerHooks hooks;
    std::vector<TStripColumn> columns;

    /// Row geometry of the strip columns.
    static constexpr int kNameHeight = 26;
    /// Below the strips: room for the resize grip in the corner.
    static constexpr int kBottomMargin = 14;
    static constexpr int kKnobRow = 30;
    static constexpr int kSwitchHeight = 22;
    static constexpr int kGap = 3;

private:
    const char* section;
    TTitleBar* title = nullptr;
    TFlatSwitch* btnX = nullptr;
    QScrollArea* scroll = nullptr;
    QWidget* panel = nullptr;
    TFlatFormSizer* sizer = nullptr;
};

} // namespace peldor
