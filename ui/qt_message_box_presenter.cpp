#include "ui/qt_message_box_presenter.h"

#include "ui/msg_box_form.h"
#include "ui/splash_form.h"

#include <QCoreApplication>

namespace peldor {
namespace {

TQtMessageBoxPresenter* installed = nullptr;

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

TQtMessageBoxPresenter::TQtMessageBoxPresenter(QWidget* window) : mainWindow(window) {
    drainTimer.setInterval(kDrainMs);
    connect(&drainTimer, &QTimer::timeout, this, &TQtMessageBoxPresenter::DrainPosted);
    drainTimer.start();
}

TQtMessageBoxPresenter::~TQtMessageBoxPresenter() {
    if (installed == this) {
        installed = nullptr;
        SetMessageBoxPresenter(nullptr);
    }
}

int TQtMessageBoxPresenter::ShowMessageBox(const std::string& title, const std::string& text,
                                           int kind, int buttons, int defaultButton) {
    return TMsgBoxForm::ShowMessageBox(mainWindow, FromUtf8(title), FromUtf8(text), kind, buttons,
                                       defaultButton);
}

int TQtMessageBoxPresenter::ShowInputBox(const std::string& title, const std::string& text,
                                         int kind, int buttons, int defaultButton,
                                         std::string& value) {
    QString edited = FromUtf8(value);
    const int answer = TMsgBoxForm::ShowInputBox(mainWindow, FromUtf8(title), FromUtf8(text), kind,
                                                 buttons, defaultButton, edited);
    value = edited.toStdString();
    return answer;
}

void TQtMessageBoxPresenter::SplashStatus(const std::string& text) {
    TSplashForm* splash = TSplashForm::Current();
    if (splash != nullptr && splash->isVisible()) {
        splash->SetStatus(FromUtf8(text));
        QCoreApplication::processEvents();
    }
}

void TQtMessageBoxPresenter::DrainPosted() {
    // A box shown here runs its own event loop, in which this timer fires again.
    if (draining) {
        return;
    }
    draining = true;
    DeliverPostedMessageBoxes();
    draining = false;
}

std::unique_ptr<TQtMessageBoxPresenter> InstallQtMessageBoxPresenter(QWidget* mainWindow) {
    MarkWindowThread();
    auto presenter = std::make_unique<TQtMessageBoxPresenter>(mainWindow);
    installed = presenter.get();
    SetMessageBoxPresenter(presenter.get());
    return presenter;
}

} // namespace peldor
