#pragma once
// The splash window: a borderless, stay-on-top picture with a status line while the program
// starts and scans its plugin folder; the main window fades it out at its first idle moment.
// Window thread only.

#include <QImage>
#include <QTimer>
#include <QWidget>

class QLabel;

namespace peldor {

class TSplashForm : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 242;
    static constexpr int kPanelHeight = 26;
    /// The fade-out: opacity steps and their interval.
    static constexpr int kFadeSteps = 10;
    static constexpr int kFadeStepMs = 30;

    explicit TSplashForm(QWidget* parent = nullptr);
    ~TSplashForm() override;

    /// The splash window that exists, or null.
    static TSplashForm* Current();

    /// Shows a blank followed by text on the status line.
    void SetStatus(const QString& text);
    /// The status panel ("Panel"), whose first caption is the program's name.
    QLabel* Panel() const { return panel; }
    bool HasPicture() const { return !picture.isNull(); }

    /// Fades the window out, then closes and deletes it (emits FadedOut just before).
    void FadeOut();
    bool Fading() const { return fadeTimer.isActive(); }

signals:
    void FadedOut();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void FadeStep();

    QLabel* panel;
    QImage picture;
    QTimer fadeTimer;
    int fadeStep = 0;
};

} // namespace peldor
