#pragma once
// The vertical fader: a thumb on a track with a dB scale, and below it a box that shows the
// value or, fed by SetMeter, a level bar that falls on the fader's own 50 ms timer.
// Window thread only.

#include "ui/flat_control.h"

#include <QPixmap>
#include <QTimer>

#include <array>

namespace peldor {

class TFlatFader : public TFlatControl {
    Q_OBJECT

public:
    /// What the box below the track shows.
    enum class TBoxState { ValueShown, BarRising, BarFalling, Idle };

    static constexpr int kValueBoxHeight = 14;
    static constexpr int kThumbHeight = 20;
    /// Ticks the value stays shown after a change before the bar may take the box back.
    static constexpr int kValueShownTicks = 25;
    static constexpr int kTimerMs = 50;

    explicit TFlatFader(QWidget* parent = nullptr);

    /// The taper's gain, but 0.0 below position 0.001.
    double Gain() const override;
    /// Feeds the level bar with a linear level (limited to 0.01-1.0); only a level above the
    /// bar's current one raises it. Never fires OnChange and draws nothing until the next tick.
    void SetMeter(double level);

    /// One step of the box's 50 ms timer (the timer calls it; tests call it directly).
    void TimerTick();

    TBoxState BoxState() const { return boxState; }
    /// The bar level m: 0.0 is -40 dB, 1.0 is 0 dB.
    double BarLevel() const { return barLevel; }
    /// How far the bar reaches in pixels while it is shown, 0 otherwise.
    int BarReach() const;
    bool Dragging() const { return dragging; }
    /// The thumb as last placed, the track's ends and the value box.
    QRect ThumbRect() const;
    int TrackTop() const;
    int TrackBottom() const;
    QRect ValueBoxRect() const;
    /// The position a thumb centred at y stands for.
    float PositionAt(double y) const;

    QSize sizeHint() const override { return {36, 160}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void ValChanged() override;
    void LookChanged() override;

private:
    void BuildImages();
    void PaintValueBox(QPainter& painter);
    /// What the box shows: the number of bar lines, or kBoxShowsValue.
    int BoxContent() const;
    /// Repaints the box when what it shows differs from what it last showed.
    void RefreshBox();
    int TrackX() const { return width() * 5 / 8; }

    QTimer timer;
    TBoxState boxState = TBoxState::Idle;
    int countdown = 0;
    double barLevel = -1.0;
    bool dragging = false;
    double grabOffset = 0.0;
    QRect lastThumb;
    int shownContent = -2; // BoxContent() as last asked to be painted
    // Drawn once per size and look: the background with track and scale marks, the empty box
    // and the box full of bar lines (a bar is the left part of the one beside the other).
    QPixmap scale;
    QPixmap emptyBox;
    QPixmap fullBar;
    // The largest font that fits a value text into the box, by text length (0: not yet known).
    std::array<int, 24> valueFontPx{};
};

} // namespace peldor
