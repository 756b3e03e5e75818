#pragma once
// What the knob and the fader share: the value range, the audio taper's gain and dB value of
// the position, the mouse wheel, the floating value while dragging, and the published colours.
// Window thread only.

#include <QColor>
#include <QString>
#include <QWidget>

class QLabel;

namespace peldor {

class TFlatControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(float Min READ Min WRITE SetMin)
    Q_PROPERTY(float Max READ Max WRITE SetMax)
    Q_PROPERTY(float Val READ Val WRITE SetVal)
    Q_PROPERTY(QColor FillColor READ FillColor WRITE SetFillColor)
    Q_PROPERTY(QColor MarkColor READ MarkColor WRITE SetMarkColor)
    Q_PROPERTY(QColor PenColor READ PenColor WRITE SetPenColor)
    Q_PROPERTY(int Thickness READ Thickness WRITE SetThickness)
    Q_PROPERTY(bool ShowValue READ ShowValue WRITE SetShowValue)
    Q_PROPERTY(QColor ValColor READ ValColor WRITE SetValColor)
    Q_PROPERTY(QColor ValFillColor READ ValFillColor WRITE SetValFillColor)
    Q_PROPERTY(QColor ValBorderColor READ ValBorderColor WRITE SetValBorderColor)
    Q_PROPERTY(QString ValUnit READ ValUnit WRITE SetValUnit)
    Q_PROPERTY(bool ShowTicks READ ShowTicks WRITE SetShowTicks)
    Q_PROPERTY(bool ShowEndMarks READ ShowEndMarks WRITE SetShowEndMarks)
    Q_PROPERTY(bool ShowDefMark READ ShowDefMark WRITE SetShowDefMark)
    Q_PROPERTY(float DefMark READ DefMark WRITE SetDefMark)
    Q_PROPERTY(float TickStep READ TickStep WRITE SetTickStep)
    Q_PROPERTY(QColor TickColor READ TickColor WRITE SetTickColor)

public:
    float Min() const { return min; }
    float Max() const { return max; }
    float Val() const { return val; }
    /// Keeps Min below Max (by 1e-7, or the next float when that is too fine) and Val inside.
    void SetMin(float value);
    void SetMax(float value);
    /// Sets the position (clamped) without firing OnChange.
    void SetVal(float value);

    /// The gain of the current position through the audio taper.
    virtual double Gain() const { return gain; }
    /// The dB value that belongs to the position (-120 after SetGain below the taper's floor).
    double dB() const { return dBValue; }
    /// Moves the control to the position of gain g without firing OnChange.
    void SetGain(double g);

    QColor FillColor() const { return fillColor; }
    void SetFillColor(const QColor& c) { SetColor(fillColor, c); }
    QColor MarkColor() const { return markColor; }
    void SetMarkColor(const QColor& c) { SetColor(markColor, c); }
    QColor PenColor() const { return penColor; }
    void SetPenColor(const QColor& c) { SetColor(penColor, c); }
    int Thickness() const { return thickness; }
    void SetThickness(int value);
    bool ShowValue() const { return showValue; }
    void SetShowValue(bool value) { showValue = value; }
    QColor ValColor() const { return valColor; }
    void SetValColor(const QColor& c) { SetColor(valColor, c); }
    QColor ValFillColor() const { return valFillColor; }
    void SetValFillColor(const QColor& c) { SetColor(valFillColor, c); }
    QColor ValBorderColor() const { return valBorderColor; }
    void SetValBorderColor(const QColor& c) { SetColor(valBorderColor, c); }
    QString ValUnit() const { return valUnit; }
    void SetValUnit(const QString& unit);
    bool ShowTicks() const { return showTicks; }
    void SetShowTicks(bool value);
    bool ShowEndMarks() const { return showEndMarks; }
    void SetShowEndMarks(bool value);
    bool ShowDefMark() const { return showDefMark; }
    void SetShowDefMark(bool value) { showDefMark = value; }
    float DefMark() const { return defMark; }
    void SetDefMark(float value) { defMark = value; }
    float TickStep() const { return tickStep; }
    void SetTickStep(float value);
    QColor TickColor() const { return tickColor; }
    void SetTickColor(const QColor& c) { SetColor(tickColor, c); }

    /// The dB value as the value box shows it: "%-4.1f " and the unit, or "−∞ " and the unit
    /// when the position is below 0.001.
    QString ValueText() const;

signals:
    /// User input changed the value (never fired by SetVal, SetGain or other setters).
    void OnChange();

protected:
    TFlatControl(float defaultVal, int defaultThickness, const QString& defaultUnit,
                 QWidget* parent);
    ~TFlatControl() override;

    /// Sets the position from user input and fires OnChange.
    void SetValByUser(float value);
    /// Called after every change of the position, by program or by user.
    virtual void ValChanged() {}
    /// Called when something the static parts are drawn from changes.
    virtual void LookChanged() { update(); }

    void wheelEvent(QWheelEvent* event) override;
    void ShowFloatingValue();
    void HideFloatingValue();

private:
    void StoreVal(float value);
    void SetColor(QColor& field, const QColor& value);

    float min = 0.0f;
    float max = 1.0f;
    float val;
    double gain = 0.0;
    double dBValue = 0.0;
    QColor fillColor;
    QColor markColor;
    QColor penColor;
    int thickness;
    bool showValue = true;
    QColor valColor;
    QColor valFillColor;
    QColor valBorderColor;
    QString valUnit;
    bool showTicks = true;
    bool showEndMarks = true;
    bool showDefMark = false;
    float defMark = 0.8f;
    float tickStep = 0.125f;
    QColor tickColor;
    QLabel* floatingValue = nullptr;
};

} // namespace peldor
