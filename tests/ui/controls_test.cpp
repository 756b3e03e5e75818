// The flat controls through their public surface and synthesised mouse input.

#include "ui/audio_taper.h"
#include "ui/flat_fader.h"
#include "ui/flat_form_sizer.h"
#include "ui/flat_knob.h"
#include "ui/flat_switch.h"
#include "ui/level_meter.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>

using namespace peldor;

namespace {

// A shown top-level window holding one control at a spot with room around it.
template <class T> struct Hosted {
    QWidget host;
    T* control;
    explicit Hosted(QPoint at = {60, 120}) {
        host.resize(240, 420);
        control = new T(&host);
        control->move(at);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
    }
};

} // namespace

class ControlsTest : public QObject {
    Q_OBJECT

private slots:
    void taperPointsAndGainLimits();
    void programmaticChangesFireNothing();
    void knobDragCoversRangeIn200Pixels();
    void knobRangeAndAnglesStayOrdered();
    void faderGrabsThumbAndJumpsOutsideIt();
    void faderValueText();
    void faderBarFallsAndValueReturns();
    void switchAutoCheckPushAndBlink();
    void levelMeterSegmentsAndBands();
    void levelMeterFallOffAndPeakHold();
    void levelMeterImagesFollowPropertiesAndSize();
    void hiddenControlsDoNotAnimate();
    void formSizerKeepsWithinLimits();
    void degenerateSizesAndSettingsPaintSafely();
};

void ControlsTest::taperPointsAndGainLimits() {
    QCOMPARE(TaperFromPosition(0.625).gain, 1.0);
    QVERIFY(qAbs(TaperFromPosition(0.625).dB) < 1e-12);
    QVERIFY(qAbs(TaperFromPosition(1.0).gain - 4.9148865) < 1e-6);
    QVERIFY(qAbs(TaperFromPosition(0.0).gain - 0.0074157715) < 1e-9);
    QVERIFY(qAbs(TaperFromPosition(1.0).dB - 13.830) < 1e-3);

    QVERIFY(qAbs(TaperFromGain(1.0).position - 0.625) < 1e-12);
    const TaperPoint silent = TaperFromGain(0.005);
    QCOMPARE(silent.position, 0.0);
    QCOMPARE(silent.gain, 0.0);
    QCOMPARE(silent.dB, -120.0);
    const TaperPoint loud = TaperFromGain(10.0);
    QVERIFY(qAbs(loud.position - 1.0) < 1e-6);
    QCOMPARE(loud.gain, kTaperMaxGain);
    // The floor itself is still a gain; NaN is silence.
    QVERIFY(qAbs(TaperFromGain(kTaperMinGain).position) < 1e-6);
    QVERIFY(TaperFromGain(kTaperMinGain).gain > 0.0);
    QCOMPARE(TaperFromGain(std::nan("")).gain, 0.0);

    // The fader's scale marks sit where the taper puts their dB values.
    for (double dB : {10.0, 0.0, -10.0, -40.0}) {
        QVERIFY(qAbs(TaperFromPosition(TaperPositionOfDb(dB)).dB - dB) < 1e-9);
    }
}

