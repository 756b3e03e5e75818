// Every text a performer reads must have a German entry: the check opens every window the
// program has, collects each control's caption, hint and list items the way the localizer
// addresses them ("CLASS name.Caption"), and fails with the list of texts that de.txt does not
// translate, that en.txt cannot switch back, or that no translation can reach (a control without
// a name). Every resource string needs a German entry too. Texts without a letter (numbers,
// "-", ...) and texts that are data (names, values, devices) are left out.

#include "i18n/language_file.h"
#include "i18n/resource_strings.h"
#include "tests/window/slot_window_fixture.h"
#include "ui/about_form.h"
#include "ui/asio_form.h"
#include "ui/driver_settings_form.h"
#include "ui/instrument_form.h"
#include "ui/msg_box_form.h"
#include "ui/plugin_path_window.h"
#include "ui/plugin_problems_form.h"
#include "ui/splash_form.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMetaProperty>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTextEdit>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace peldor::test {
namespace {

/// A translation source from the repository's i18n/lang/.
TLanguageSource ReadSource(const char* language) {
    const char* source = std::getenv("PELDOR_SOURCE_DIR");
    const std::filesystem::path file =
        std::filesystem::path(source != nullptr ? source : ".") / "i18n" / "lang" / language;
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    TLanguageSource parsed;
    std::string reason;
    EXPECT_TRUE(ParseLanguageSource(text.str(), parsed, reason)) << file << ": " << reason;
    return parsed;
}

/// The resource name of a Qt class: without namespace, upper case.
QString ResourceName(const QMetaObject* meta) {
    QString name = QString::fromLatin1(meta->className());
    return name.mid(name.lastIndexOf(':') + 1).toUpper();
}

/// Data rather than text: filled in at run time from the show, the drivers, the plugins or the
/// settings, so no language file can hold it. Matched against "CLASS name.Property".
bool IsData(const QString& key) {
    static const QRegularExpression data(QStringLiteral(
        "^(TMAINFORM (MainForm\\.Caption|mnuMRU\\d\\.|StatusPanel\\d\\.|LANG_)"
        "|TSLOTLISTFORM (edtPlug|lb\\d|VSTi?Form\\.)" // plugin names; "VSTi 1", per window
        "|TASIOFORM (cmbDriver|cmbSampleRate|cmbClockSource|cmbInput|cmbOut)" // the driver's
        "|TMIDIFORM (inputs|outputs)\\."                                      // devices
        "|TMIXER\\dFORM name\\d"                // strip names of the project
        "|TPROJECTFORM lbx"                     // the show's songs, parts and connections
        "|TINSPECTORFORM (pnlConnection|lb)\\." // the connection's name, the MIDI monitor
        "|TMSGBOXFORM btn\\d"                   // the box's buttons, per call
        "|TPLUGINPROBLEMSFORM lbl"              // a path; a count (resource strings)
        "|TINSTRUMENTFORM )"                    // the plugin's caption and parameters
        "|\\.ValUnit$"));                       // units: dB, dBFS
    return data.match(key).hasMatch();
}

struct TText {
    QStringList Classes; // the window's class and its ancestors, own class last
    QString Path;        // "name.Caption", "name.Items(2)."
    QString Value;       // the program's English text
    QString Key() const { return Classes.back() + ' ' + Path; }
};

/// Texts with fewer than two letters ("X", "M", "S", numbers) read the same in every language.
bool HasWords(const QString& text) {
    static const QRegularExpression letter(QStringLiteral("\\p{L}"));
    return text.count(letter) >= 2;
}

bool IsWindow(const QObject* object) {
    if (!object->isWidgetType()) {
        return false;
    }
    const auto* widget = static_cast<const QWidget*>(object);
    return widget->isWindow() && widget->windowType() != Qt::Popup &&
           widget->windowType() != Qt::ToolTip;
}

/// What the user types or chooses is no text of the program.
bool HoldsUserData(const QObject* object) {
    return qobject_cast<const QLineEdit*>(object) != nullptr ||
           qobject_cast<const QAbstractSpinBox*>(object) != nullptr ||
           qobject_cast<const QTextEdit*>(object) != nullptr ||
           qobject_cast<const QPlainTextEdit*>(object) != nullptr;
}

/// The text "Caption" reaches on this object (the localizer's order: title, text, windowTitle).
QString CaptionOf(const QObject* object, bool isWindowItself) {
    for (const char* name : {"title", "text", "windowTitle"}) {
        const int index = object->metaObject()->indexOfProperty(name);
        if (index < 0) {
            continue;
        }
        const QMetaProperty property = object->metaObject()->property(index);
        if (property.metaType().id() != QMetaType::QString || !property.isWritable()) {
            continue;
        }
        if (std::string_view(name) == "windowTitle" && !isWindowItself) {
            return {};
        }
        return property.read(object).toString();
    }
    return {};
}

QString HintOf(const QObject* object) {
    const QString tip = object->property("toolTip").toString();
    const QString status = object->property("statusTip").toString();
    if (status.isEmpty() || status == tip) {
        return tip;
    }
    return tip + '|' + status;
}

class TextCollector {
public:
    void Window(QWidget* window) {
        if (!done.insert(window).second) {
            return;
        }
        owners.clear();
        QStringList classes;
        for (const QMetaObject* meta = window->metaObject();
             meta != nullptr && meta != &QObject::staticMetaObject; meta = meta->superClass()) {
            classes.prepend(ResourceName(meta));
        }
        Object(classes, window, true);
        Children(classes, window);
    }

