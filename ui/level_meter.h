#pragma once
// The segmented level meter: a value on a 0-9999 scale shown as lit segments in three colour
// bands over dimmed unlit ones, falling by FallOff every 50 ms, with a held (and falling) peak.
// Window thread only.

#include <QColor>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

namespace peldor {

class TLevelMeter : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Value READ Value WRITE SetValue)
    Q_PROPERTY(int Threshold1 READ Threshold1 WRITE SetThreshold1)
    Q_PROPERTY(int Threshold2 READ Threshold2 WRITE SetThreshold2)
    Q_PROPERTY(QColor Color1 READ Color1 WRITE SetColor1)
    Q_PROPERTY(QColor Color2 READ Color2 WRITE SetColor2)
    Q_PROPERTY(QColor Color3 READ Color3 WRITE SetColor3)
    Q_PROPERTY(QColor BGColor READ BGColor WRITE SetBGColor)
    Q_PROPERTY(int Dim READ Dim WRITE SetDim)
    Q_PROPERTY(int BarHeight READ BarHeight WRITE SetBarHeight)
    Q_PROPERTY(int BarSeparator READ BarSeparator WRITE SetBarSeparator)
    Q_PROPERTY(int FallOff READ FallOff WRITE SetFallOff)
    Q_PROPERTY(bool PeakHold READ PeakHold WRITE SetPeakHold)
    Q_PROPERTY(int PeakHoldTime READ PeakHoldTime WRITE SetPeakHoldTime)
    Q_PROPERTY(bool AnimatedPeaks READ AnimatedPeaks WRITE SetAnimatedPeaks)
    Q_PROPERTY(int PeakFallOff READ PeakFallOff WRITE SetPeakFallOff)
    Q_PROPERTY(bool Sunken READ Sunken WRITE SetSunken)

public:
    static constexpr int kFullScale = 10000;
    static constexpr int kMaxValue = 9999;
    static constexpr int kTimerMs = 50;

    explicit TLevelMeter(QWidget* parent = nullptr);

    int Value() const { return value; }
    /// Sets the displayed level, clamped to 0-9999 (only the fall-off goes down to -1).
    void SetValue(int v);
    /// Raises the display to v (0-9999 scale) when v is at least the current Value; lower
    /// values are left to the fall-off. Cheap: repaints only the segments that changed.
    void Feed(int v);
    /// One step of the 50 ms timer (the timer calls it while the meter is visible).
    void TimerTick();

    int Threshold1() const { return threshold1; }
    void SetThreshold1(int v) { SetInt(threshold1, v, 0, kMaxValue); }
    int Threshold2() const { return threshold2; }
    void SetThreshold2(int v) { SetInt(threshold2, v, 0, kMaxValue); }
    QColor Color1() const { return color1; }
    void SetColor1(const QColor& c) { SetColor(color1, c); }
    QColor Color2() const { return color2; }
    void SetColor2(const QColor& c) { SetColor(color2, c); }
    QColor Color3() const { return color3; }
    void SetColor3(const QColor& c) { SetColor(color3, c); }
    QColor BGColor() const { return bgColor; }
    void SetBGColor(const QColor& c) { SetColor(bgColor, c); }
    int Dim() const { return dim; }
    void SetDim(int v) { SetInt(dim, v, 2, 10); }
    int BarHeight() const { return barHeight; }
    void SetBarHeight(int v) { SetInt(barHeight, v, 1, 10); }
    int BarSeparator() const { return barSeparator; }
    void SetBarSeparator(int v) { SetInt(barSeparator, v, 0, 10); }
    int FallOff() const { return fallOff; }
    void SetFallOff(int v) { SetInt(fallOff, v, 1, 5000); }
    bool PeakHold() const { return peakHold; }
    void SetPeakHold(bool v);
    int PeakHoldTime() const { return peakHoldTime; }
    void SetPeakHoldTime(int v) { SetInt(peakHoldTime, v, 0, 200); }
    bool AnimatedPeaks() const { return animatedPeaks; }
    void SetAnimatedPeaks(bool v) { animatedPeaks = v; }
    int PeakFallOff() const { return peakFallOff; }
    void SetPeakFallOff(int v) { SetInt(peakFallOff, v, 1, 50); }
    bool Sunken() const { return sunken; }
    void SetSunken(bool v);

    /// The number of segments N for the current height.
    int Segments() const;
    /// How many segments the current Value lights (the image index N x Value / 10000).
    int LitSegments() const;
    /// The held peak as an image index, -1 when none; drawn as segment Peak() - 2.
    int Peak() const { return peak; }
    /// The segment drawn as the peak, or -1 when none is drawn.
    int PeakSegment() const;
    /// The colour band (1-3) of segment i.
    int BandOf(int segment) const;
    /// The colour of segment i, lit or dimmed.
    QColor SegmentColor(int segment, bool lit) const;
    /// The rectangle of segment i (0 at the bottom).
    QRect SegmentRect(int segment) const;

    QSize sizeHint() const override { return {14, 105}; }

signals:
    void OnResize();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void SetInt(int& field, int v, int low, int high);
    void SetColor(QColor& field, const QColor& c);
    void Rebuild();
    void UpdatePeak(bool tick);
    void RefreshFrom(int oldLit, int oldPeakSegment);
    void BuildImages();

    int value = 5000;
    int threshold1 = 7079;
    int threshold2 = 8913;
    QColor color1{Qt::cyan};
    QColor color2{Qt::yellow};
    QColor color3{Qt::red};
    QColor bgColor{Qt::black};
    int dim = 3;
    int barHeight = 1;
    int barSeparator = 1;
    int fallOff = 400;
    bool peakHold = true;
    int peakHoldTime = 25;
    bool animatedPeaks = true;
    int peakFallOff = 4;
    bool sunken = true;

    int peak = -1;
    int holdCounter = 0;
    QTimer timer;
    // Every segment lit and every segment dimmed: any of the N images is the lit one below its
    // index and the dimmed one above, so two pixmaps stand for all of them.
    QPixmap litImage;
    QPixmap unlitImage;
};

} // namespace peldor
