#pragma once
// The rotary knob: a position between Min and Max, dragged vertically (200 pixels cover the
// range), with the audio taper's gain. Window thread only.

#include "ui/flat_control.h"

namespace peldor {

class TFlatKnob : public TFlatControl {
    Q_OBJECT
    Q_PROPERTY(float MinAngle READ MinAngle WRITE SetMinAngle)
    Q_PROPERTY(float MaxAngle READ MaxAngle WRITE SetMaxAngle)
    Q_PROPERTY(QColor BackColor READ BackColor WRITE SetBackColor)
    Q_PROPERTY(bool Fill READ Fill WRITE SetFill)
    Q_PROPERTY(TValPosition ValPosition READ ValPosition WRITE SetValPosition)

public:
    /// Where the value would be shown; stored for the window definitions, not drawn.
    enum TValPosition { vpBottom, vpTop, vpLeft, vpRight };
    Q_ENUM(TValPosition)

    /// Pixels of vertical mouse travel that cover the whole range.
    static constexpr int kDragRange = 200;

    explicit TFlatKnob(QWidget* parent = nullptr);

    float MinAngle() const { return minAngle; }
    float MaxAngle() const { return maxAngle; }
    /// Angles are brought into 0-360 and MinAngle kept below MaxAngle.
    void SetMinAngle(float value);
    void SetMaxAngle(float value);
    QColor BackColor() const { return backColor; }
    void SetBackColor(const QColor& c);
    bool Fill() const { return fill; }
    void SetFill(bool value);
    TValPosition ValPosition() const { return valPosition; }
    void SetValPosition(TValPosition value) { valPosition = value; }

    /// The pointer's angle in degrees, clockwise from straight down.
    double PointerAngle() const;

    QSize sizeHint() const override { return {36, 36}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void ValChanged() override { update(); }

private:
    float minAngle = 40.0f;
    float maxAngle = 320.0f;
    QColor backColor;
    bool fill = true;
    TValPosition valPosition = vpBottom;
    bool dragging = false;
    int dragStartY = 0;
    float dragStartVal = 0.0f;
};

} // namespace peldor