void ControlsTest::programmaticChangesFireNothing() {
    TFlatKnob knob;
    TFlatFader fader;
    TFlatSwitch toggle;
    QSignalSpy knobSpy(&knob, &TFlatControl::OnChange);
    QSignalSpy faderSpy(&fader, &TFlatControl::OnChange);
    QSignalSpy changeSpy(&toggle, &TFlatSwitch::OnChange);
    QSignalSpy clickSpy(&toggle, &TFlatSwitch::OnClick);

    knob.SetGain(1.0);
    QVERIFY(qAbs(knob.Val() - 0.625f) < 1e-6f);
    QVERIFY(qAbs(knob.Gain() - 1.0) < 1e-6);
    knob.SetGain(0.005);
    QCOMPARE(knob.Val(), 0.0f);
    QCOMPARE(knob.Gain(), 0.0);
    QCOMPARE(knob.dB(), -120.0);
    knob.SetGain(10.0);
    QVERIFY(qAbs(knob.Val() - 1.0f) < 1e-6f);
    knob.setProperty("Val", 0.25f);
    QCOMPARE(knob.Val(), 0.25f);
    knob.SetVal(7.0f);
    QCOMPARE(knob.Val(), 1.0f);

    // Below position 0.001 a fader is silent though its position is not 0; a knob is not.
    fader.SetVal(0.0005f);
    QCOMPARE(fader.Gain(), 0.0);
    knob.SetVal(0.0005f);
    QVERIFY(knob.Gain() > 0.0);
    fader.SetGain(1.0);
    fader.SetMeter(1.0);
    fader.TimerTick();
    toggle.SetOn(true);
    toggle.setProperty("On", false);
    toggle.SetBlink(true);
    toggle.SetBlink(false);

    QCOMPARE(knobSpy.count(), 0);
    QCOMPARE(faderSpy.count(), 0);
    QCOMPARE(changeSpy.count(), 0);
    QCOMPARE(clickSpy.count(), 0);
}

