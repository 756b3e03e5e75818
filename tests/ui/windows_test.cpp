// The about window, the splash window and the JPEG decoding behind their picture.

#include "ui/about_form.h"
#include "ui/flat_switch.h"
#include "ui/jpeg_image.h"
#include "ui/splash_form.h"

#include <QBuffer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTest>

using namespace peldor;

namespace {

// Sets the frame size in a JPEG's first start-of-frame marker.
QByteArray WithFrameSize(QByteArray jpeg, int width, int height) {
    for (qsizetype i = 2; i + 9 < jpeg.size(); ++i) {
        const auto marker = static_cast<unsigned char>(jpeg[i + 1]);
        if (static_cast<unsigned char>(jpeg[i]) == 0xFF && (marker == 0xC0 || marker == 0xC2)) {
            jpeg[i + 5] = static_cast<char>(height >> 8);
            jpeg[i + 6] = static_cast<char>(height & 0xFF);
            jpeg[i + 7] = static_cast<char>(width >> 8);
            jpeg[i + 8] = static_cast<char>(width & 0xFF);
            return jpeg;
        }
    }
    return {};
}

double MeanLightness(const QImage& image) {
    double sum = 0.0;
    for (int y = 0; y < image.height(); y += 4) {
        for (int x = 0; x < image.width(); x += 4) {
            sum += image.pixelColor(x, y).lightnessF();
        }
    }
    return sum / ((image.height() + 3) / 4) / ((image.width() + 3) / 4);
}

} // namespace

class WindowsTest : public QObject {
    Q_OBJECT

private slots:
    void jpegDecodesThePictureAndRefusesDamage();
    void aboutWindowShowsNameVersionAndCloses();
    void aboutWindowOpensDarkWithABrokenPicture();
    void splashWindowShowsStatus();
};

void WindowsTest::jpegDecodesThePictureAndRefusesDamage() {
    const QByteArray jpeg = AboutPictureJpeg();
    QVERIFY(jpeg.size() > 1000);
    const QImage picture = DecodeJpeg(jpeg);
    QCOMPARE(picture.size(), QSize(333, 180));
    QVERIFY(MeanLightness(picture) < 0.3); // a dark picture for a dark stage

    QVERIFY(DecodeJpeg({}).isNull());
    QVERIFY(DecodeJpeg(QByteArray("not a picture at all")).isNull());
    QVERIFY(DecodeJpeg(jpeg.left(jpeg.size() / 2)).isNull());
    QVERIFY(DecodeJpeg(jpeg.left(20)).isNull());
    QByteArray scrambled = jpeg;
    for (qsizetype i = scrambled.size() / 3; i < scrambled.size() / 2; ++i) {
        scrambled[i] = static_cast<char>(scrambled[i] ^ 0x5A);
    }
    QVERIFY(DecodeJpeg(scrambled).isNull());
    const QByteArray huge = WithFrameSize(jpeg, 60000, 60000);
    QVERIFY(!huge.isEmpty());
    QVERIFY(DecodeJpeg(huge).isNull());
    QVERIFY(DecodeJpeg(WithFrameSize(jpeg, 0, 0)).isNull());

    QBuffer png;
    png.open(QIODevice::WriteOnly);
    QVERIFY(picture.save(&png, "PNG"));
    QVERIFY(DecodeJpeg(png.data()).isNull());
}

void WindowsTest::aboutWindowShowsNameVersionAndCloses() {
    QVERIFY(QRegularExpression("^\\d+\\.\\d+\\.\\d+$").match(ProgramVersion()).hasMatch());
    TAboutForm form;
    QCOMPARE(form.size(), QSize(333, 491));
    QCOMPARE(form.windowTitle(), QStringLiteral("About PELDOR"));
    QVERIFY(form.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(form.windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(form.HasPicture());
    QVERIFY(form.Memo()->isReadOnly());
    QVERIFY(form.Memo()->toPlainText().contains("PELDOR"));
    QCOMPARE(form.OkSwitch()->OffCaption(), QStringLiteral("OK"));

    QTimer::singleShot(
        0, &form, [&] { QTest::mouseClick(form.OkSwitch(), Qt::LeftButton, {}, QPoint(10, 10)); });
    QCOMPARE(form.exec(), int(QDialog::Accepted));
}

void WindowsTest::aboutWindowOpensDarkWithABrokenPicture() {
    QByteArray broken = AboutPictureJpeg();
    broken.truncate(broken.size() / 3);
    TAboutForm form(nullptr, broken);
    QVERIFY(!form.HasPicture());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QImage shot = form.grab().toImage();
    const qreal ratio = shot.devicePixelRatio();
    const QPoint centre = form.PictureArea().center();
    QVERIFY(shot.pixelColor(QPoint(centre.x() * ratio, centre.y() * ratio)).lightnessF() < 0.15);
}

void WindowsTest::splashWindowShowsStatus() {
    auto* splash = new TSplashForm;
    QCOMPARE(TSplashForm::Current(), splash);
    QCOMPARE(splash->size(), QSize(320, 242));
    QVERIFY(splash->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(splash->HasPicture());
    splash->SetStatus("Scanning: Nekobi.so");
    QCOMPARE(splash->Panel()->text(), QStringLiteral(" Scanning: Nekobi.so"));
    delete splash;
    QVERIFY(TSplashForm::Current() == nullptr);
}

QTEST_MAIN(WindowsTest)
#include "windows_test.moc"