    std::vector<TText> Texts;
    QStringList Unnamed;

private:
    void Children(const QStringList& classes, QObject* object) {
        for (QObject* child : object->children()) {
            if (IsWindow(child)) {
                continue;
            }
            Object(classes, child, false);
            Children(classes, child);
        }
    }

    void Add(const QStringList& classes, const QObject* object, const QString& property,
             const QString& value) {
        if (!HasWords(value)) {
            return;
        }
        const QString name = object->objectName();
        if (name.isEmpty()) {
            Unnamed << QString("%1: unnamed %2 \"%3\"")
                           .arg(classes.back(), object->metaObject()->className(), value);
            return;
        }
        TText text{classes, name + '.' + property, value};
        // The localizer reaches the first control of a name only.
        if (const auto [at, fresh] = owners.try_emplace(text.Key(), object);
            !fresh && at->second != object) {
            Unnamed
                << QString("%1: two controls named %2 (\"%3\")").arg(classes.back(), name, value);
        }
        Texts.push_back(std::move(text));
    }

    void Object(const QStringList& classes, QObject* object, bool isWindowItself) {
        if (HoldsUserData(object)) {
            return;
        }
        // A menu's own action shows the menu's title: the menu's entry translates both.
        if (auto* menu = qobject_cast<QMenu*>(object->parent());
            menu != nullptr && menu->menuAction() == object) {
            return;
        }
        Add(classes, object, "Caption", CaptionOf(object, isWindowItself));
        Add(classes, object, "Hint", HintOf(object));
        // The texts our own controls publish (a switch's OnCaption, a title bar's Caption).
        for (const QMetaObject* meta = object->metaObject(); meta != nullptr;
             meta = meta->superClass()) {
            if (!QByteArray(meta->className()).startsWith("peldor::")) {
                continue;
            }
            for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
                const QMetaProperty property = meta->property(i);
                if (property.metaType().id() == QMetaType::QString && property.isWritable()) {
                    Add(classes, object, property.name(), property.read(object).toString());
                }
            }
        }
        auto* combo = qobject_cast<QComboBox*>(object);
        if (combo != nullptr && !combo->isEditable()) {
            for (int i = 0; i < combo->count(); ++i) {
                Add(classes, object, QString("Items(%1).").arg(i), combo->itemText(i));
            }
        }
        if (auto* tabs = qobject_cast<QTabWidget*>(object)) {
            for (int i = 0; i < tabs->count(); ++i) {
                Add(classes, object, QString("Tabs(%1).").arg(i), tabs->tabText(i));
            }
        }
        if (auto* list = qobject_cast<QListWidget*>(object)) {
            for (int i = 0; i < list->count(); ++i) {
                Add(classes, object, QString("Items(%1).").arg(i), list->item(i)->text());
            }
        }
    }

    std::set<QObject*> done;
    std::map<QString, const QObject*> owners;
};

/// The entry a language source gives a text: its window class's or an ancestor's, by path
/// without regard to case; null when there is none.
const std::string* Entry(const TLanguageSource& source, const TText& text) {
    const std::string* found = nullptr;
    for (const QString& cls : text.Classes) {
        const auto entries = source.Classes.find(cls.toStdString());
        if (entries == source.Classes.end()) {
            continue;
        }
        for (const TTranslationEntry& entry : entries->second) {
            if (QString::fromStdString(entry.Path).compare(text.Path, Qt::CaseInsensitive) == 0) {
                found = &entry.Value; // a later (more derived) class's entry wins
            }
        }
    }
    return found;
}

/// A hint as the localizer applies it: "short|long", or one text for both.
std::pair<QString, QString> HintParts(const QString& value) {
    const qsizetype bar = value.indexOf('|');
    return bar < 0 ? std::pair{value, value} : std::pair{value.left(bar), value.mid(bar + 1)};
}

