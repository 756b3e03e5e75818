// Renders every control in a few states and every small window into PNG files under
// build/screenshots/, for people to look at. Runs at 100 % and (through QT_SCALE_FACTOR) 200 %.

#include "i18n/message_box.h"
#include "ui/about_form.h"
#include "ui/flat_fader.h"
#include "ui/flat_form_sizer.h"
#include "ui/flat_knob.h"
#include "ui/flat_style.h"
#include "ui/flat_switch.h"
#include "ui/level_meter.h"
#include "ui/msg_box_form.h"
#include "ui/splash_form.h"

#include <QDir>
#include <QLabel>
#include <QTest>

using namespace peldor;

class ScreenshotTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void controls();
    void messageBoxes();
    void smallWindows();

private:
    void Save(QWidget& widget, const QString& name);
    QString folder;
};

void ScreenshotTest::initTestCase() {
    const QByteArray binary = qgetenv("PELDOR_BINARY_DIR");
    folder = (binary.isEmpty() ? QDir::currentPath() : QString::fromLocal8Bit(binary)) +
             QStringLiteral("/screenshots");
    QVERIFY(QDir().mkpath(folder));
}

void ScreenshotTest::Save(QWidget& widget, const QString& name) {
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    const QPixmap shot = widget.grab();
    const qreal ratio = shot.devicePixelRatio();
    QCOMPARE(shot.size(), widget.size() * ratio);
    const QString file =
        QStringLiteral("%1/%2@%3x.png").arg(folder, name).arg(qRound(ratio * 100) / 100.0);
    QVERIFY2(shot.save(file), qPrintable(file));
}

void ScreenshotTest::controls() {
    QWidget desk;
    desk.setObjectName("desk");
    desk.resize(560, 300);
    QPalette pal = desk.palette();
    pal.setColor(QPalette::Window, style::kWindowBack);
    desk.setPalette(pal);
    desk.setAutoFillBackground(true);

    // Channel strips: fader states (unity, hot, silent, bar falling, bar rising).
    const float positions[] = {0.625f, 0.85f, 0.0f, 0.4f, 0.3f, 1.0f};
    const double meters[] = {0.0, 0.0, 0.0, 0.7, 1.0, 0.2};
    for (int i = 0; i < 6; ++i) {
        const int x = 10 + i * 60;
        auto* fader = new TFlatFader(&desk);
        fader->setGeometry(x, 60, 36, 160);
        fader->SetVal(positions[i]);
        if (meters[i] > 0.0) {
            fader->SetMeter(meters[i]);
            for (int tick = 0; tick < 26 + (i == 4 ? 0 : 5); ++tick) {
                fader->TimerTick();
            }
            fader->SetMeter(meters[i]);
            if (i == 3) {
                fader->TimerTick();
                fader->TimerTick();
            }
        }
        auto* meter = new TLevelMeter(&desk);
        meter->setGeometry(x + 40, 80, 14, 140);
        meter->Feed(9999 - i * 1500);
        for (int tick = 0; tick < i * 2; ++tick) {
            meter->TimerTick();
        }
        auto* knob = new TFlatKnob(&desk);
        knob->setGeometry(x, 10, 36, 36);
        knob->SetVal(i / 5.0f);
        auto* mute = new TFlatSwitch(&desk);
        mute->setGeometry(x, 230, 20, 18);
        mute->SetOn(i % 2 == 0);
        auto* solo = new TFlatSwitch(&desk);
        solo->setGeometry(x + 24, 230, 20, 18);
        solo->SetOnCaption("S");
        solo->SetOffCaption("S");
        solo->SetOn(i == 3);
        if (i == 5) {
            solo->setEnabled(false);
        }
    }
    auto* tall = new TLevelMeter(&desk);
    tall->setGeometry(380, 10, 24, 280);
    tall->SetBarHeight(3);
    tall->Feed(8200);
    auto* wide = new TLevelMeter(&desk);
    wide->setGeometry(420, 10, 14, 280);
    wide->SetDim(10);
    wide->SetSunken(false);
    wide->Feed(6000);
    auto* big = new TFlatKnob(&desk);
    big->setGeometry(450, 10, 90, 90);
    big->SetGain(1.0);
    auto* bigFader = new TFlatFader(&desk);
    bigFader->setGeometry(460, 110, 60, 170);
    bigFader->SetGain(0.5);
    auto* push = new TFlatSwitch(&desk);
    push->setGeometry(300, 260, 70, 24);
    push->setFont(style::SansFont(13, true));
    push->SetOffCaption("Panic");
    new TFlatFormSizer(&desk);
    Save(desk, "controls");
}

void ScreenshotTest::messageBoxes() {
    const char* const texts[] = {
        "The project has been saved.",
        "Do you want to save the changes to \"Live set 2026.pdp\" before closing?",
        "The plugin folder contains libraries that could not be opened.",
        "ASIO Driver Failed!",
        "A message without an icon: the text spans nearly the whole width of the box and "
        "wraps onto a second line.",
    };
    for (int set = 0; set < 8; ++set) {
        TMsgBoxForm form;
        const int kind = set % 5;
        form.SetIconKind(kind);
        form.SetTitle(kind == kMsgProblem ? "Problem" : "PELDOR");
        form.SetText(texts[kind]);
        form.SetButtons(set, set == 7 ? 3 : 1);
        Save(form, QStringLiteral("msgbox_set%1_kind%2").arg(set).arg(kind));
    }
    TMsgBoxForm input;
    input.SetIconKind(kMsgQuestion);
    input.SetTitle("Rename song");
    input.SetText("New name of the song:");
    input.SetButtons(kButtonsOkCancel, 1);
    input.SetInputValue("Song 3");
    Save(input, "inputbox");
}

void ScreenshotTest::smallWindows() {
    TSplashForm* splash = new TSplashForm;
    splash->SetStatus("Scanning: /usr/lib/vst/Kars-vst.so");
    Save(*splash, "splash");
    delete splash;
    TAboutForm about;
    Save(about, "about");
    TAboutForm broken(nullptr, QByteArray("\xFF\xD8\xFF broken", 10));
    Save(broken, "about_broken_picture");
}

QTEST_MAIN(ScreenshotTest)
#include "screenshot_test.moc"
