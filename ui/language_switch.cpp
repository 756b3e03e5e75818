#include "ui/language_switch.h"

#include "i18n/localizer.h"
#include "i18n/plugins_strings.h"
#include "plugins/plugin_catalogue.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QListWidget>
#include <QTabWidget>
#include <QWidget>

namespace peldor {
namespace {

bool IsWindow(const QObject* object) {
    if (!object->isWidgetType()) {
        return false;
    }
    const auto* widget = static_cast<const QWidget*>(object);
    // Menus are pop-ups of the window that owns them; their titles are that window's texts.
    return widget->isWindow() && widget->windowType() != Qt::Popup &&
           widget->windowType() != Qt::ToolTip;
}

void RenameFirstItem(TPluginMenu& menu, ResourceStringId id) {
    if (!menu.Items.empty() && menu.Items.front().Tag == kMenuTagNone) {
        menu.Items.front().Caption = LoadResString(id);
    }
}

} // namespace

void InstallWidgetLocalizer() {
    TLocalizerHooks hooks;
    hooks.IsForm = IsWindow;
    hooks.Forms = [] {
        QList<QObject*> forms;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (IsWindow(widget)) {
                forms.append(widget);
            }
        }
        return forms;
    };
    hooks.StringLists.push_back({"QComboBox", "Items",
                                 [](QObject* o) { return static_cast<QComboBox*>(o)->count(); },
                                 [](QObject* o, int i, const QString& text) {
                                     static_cast<QComboBox*>(o)->setItemText(i, text);
                                 }});
    hooks.StringLists.push_back({"QListWidget", "Items",
                                 [](QObject* o) { return static_cast<QListWidget*>(o)->count(); },
                                 [](QObject* o, int i, const QString& text) {
                                     static_cast<QListWidget*>(o)->item(i)->setText(text);
                                 }});
    hooks.StringLists.push_back({"QTabWidget", "Tabs",
                                 [](QObject* o) { return static_cast<QTabWidget*>(o)->count(); },
                                 [](QObject* o, int i, const QString& text) {
                                     static_cast<QTabWidget*>(o)->setTabText(i, text);
                                 }});
    GetLocalizer().SetHooks(std::move(hooks));
}

QString SwitchWindowsLanguage(std::int16_t code) {
    constexpr std::int16_t kGerman = 1031;
    constexpr std::int16_t kEnglish = 1033;
    TLocalizerInt& localizer = GetLocalizer();
    localizer.LoadLanguage(code == kGerman ? kGerman : kEnglish, true);
    RenameFirstItem(InstrumentMenu, kStrNoInstrument);
    RenameFirstItem(EffectMenu, kStrNoEffect);
    // Texts a window fills in at run time from resource strings are its own to renew.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        QEvent change(QEvent::LanguageChange);
        QCoreApplication::sendEvent(widget, &change);
    }
    return localizer.LastError();
}

QString TranslateWindow(QObject* window) {
    TLocalizerInt& localizer = GetLocalizer();
    return localizer.TranslateComponent(window) ? QString() : localizer.LastError();
}

} // namespace peldor