bool SameText(const TText& text, const QString& entry) {
    return text.Path.endsWith(QLatin1String(".Hint"), Qt::CaseInsensitive)
               ? HintParts(text.Value) == HintParts(entry)
               : text.Value == entry;
}

class TranslationCompletenessTest : public SlotWindowFixture {
protected:
    TranslationCompletenessTest() {
        CopyTestPlugin("PeldorSynth", plugins, "PeldorSynth.so");
        CopyTestPlugin("PeldorGain", plugins, "PeldorGain.so");
    }

    /// Opens every window the program has, the way a user reaches it where that is easy.
    void OpenEveryWindow() {
        Open();
        OpenShow(0, 0);
        for (const char* action :
             {"Mixer1", "Mixer2", "Mixer3", "Mixer4", "MIDI_Settings", "Project_Settings",
              "VSTI_List", "VST_effects", "ViewProject", "ViewInspector"}) {
            form->Action(action)->trigger();
        }
        ASSERT_NE(form->AsioWindow(), nullptr);
        owned.push_back(std::make_unique<TDriverSettingsForm>(*core->AudioSettings()));
        owned.push_back(std::make_unique<TPluginProblemsForm>(*core));
        owned.push_back(std::make_unique<TAboutForm>());
        owned.push_back(std::make_unique<TSplashForm>());
        owned.push_back(std::make_unique<TMsgBoxForm>());
        owned.push_back(std::make_unique<TPluginPathWindow>(pathForm));
        owned.push_back(std::make_unique<TInstrumentForm>(core.get(), 0));
    }

    std::vector<TText> Collect() {
        TextCollector collector;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (IsWindow(window)) {
                collector.Window(window);
            }
        }
        unnamed = collector.Unnamed;
        return collector.Texts;
    }

    TPluginPathForm pathForm;
    std::vector<std::unique_ptr<QWidget>> owned;
    QStringList unnamed;
};

TEST_F(TranslationCompletenessTest, EveryControlTextHasAGermanAndAnEnglishEntry) {
    OpenEveryWindow();
    const std::vector<TText> texts = Collect();
    ASSERT_GT(texts.size(), 100u) << "the windows were not all opened";
    const TLanguageSource german = ReadSource("de.txt");
    const TLanguageSource english = ReadSource("en.txt");

    QStringList noGerman;
    QStringList noEnglish;
    QStringList wrongEnglish;
    std::set<QString> seen;
    for (const TText& text : texts) {
        if (IsData(text.Key()) || !seen.insert(text.Key()).second) {
            continue;
        }
        const QString line = text.Key() + " = " + text.Value;
        if (Entry(german, text) == nullptr) {
            noGerman << line;
        }
        const std::string* back = Entry(english, text);
        if (back == nullptr) {
            noEnglish << line;
        } else if (!SameText(text, QString::fromStdString(*back))) {
            wrongEnglish << line + "   (en.txt: " + QString::fromStdString(*back) + ")";
        }
    }
    EXPECT_TRUE(noGerman.isEmpty()) << "texts without a German entry in i18n/lang/de.txt:\n"
                                    << noGerman.join('\n').toStdString();
    EXPECT_TRUE(noEnglish.isEmpty())
        << "texts that switching back to English cannot restore (no entry in i18n/lang/en.txt):\n"
        << noEnglish.join('\n').toStdString();
    EXPECT_TRUE(wrongEnglish.isEmpty()) << "en.txt differs from the program's own text:\n"
                                        << wrongEnglish.join('\n').toStdString();
    EXPECT_TRUE(unnamed.isEmpty()) << "texts no translation can reach (give the control a name):\n"
                                   << unnamed.join('\n').toStdString();
}

TEST(ResourceStringCompleteness, EveryResourceStringHasAGermanEntry) {
    const TLanguageSource german = ReadSource("de.txt");
    std::vector<std::string> missing;
    for (const ResourceStringEntry& entry : EnglishResStrings()) {
        if (entry.id != 0 && !german.Strings.contains(entry.id)) {
            missing.push_back('#' + std::to_string(entry.id) + " = " + std::string(entry.text));
        }
    }
    std::string list;
    for (const std::string& line : missing) {
        list += line + '\n';
    }
    EXPECT_TRUE(missing.empty()) << "resource strings without a German entry:\n" << list;
    // And nothing in de.txt names a resource string the program does not have.
    for (const auto& [id, text] : german.Strings) {
        EXPECT_FALSE(EnglishResString(static_cast<ResourceStringId>(id)).empty())
            << "#" << id << " in de.txt is no resource string of the program";
    }
}

} // namespace
} // namespace peldor::test
