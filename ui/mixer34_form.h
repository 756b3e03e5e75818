#pragma once
// Mixer 3 - Inputs (the four input strips) and Mixer 4 - VSTi (the sixteen instrument strips):
// per strip four aux sends, two monitor sends, pan, a level fader with its meter bar, mute,
// solo and the strip's name.
//
// Window thread only.

#include "ui/mixer_form.h"

namespace peldor {

/// The two send mixers; one class, two shapes.
class TSendMixerForm : public TMixerForm {
    Q_OBJECT
public:
    void UpdateMeters() override { FeedFaderMeters(); }

protected:
    TSendMixerForm(IMixerCore& core, TMixerHooks hooks, const char* name, const QString& caption,
                   QSize size, std::int32_t kind, int strips, int gutter, int columnWidth,
                   QWidget* parent);
};

class TMixer3Form final : public TSendMixerForm {
    Q_OBJECT
public:
    static constexpr int kWidth = 172;
    static constexpr int kHeight = 474;
    TMixer3Form(IMixerCore& core, TMixerHooks hooks, QWidget* parent = nullptr);
};

class TMixer4Form final : public TSendMixerForm {
    Q_OBJECT
public:
    static constexpr int kWidth = 664;
    static constexpr int kHeight = 474;
    TMixer4Form(IMixerCore& core, TMixerHooks hooks, QWidget* parent = nullptr);
};

} // namespace peldor
