#pragma once
// The about window: the program's name and version, a short text and its picture, closed by
// its "OK" switch. Window thread only.

#include <QByteArray>
#include <QDialog>
#include <QImage>

class QPlainTextEdit;

namespace peldor {

class TFlatSwitch;
class TTitleBar;

/// The program's version, as the build sets it.
QString ProgramVersion();
/// The about picture as stored in the program (a JPEG).
QByteArray AboutPictureJpeg();
/// The about picture decoded; null when it cannot be decoded.
QImage LoadAboutPicture();

class TAboutForm : public QDialog {
    Q_OBJECT

public:
    static constexpr int kWidth = 333;
    static constexpr int kHeight = 491;
    static constexpr int kPictureHeight = 180;

    /// jpeg is the picture to show; a picture that does not decode leaves its area dark.
    explicit TAboutForm(QWidget* parent = nullptr, const QByteArray& jpeg = AboutPictureJpeg());

    bool HasPicture() const { return !picture.isNull(); }
    QRect PictureArea() const;
    TFlatSwitch* OkSwitch() const { return okSwitch; }
    QPlainTextEdit* Memo() const { return memo; }

    /// Creates, shows modally and frees the about window.
    static void ShowAbout(QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    TTitleBar* title;
    QPlainTextEdit* memo;
    TFlatSwitch* okSwitch;
    QImage picture;
};

} // namespace peldor
