#include "ui/stage_look.h"

#include "ui/flat_style.h"

#include <QApplication>
#include <QStyleFactory>
#include <QToolTip>

namespace peldor {

QPalette StagePalette() {
    QPalette pal;
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        pal.setColor(group, QPalette::Window, style::kWindowBack);
        pal.setColor(group, QPalette::WindowText, style::kText);
        pal.setColor(group, QPalette::Base, style::kListBack);
        pal.setColor(group, QPalette::AlternateBase, style::kWindowBack);
        pal.setColor(group, QPalette::Text, style::kText);
        pal.setColor(group, QPalette::PlaceholderText, style::kDimText);
        pal.setColor(group, QPalette::Button, style::kControlFill);
        pal.setColor(group, QPalette::ButtonText, style::kText);
        pal.setColor(group, QPalette::BrightText, style::kAlarmText);
        pal.setColor(group, QPalette::ToolTipBase, style::kTitleBack);
        pal.setColor(group, QPalette::ToolTipText, style::kText);
        // Selection and focus outlines: the accent, with dark text on it.
        pal.setColor(group, QPalette::Highlight, style::kAccent);
        pal.setColor(group, QPalette::HighlightedText, style::kTitleBack);
        pal.setColor(group, QPalette::Link, style::kAccent);
        pal.setColor(group, QPalette::LinkVisited, style::kBarOrange);
        // Bevels, frames and separators.
        pal.setColor(group, QPalette::Light, style::kFrame);
        pal.setColor(group, QPalette::Midlight, style::kControlFill);
        pal.setColor(group, QPalette::Mid, style::kFrame.darker(150));
        pal.setColor(group, QPalette::Dark, style::kTitleBack);
        pal.setColor(group, QPalette::Shadow, style::kTrack);
    }
    // Disabled widgets: the same ground, dimmer text and flatter buttons.
    const QPalette active = pal;
    for (int role = 0; role < QPalette::NColorRoles; ++role) {
        const auto r = static_cast<QPalette::ColorRole>(role);
        pal.setColor(QPalette::Disabled, r, active.color(QPalette::Active, r));
    }
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::HighlightedText}) {
        pal.setColor(QPalette::Disabled, role, style::kDisabledText);
    }
    pal.setColor(QPalette::Disabled, QPalette::Button, style::kWindowBack);
    pal.setColor(QPalette::Disabled, QPalette::Base, style::kWindowBack);
    pal.setColor(QPalette::Disabled, QPalette::Highlight, style::kFrame);
    // Fusion draws disabled text with a "Light" emboss under it in some places.
    pal.setColor(QPalette::Disabled, QPalette::Light, style::kWindowBack);
    return pal;
}

void ApplyStageLook(QApplication& application) {
    // Fusion draws everything from the palette, the same on every desktop.
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")); fusion != nullptr) {
        QApplication::setStyle(fusion);
    }
    const QPalette pal = StagePalette();
    application.setPalette(pal);
    QToolTip::setPalette(pal);
}

} // namespace peldor