void ControlsTest::knobDragCoversRangeIn200Pixels() {
    Hosted<TFlatKnob> h;
    TFlatKnob* knob = h.control;
    QCOMPARE(knob->Val(), 0.5f);
    QSignalSpy spy(knob, &TFlatControl::OnChange);
    QTest::mousePress(knob, Qt::LeftButton, {}, QPoint(18, 18));
    QCOMPARE(spy.count(), 0);
    QTest::mouseMove(knob, QPoint(18, -32));
    QVERIFY(qAbs(knob->Val() - 0.75f) < 1e-6f);
    // The value floats beside the knob while it is dragged.
    auto* floating = knob->findChild<QLabel*>("FloatingValue");
    QVERIFY(floating != nullptr && floating->isVisible());
    QCOMPARE(floating->text(), knob->ValueText());
    QTest::mouseMove(knob, QPoint(18, -82));
    QTest::mouseRelease(knob, Qt::LeftButton, {}, QPoint(18, -82));
    QCOMPARE(knob->Val(), 1.0f);
    QCOMPARE(spy.count(), 3); // two moves and the release
    QVERIFY(!floating->isVisible());

    // Further travel is clamped; the pointer's angle follows the value.
    QTest::mousePress(knob, Qt::LeftButton, {}, QPoint(18, 18));
    QTest::mouseMove(knob, QPoint(18, 280));
    QTest::mouseRelease(knob, Qt::LeftButton, {}, QPoint(18, 280));
    QCOMPARE(knob->Val(), 0.0f);
    QCOMPARE(knob->PointerAngle(), 40.0);

    // The wheel moves 1 dB, 3 dB with Shift and 0.1 dB with Ctrl, and counts as user input.
    knob->SetGain(1.0);
    spy.clear();
    const QPoint centre(18, 18);
    const auto wheel = [&](Qt::KeyboardModifiers mods) {
        QWheelEvent event(centre, knob->mapToGlobal(centre), {}, QPoint(0, 120), Qt::NoButton, mods,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(knob, &event);
    };
    wheel(Qt::NoModifier);
    QVERIFY(qAbs(knob->dB() - 1.0) < 1e-4);
    wheel(Qt::ShiftModifier);
    QVERIFY(qAbs(knob->dB() - 4.0) < 1e-4);
    wheel(Qt::ControlModifier);
    QVERIFY(qAbs(knob->dB() - 4.1) < 1e-4);
    QCOMPARE(spy.count(), 3);
}

void ControlsTest::knobRangeAndAnglesStayOrdered() {
    TFlatKnob knob;
    knob.SetMin(2.0f); // would cross Max 1.0
    QVERIFY(knob.Min() < knob.Max());
    QVERIFY(knob.Max() - knob.Min() < 1e-6f);
    knob.SetMax(200.0f);
    knob.SetMin(300.0f); // 1e-7 is below a float's step at 200: still strictly below
    QVERIFY(knob.Min() < knob.Max());
    QVERIFY(knob.Val() >= knob.Min() && knob.Val() <= knob.Max());

    knob.SetMaxAngle(500.0f);
    QCOMPARE(knob.MaxAngle(), 360.0f);
    knob.SetMinAngle(400.0f);
    QVERIFY(knob.MinAngle() < knob.MaxAngle());
    knob.SetMinAngle(-20.0f);
    QCOMPARE(knob.MinAngle(), 0.0f);

    // The pointer's angle is measured from Min: a -1..1 knob at 0 points straight up.
    TFlatKnob pan;
    pan.SetMin(-1.0f);
    pan.SetVal(0.0f);
    QCOMPARE(pan.PointerAngle(), 180.0);
}

void ControlsTest::faderGrabsThumbAndJumpsOutsideIt() {
    Hosted<TFlatFader> h;
    TFlatFader* fader = h.control;
    QSignalSpy spy(fader, &TFlatControl::OnChange);
    const QRect thumb = fader->ThumbRect();
    const double travel = fader->TrackBottom() - fader->TrackTop();

    // Grabbing the thumb off its centre does not move it.
    const QPoint grab(thumb.center().x(), thumb.center().y() + 4);
    QTest::mousePress(fader, Qt::LeftButton, {}, grab);
    QCOMPARE(fader->Val(), 0.625f);
    QCOMPARE(spy.count(), 0);
    QVERIFY(fader->Dragging());
    QTest::mouseMove(fader, grab - QPoint(0, 20));
    QVERIFY(qAbs(fader->Val() - (0.625f + 20.0f / travel)) < 0.01f);
    QTest::mouseRelease(fader, Qt::LeftButton, {}, grab - QPoint(0, 20));
    QCOMPARE(spy.count(), 2);
    QVERIFY(!fader->Dragging());

    // A press below the thumb jumps there and fires at once.
    spy.clear();
    const int y = fader->TrackBottom() - 5;
    QTest::mousePress(fader, Qt::LeftButton, {}, QPoint(thumb.center().x(), y));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(fader->Val(), fader->PositionAt(y));
    QVERIFY(fader->Val() < 0.1f);
    QTest::mouseRelease(fader, Qt::LeftButton, {}, QPoint(thumb.center().x(), y));
    QCOMPARE(fader->Val(), fader->PositionAt(y));

    // The ends of the track are the ends of the range.
    QCOMPARE(fader->PositionAt(fader->TrackTop() - 30), 1.0f);
    QCOMPARE(fader->PositionAt(fader->TrackBottom() + 30), 0.0f);
}

void ControlsTest::faderValueText() {
    TFlatFader fader;
    QCOMPARE(fader.ValueText(), QStringLiteral("0.0  dB"));
    fader.SetGain(0.005);
    QCOMPARE(fader.ValueText(), QStringLiteral("\u2212\u221E dB"));
    fader.SetVal(0.0005f);
    QCOMPARE(fader.ValueText(), QStringLiteral("\u2212\u221E dB"));
    fader.SetVal(1.0f);
    QCOMPARE(fader.ValueText(), QStringLiteral("13.8 dB"));
    fader.SetGain(0.5);
    QCOMPARE(fader.ValueText(), QStringLiteral("-6.0 dB"));
    fader.SetValUnit(QStringLiteral("dBFS"));
    QCOMPARE(fader.ValueText(), QStringLiteral("-6.0 dBFS"));
}

void ControlsTest::faderBarFallsAndValueReturns() {
    TFlatFader fader;
    QCOMPARE(fader.BoxState(), TFlatFader::TBoxState::ValueShown);
    fader.SetMeter(1.0);
    QCOMPARE(fader.BoxState(), TFlatFader::TBoxState::BarRising);
    QVERIFY(qAbs(fader.BarLevel() - 1.0) < 0.02);
    fader.SetMeter(0.5); // lower than the bar: ignored
    QVERIFY(qAbs(fader.BarLevel() - 1.0) < 0.02);
    QVERIFY(fader.BarReach() >= fader.width() - 3);

    int gone = 0;
    int valueBack = 0;
    for (int tick = 1; tick <= 60 && valueBack == 0; ++tick) {
        fader.TimerTick();
        if (gone == 0 && fader.BarReach() == 0) {
            gone = tick;
        }
        if (fader.BoxState() == TFlatFader::TBoxState::Idle) {
            valueBack = tick;
        }
    }
    QVERIFY2(gone >= 25 && gone <= 27, qPrintable(QString::number(gone)));
    QVERIFY2(valueBack >= 45 && valueBack <= 47, qPrintable(QString::number(valueBack)));

    // A change of the value shows it for 25 ticks before the box falls back.
    fader.SetMeter(0.5);
    fader.SetVal(0.3f);
    QCOMPARE(fader.BoxState(), TFlatFader::TBoxState::ValueShown);
    for (int tick = 1; tick < TFlatFader::kValueShownTicks; ++tick) {
        fader.TimerTick();
    }
    QCOMPARE(fader.BoxState(), TFlatFader::TBoxState::ValueShown);
    fader.TimerTick();
    QCOMPARE(fader.BoxState(), TFlatFader::TBoxState::BarFalling);
}

void ControlsTest::switchAutoCheckPushAndBlink() {
    Hosted<TFlatSwitch> h;
    TFlatSwitch* sw = h.control;
    QCOMPARE(sw->OffCaption(), QStringLiteral("M"));
    QSignalSpy change(sw, &TFlatSwitch::OnChange);
    QSignalSpy click(sw, &TFlatSwitch::OnClick);

    // Push button: on while held, a click on release.
    QTest::mousePress(sw, Qt::LeftButton, {}, QPoint(8, 8));
    QVERIFY(sw->On());
    QCOMPARE(click.count(), 0);
    QTest::mouseRelease(sw, Qt::LeftButton, {}, QPoint(8, 8));
    QVERIFY(!sw->On());
    QCOMPARE(click.count(), 1);
    QCOMPARE(change.count(), 0);

    // AutoCheck: each press flips and fires both, change first.
    sw->SetAutoCheck(true);
    QStringList order;
    connect(sw, &TFlatSwitch::OnChange, [&] { order << "change"; });
    connect(sw, &TFlatSwitch::OnClick, [&] { order << "click"; });
    QTest::mouseClick(sw, Qt::LeftButton, {}, QPoint(8, 8));
    QVERIFY(sw->On());
    QTest::mouseClick(sw, Qt::LeftButton, {}, QPoint(8, 8));
    QVERIFY(!sw->On());
    QCOMPARE(order, QStringList({"change", "click", "change", "click"}));

    // Disabled: nothing.
    sw->setProperty("Enabled", false);
    QTest::mouseClick(sw, Qt::LeftButton, {}, QPoint(8, 8));
    QVERIFY(!sw->On());
    QCOMPARE(change.count(), 2);

    // Blinking flips the look and gives back the state it started from.
    sw->SetOn(true);
    sw->SetBlink(true);
    QTRY_VERIFY_WITH_TIMEOUT(!sw->On(), 2000);
    sw->SetBlink(false);
    QVERIFY(sw->On());
    QCOMPARE(change.count(), 2);
}

void ControlsTest::levelMeterSegmentsAndBands() {
    TLevelMeter meter;
    QCOMPARE(meter.size(), QSize(14, 105));
    QCOMPARE(meter.Segments(), 50);
    QCOMPARE(meter.Value(), 5000);
    QCOMPARE(meter.LitSegments(), 25);
    // T1 = 7079 x 50 / 10000 = 35, T2 = 44 - 35.
    QCOMPARE(meter.BandOf(0), 1);
    QCOMPARE(meter.BandOf(35), 1);
    QCOMPARE(meter.BandOf(36), 2);
    QCOMPARE(meter.BandOf(44), 2);
    QCOMPARE(meter.BandOf(45), 3);
    QCOMPARE(meter.SegmentColor(49, true), QColor(Qt::red));
    QCOMPARE(meter.SegmentColor(49, false), QColor(85, 0, 0));
    meter.SetDim(10);
    QCOMPARE(meter.SegmentColor(0, false), QColor(Qt::black));
    QCOMPARE(meter.SegmentRect(0), QRect(2, 102, 10, 1));
    QCOMPARE(meter.SegmentRect(49), QRect(2, 4, 10, 1));

    // Every numeric property is clamped into its range.
    meter.SetDim(1);
    QCOMPARE(meter.Dim(), 2);
    meter.SetFallOff(0);
    QCOMPARE(meter.FallOff(), 1);
    meter.SetThreshold1(20000);
    QCOMPARE(meter.Threshold1(), 9999);
    meter.SetBarHeight(11);
    QCOMPARE(meter.BarHeight(), 10);
    meter.SetBarSeparator(-3);
    QCOMPARE(meter.BarSeparator(), 0);
    meter.SetPeakFallOff(99);
    QCOMPARE(meter.PeakFallOff(), 50);
    meter.SetPeakHoldTime(500);
    QCOMPARE(meter.PeakHoldTime(), 200);
    meter.SetValue(12345);
    QCOMPARE(meter.Value(), 9999);
    meter.SetValue(-40);
    QCOMPARE(meter.Value(), 0);
    meter.SetBarHeight(2);
    meter.SetBarSeparator(1);
    QCOMPARE(meter.Segments(), 33);
}

void ControlsTest::levelMeterFallOffAndPeakHold() {
    TLevelMeter meter;
    meter.SetFallOff(600);
    meter.Feed(9999);
    QCOMPARE(meter.LitSegments(), 49);
    meter.Feed(100); // lower: left to the fall-off
    QCOMPARE(meter.Value(), 9999);
    for (int tick = 1; tick <= 16; ++tick) {
        meter.TimerTick();
    }
    QVERIFY(meter.LitSegments() > 0);
    meter.TimerTick(); // 17 ticks, 850 ms
    QCOMPARE(meter.LitSegments(), 0);
    QCOMPARE(meter.Value(), -1);

    // The peak is held for PeakHoldTime ticks, then falls PeakFallOff segments per tick.
    TLevelMeter peaks;
    peaks.SetFallOff(5000);
    peaks.Feed(9999);
    QCOMPARE(peaks.Peak(), 49);
    QCOMPARE(peaks.PeakSegment(), 47);
    for (int tick = 1; tick < 25; ++tick) {
        peaks.TimerTick();
    }
    QCOMPARE(peaks.Peak(), 49);
    peaks.TimerTick();
    QCOMPARE(peaks.Peak(), 45);
    peaks.TimerTick();
    QCOMPARE(peaks.Peak(), 41);
    int ticks = 0;
    while (peaks.Peak() >= 0 && ticks < 100) {
        peaks.TimerTick();
        ++ticks;
    }
    QCOMPARE(peaks.Peak(), -1);
    QCOMPARE(peaks.PeakSegment(), -1);
    // Afterwards a new level is caught again.
    peaks.Feed(5000);
    QCOMPARE(peaks.Peak(), 25);

    // Without animation the peak vanishes when its hold ends, and the next one is held again.
    TLevelMeter plain;
    plain.SetAnimatedPeaks(false);
    plain.SetFallOff(5000);
    plain.Feed(9999);
    for (int tick = 1; tick <= 25; ++tick) {
        plain.TimerTick();
    }
    QCOMPARE(plain.Peak(), -1);
    plain.Feed(8000);
    QCOMPARE(plain.Peak(), 40);
    plain.TimerTick();
    QCOMPARE(plain.Peak(), 40);

    TLevelMeter none;
    none.SetPeakHold(false);
    none.Feed(9999);
    QCOMPARE(none.PeakSegment(), -1);
}

void ControlsTest::levelMeterImagesFollowPropertiesAndSize() {
    Hosted<TLevelMeter> h;
    TLevelMeter* meter = h.control;
    meter->SetPeakHold(false);
    meter->SetValue(5000);
    QImage image = meter->grab().toImage();
    const qreal ratio = image.devicePixelRatio();
    const auto pixel = [&](const QImage& from, int segment) {
        const QPoint at = meter->SegmentRect(segment).center();
        return from.pixelColor(QPoint(at.x() * ratio, at.y() * ratio));
    };
    QCOMPARE(pixel(image, 0), QColor(Qt::cyan));
    QCOMPARE(pixel(image, 24), QColor(Qt::cyan));
    QCOMPARE(pixel(image, 25), QColor(0, 85, 85));
    QCOMPARE(pixel(image, 40), QColor(85, 85, 0));
    meter->SetColor1(QColor(Qt::green));
    image = meter->grab().toImage();
    QCOMPARE(pixel(image, 0), QColor(Qt::green));

    meter->resize(14, 205);
    QCOMPARE(meter->Segments(), 100);
    image = meter->grab().toImage();
    QCOMPARE(image.height(), qRound(205 * ratio));
    QCOMPARE(pixel(image, 49), QColor(Qt::green));
    QCOMPARE(pixel(image, 50), QColor(0, 85, 0));
}

void ControlsTest::hiddenControlsDoNotAnimate() {
    Hosted<TLevelMeter> hm;
    TLevelMeter* meter = hm.control;
    meter->SetValue(9999);
    QTRY_VERIFY_WITH_TIMEOUT(meter->Value() < 9999, 2000);

    hm.host.hide();
    meter->SetValue(9999);
    QTest::qWait(3 * TLevelMeter::kTimerMs);
    QCOMPARE(meter->Value(), 9999);

    Hosted<TFlatFader> hf;
    hf.host.hide();
    hf.control->SetMeter(1.0);
    QTest::qWait(3 * TFlatFader::kTimerMs);
    QCOMPARE(hf.control->BoxState(), TFlatFader::TBoxState::BarRising);
    hf.host.show();
    QTRY_VERIFY_WITH_TIMEOUT(hf.control->BoxState() != TFlatFader::TBoxState::BarRising, 2000);
}

void ControlsTest::formSizerKeepsWithinLimits() {
    QWidget window;
    window.resize(300, 200);
    window.setMinimumSize(200, 150);
    window.setMaximumSize(400, 300);
    auto* sizer = new TFlatFormSizer(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(sizer->geometry(), QRect(280, 180, 20, 20));
    QSignalSpy spy(sizer, &TFlatFormSizer::OnChange);

    const auto drag = [&](QPoint by) {
        const QPoint from(5, 5);
        QTest::mousePress(sizer, Qt::LeftButton, {}, from);
        QTest::mouseMove(sizer, from + by);
        QTest::mouseRelease(sizer, Qt::LeftButton, {}, from + by);
    };
    drag({30, 20});
    QCOMPARE(window.size(), QSize(330, 220));
    QCOMPARE(sizer->geometry(), QRect(310, 200, 20, 20));
    drag({500, 500});
    QCOMPARE(window.size(), QSize(400, 300));
    drag({-500, -500});
    QCOMPARE(window.size(), QSize(200, 150));
    QCOMPARE(spy.count(), 3);
}

void ControlsTest::degenerateSizesAndSettingsPaintSafely() {
    TFlatKnob knob;
    knob.SetTickStep(1e-9f);
    knob.SetMin(5.0f);
    TFlatFader fader;
    fader.SetMeter(std::nan(""));
    fader.SetVal(std::nanf(""));
    QCOMPARE(fader.Val(), 0.0f);
    TLevelMeter meter;
    meter.SetBarHeight(10);
    meter.Feed(9999);
    TFlatSwitch toggle;
    for (QSize size : {QSize(0, 0), QSize(1, 1), QSize(3, 200), QSize(200, 3), QSize(36, 160)}) {
        for (QWidget* control : std::initializer_list<QWidget*>{&knob, &fader, &meter, &toggle}) {
            control->resize(size);
            QCOMPARE(control->grab().size().isEmpty(), size.isEmpty());
        }
        fader.SetMeter(1.0);
        fader.TimerTick();
        meter.TimerTick();
        QVERIFY(meter.LitSegments() <= meter.Segments());
        QVERIFY(meter.PeakSegment() < meter.Segments());
    }
}

QTEST_MAIN(ControlsTest)
#include "controls_test.moc"
