#pragma once
// The core's message boxes as windows: once installed, ShowMessageBox and ShowInputBox on the
// window thread open TMsgBoxForm, SplashStatus reaches the splash window, and message boxes that
// other threads posted (without waiting) are shown by a timer on the window thread.

#include "i18n/message_box.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace peldor {

class TQtMessageBoxPresenter final : public QObject, public IMessageBoxPresenter {
    Q_OBJECT

public:
    /// How often the window thread looks for posted message boxes.
    static constexpr int kDrainMs = 50;

    /// mainWindow (may be null) is what the boxes centre on. Window thread.
    explicit TQtMessageBoxPresenter(QWidget* mainWindow = nullptr);
    /// Restores the headless presenter when this one is installed.
    ~TQtMessageBoxPresenter() override;

    int ShowMessageBox(const std::string& title, const std::string& text, int kind, int buttons,
                       int defaultButton) override;
    int ShowInputBox(const std::string& title, const std::string& text, int kind, int buttons,
                     int defaultButton, std::string& value) override;
    void SplashStatus(const std::string& text) override;

    void SetMainWindow(QWidget* window) { mainWindow = window; }
    /// Shows the posted message boxes now; does nothing while it is already showing them.
    void DrainPosted();

private:
    QPointer<QWidget> mainWindow;
    QTimer drainTimer;
    bool draining = false;
};

/// Makes the calling thread (Qt's GUI thread) the window thread and installs a presenter that
/// shows the core's message boxes as windows. Keep the result alive while the windows run;
/// destroying it restores the headless presenter. Window thread.
std::unique_ptr<TQtMessageBoxPresenter> InstallQtMessageBoxPresenter(QWidget* mainWindow);

} // namespace peldor
