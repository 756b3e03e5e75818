#pragma once
// Mixer 1 - MIDI: eight of the 64 MIDI connection strips at a time (pages "1".."8"), each with
// its level fader (0-127), pan, chorus and reverb knobs, mute and solo switches and name. The
// fader and pan knob of the current connection's strip also set that connection's Volume and
// Pan, which are sent at once. No meters: MIDI connection strips carry no audio.
//
// Window thread only.

#include "ui/mixer_form.h"

namespace peldor {

class TMixer1Form final : public TMixerForm {
    Q_OBJECT
public:
    static constexpr int kWidth = 378;
    static constexpr int kHeight = 416;
    static constexpr int kStripsPerPage = 8;

    /// Creates the window (hidden) with page 1 loaded; reads its placement.
    TMixer1Form(IMixerCore& core, TMixerHooks hooks, QWidget* parent = nullptr);

    /// Page 1-8, as clicking its switch does.
    void PageClick(int page);
    int Page() const { return page; }
    /// The first strip shown: 8 x (page - 1).
    std::int32_t FirstStrip() const { return kStripsPerPage * (page - 1); }
    TFlatSwitch* PageSwitch(int page) const;

protected:
    std::int32_t StripIndex(const TStripColumn& column) const override {
        return FirstStrip() + column.Index;
    }
    void LevelChange() override;
    void PanChange() override;
    void ReverbChange() override;
    void showEvent(QShowEvent* event) override;

private:
    int page = 1;
    std::array<TFlatSwitch*, kStripsPerPage> pages{};
};

} // namespace peldor
