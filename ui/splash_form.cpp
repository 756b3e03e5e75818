#include "ui/splash_form.h"

#include "ui/about_form.h"
#include "ui/flat_style.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>

namespace peldor {
namespace {

TSplashForm* current = nullptr;
constexpr int kPanelFontPx = 13;
constexpr int kNameFontPx = 34;

} // namespace

TSplashForm::TSplashForm(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("SplashForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(kWidth, kHeight);
    picture = LoadAboutPicture();

    panel = new QLabel(QStringLiteral("PELDOR"), this);
    panel->setObjectName(QStringLiteral("Panel"));
    panel->setGeometry(0, kHeight - kPanelHeight, kWidth, kPanelHeight);
    panel->setFont(style::SansFont(kPanelFontPx));
    panel->setStyleSheet(QStringLiteral("QLabel { background: #121524; color: #E8EBF4; "
                                        "border-top: 1px solid #4A558C; padding-left: 6px; }"));

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    fadeTimer.setInterval(kFadeStepMs);
    connect(&fadeTimer, &QTimer::timeout, this, &TSplashForm::FadeStep);
    current = this;
}

TSplashForm::~TSplashForm() {
    if (current == this) {
        current = nullptr;
    }
}

TSplashForm* TSplashForm::Current() {
    return current;
}

void TSplashForm::SetStatus(const QString& text) {
    panel->setText(QLatin1Char(' ') + text);
    panel->repaint();
}

void TSplashForm::FadeOut() {
    if (!fadeTimer.isActive()) {
        fadeStep = 0;
        fadeTimer.start();
    }
}

void TSplashForm::FadeStep() {
    ++fadeStep;
    if (fadeStep < kFadeSteps) {
        setWindowOpacity(1.0 - static_cast<double>(fadeStep) / kFadeSteps);
        return;
    }
    fadeTimer.stop();
    emit FadedOut();
    close();
}

void TSplashForm::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const QRect area(0, 0, kWidth, kHeight - kPanelHeight);
    if (!picture.isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QImage scaled =
            picture.scaled(area.size(), Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
        painter.drawImage(area, scaled,
                          QRect((scaled.width() - area.width()) / 2,
                                (scaled.height() - area.height()) / 2, area.width(),
                                area.height()));
    }
    painter.setFont(style::SansFont(kNameFontPx, true));
    painter.setPen(style::kText);
    painter.drawText(area.adjusted(0, 0, 0, -area.height() / 2), Qt::AlignCenter,
                     QStringLiteral("PELDOR"));
}

} // namespace peldor
