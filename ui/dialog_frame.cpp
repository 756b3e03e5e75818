#include "ui/dialog_frame.h"

#include "ui/flat_style.h"
#include "ui/title_bar.h"

#include <QPushButton>
#include <QWidget>

namespace peldor {
namespace {

constexpr int kXWidth = 22;
constexpr int kFontPx = 13;

} // namespace

Qt::WindowFlags ToolDialogFlags() {
    return Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
}

TDialogFrame AddDialogFrame(QWidget& dialog, const QString& caption) {
    TDialogFrame frame;
    frame.Title = new TTitleBar(&dialog);
    frame.Title->SetCaption(caption);
    frame.X = new QPushButton(QStringLiteral("X"), frame.Title);
    frame.X->setObjectName(QStringLiteral("btnX"));
    frame.X->setFocusPolicy(Qt::NoFocus);
    frame.X->setToolTip(QStringLiteral("Close"));
    LayOutDialogFrame(dialog, frame);
    return frame;
}

void LayOutDialogFrame(QWidget& dialog, const TDialogFrame& frame) {
    frame.Title->setGeometry(0, 0, dialog.width(), TTitleBar::kHeight);
    frame.X->setGeometry(dialog.width() - kXWidth - 2, 2, kXWidth, TTitleBar::kHeight - 4);
}

QString DialogStyleSheet() {
    using namespace style;
    return QString(R"(
QWidget { font-size: %7px; }
QPushButton { background: %3; color: %1; border: 1px solid %4; border-radius: 2px;
              padding: 2px 8px; }
QPushButton:hover { border-color: %5; }
QPushButton:checked { background: %6; color: %8; border-color: %6; font-weight: bold; }
QPushButton:disabled { background: %9; color: %2; border-color: %4; }
QPushButton:focus { border-color: %6; }
QPushButton#btnX { padding: 0px; font-weight: bold; background: %8; }
QLineEdit, QListWidget, QComboBox { background: %10; color: %1; }
QGroupBox { color: %1; border: 1px solid %4; margin-top: 8px; padding-top: 4px; }
QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0px 4px; }
QLabel#lblHint, QLabel#lblProblem { color: %5; }
QTabWidget::pane { border: 1px solid %4; background: %9; }
QTabBar::tab { background: %3; color: %1; border: 1px solid %4; padding: 4px 14px;
               margin-right: 2px; }
QTabBar::tab:selected { background: %9; color: %6; font-weight: bold; border-bottom-color: %9; }
)")
        .arg(kText.name(), kDisabledText.name(), kControlFill.name(), kFrame.name(),
             kDimText.name(), kAccent.name())
        .arg(kFontPx)
        .arg(kTitleBack.name(), kWindowBack.name(), kListBack.name());
}

} // namespace peldor
