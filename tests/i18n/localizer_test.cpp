// The localizer over Qt's property system: file names, translation paths, ancestors' resources,
// resource strings while a language is loaded and after, damaged files and the language list.

#include "i18n/common_strings.h"
#include "i18n/language_file.h"
#include "i18n/localizer.h"
#include "i18n/plugins_strings.h"
#include "i18n/resource_strings.h"
#include "tests/support/temp_dir.h"

#include <QLocale>
#include <QObject>
#include <QStringList>
#include <QVariant>

#include <gtest/gtest.h>

#include <fstream>

namespace peldor::test {

/// A window's base class and the window: their resources are applied ancestors first.
class TBaseForm : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Caption MEMBER caption)
public:
    QString caption = "Main";
};

class TTestForm final : public TBaseForm {
    Q_OBJECT
};

/// A memo: a string list, a read-only name and a number.
class TMemo final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QStringList Lines MEMBER lines)
    Q_PROPERTY(QString Name READ Name)
    Q_PROPERTY(int Width MEMBER width)
public:
    QString Name() const { return "memo"; }
    QStringList lines{"one", "two", "three"};
    int width = 10;
};

/// A text edit: its lines are those of its plain text.
class TNotes final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString plainText MEMBER text)
public:
    QString text = "a\nb\nc";
};

/// A control with Qt's names for caption and hints.
class TButton final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString text MEMBER text)
    Q_PROPERTY(QString toolTip MEMBER toolTip)
    Q_PROPERTY(QString statusTip MEMBER statusTip)
public:
    QString text = "&Save";
    QString toolTip = "Save";
    QString statusTip = "Save the project";
};

/// A collection: its items are the children of the object the property holds.
class TColumn final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Caption MEMBER caption)
public:
    QString caption = "column";
};

class TGrid final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QObject* Columns READ Columns)
public:
    TGrid() {
        columns.setParent(this);
        for (int i = 0; i < 2; ++i) {
            columnList.push_back(new TColumn());
            columnList.back()->setParent(&columns);
        }
    }
    QObject* Columns() { return &columns; }
    QObject columns;
    std::vector<TColumn*> columnList;
};

namespace {

struct TWindow {
    TTestForm form;
    TMemo* memo = new TMemo;
    TNotes* notes = new TNotes;
    TButton* save = new TButton;
    TGrid* grid = new TGrid;
    TTestForm* other = new TTestForm; // a window of its own among the children
    TButton* hidden = new TButton;

    TWindow() {
        form.setObjectName("MainForm");
        for (auto [object, name] : {std::pair<QObject*, const char*>{memo, "Memo1"},
                                    {notes, "Notes"},
                                    {save, "btnSave"},
                                    {grid, "Grid1"},
                                    {other, "Other"}}) {
            object->setObjectName(name);
            object->setParent(&form);
        }
        other->setProperty("window", true);
        hidden->setObjectName("Hidden");
        hidden->setParent(other);
    }
};

class LocalizerTest : public ::testing::Test {
protected:
    LocalizerTest() {
        localizer.SetDirectory(QString::fromStdString(dir.Path().string()));
        localizer.SetBaseName("peldor");
        TLocalizerHooks hooks;
        hooks.IsForm = [](const QObject* o) { return o->property("window").toBool(); };
        localizer.SetHooks(std::move(hooks));
    }

    void Write(const std::string& digits, const std::string& source) {
        TLanguageSource parsed;
        std::string reason;
        ASSERT_TRUE(ParseLanguageSource(source, parsed, reason)) << reason;
        const std::vector<std::uint8_t> module = BuildLanguageModule(parsed, 0);
        std::ofstream(dir / ("peldor." + digits + ".wlx"), std::ios::binary)
            .write(reinterpret_cast<const char*>(module.data()),
                   static_cast<std::streamsize>(module.size()));
    }

    TempDir dir{"peldor-localizer"};
    TLocalizerInt localizer;
};

TEST_F(LocalizerTest, FileNameFromDirectoryBaseNameAndLanguage) {
    localizer.SetDirectory("/x");
    EXPECT_EQ(localizer.GetDirectory(), "/x/");
    for (const auto& [lcid, name] : {std::pair{1031u, "/x/peldor.0407.wlx"},
                                     {1033u, "/x/peldor.0409.wlx"},
                                     {2055u, "/x/peldor.0807.wlx"},
                                     {0x1Au, "/x/peldor.001A.wlx"}}) {
        EXPECT_FALSE(localizer.LoadLanguage(lcid, false));
        EXPECT_EQ(localizer.LanguageFile(), name);
    }
    EXPECT_FALSE(localizer.IsActive());
    EXPECT_EQ(localizer.LanguageID(), 0u);
    // The program's own folder and name by default.
    const TLocalizerInt fresh;
    EXPECT_EQ(fresh.BaseName(), "i18n_localizer_tests");
    EXPECT_TRUE(fresh.GetDirectory().endsWith("/tests/i18n/"));
}

TEST_F(LocalizerTest, PathsReachPropertiesListsAndCollections) {
    Write("0407", "TBASEFORM mainform.CAPTION = Basis\n"
                  "TTESTFORM MAINFORM.caption = Hauptfenster\n"
                  "TTESTFORM btnOK.Hint = nothing to change\n"
                  "TTESTFORM Memo1.Lines(2). = drei\n"
                  "TTESTFORM Memo1.Lines(9). = neun\n"
                  "TTESTFORM Memo1.Lines(x). = keine Zahl\n"
                  "TTESTFORM Memo1.Lines(0) = kein Punkt\n"
                  "TTESTFORM Memo1.Width = 5\n"
                  "TTESTFORM Memo1.Name = read-only\n"
                  "TTESTFORM Memo1.Nothing.Caption = x\n"
                  "TTESTFORM Notes.Lines(1). = B\n"
                  "TTESTFORM btnSave.Caption = &Speichern\n"
                  "TTESTFORM btnSave.Hint = Speichern|Das Projekt speichern\n"
                  "TTESTFORM Grid1.Columns<1>.Caption = Zweite\n"
                  "TTESTFORM Grid1.Columns<5>.Caption = keine\n"
                  "TTESTFORM Grid1.Columns<0> = kein Text\n"
                  "TTESTFORM Hidden.text = in another window\n");
    TWindow window;
    const TWindow untouched;
    ASSERT_TRUE(localizer.LoadLanguage(1031, false));
    EXPECT_EQ(window.form.caption, "Main"); // not applied without apply
    ASSERT_TRUE(localizer.TranslateComponent(&window.form)) << localizer.LastError().toStdString();

    EXPECT_EQ(window.form.caption, "Hauptfenster"); // the class's own entry after its ancestor's
    EXPECT_EQ(window.memo->lines, (QStringList{"one", "two", "drei"}));
    EXPECT_EQ(window.memo->width, 10);
    EXPECT_EQ(window.notes->text, "a\nB\nc");
    EXPECT_EQ(window.save->text, "&Speichern");
    EXPECT_EQ(window.save->toolTip, "Speichern");
    EXPECT_EQ(window.save->statusTip, "Das Projekt speichern");
    EXPECT_EQ(window.grid->columnList[0]->caption, "column");
    EXPECT_EQ(window.grid->columnList[1]->caption, "Zweite");
    EXPECT_EQ(window.hidden->text, untouched.hidden->text);
    EXPECT_EQ(window.other->caption, "Main"); // owned windows translate themselves

    // Without a language, nothing is translated.
    EXPECT_FALSE(localizer.LoadLanguage(0x0C07, false));
    TWindow later;
    EXPECT_TRUE(localizer.TranslateComponent(&later.form));
    EXPECT_TRUE(localizer.TranslateComponent(nullptr));
    EXPECT_EQ(later.form.caption, "Main");
}

TEST_F(LocalizerTest, ResourceStringsFollowTheLoadedLanguage) {
    Write("0407", "TTESTFORM MainForm.Caption = Hauptfenster\n"
                  "#4103 = kein Instrument\n"
                  "#4104 =\n");
    TWindow first;
    TWindow second;
    TLocalizerHooks hooks;
    hooks.IsForm = [](const QObject* o) { return o->property("window").toBool(); };
    hooks.Forms = [&] { return QList<QObject*>{&first.form, &second.form}; };
    localizer.SetHooks(std::move(hooks));

    ASSERT_TRUE(localizer.LoadLanguage(1031, true));
    EXPECT_EQ(localizer.LanguageID(), 1031u);
    EXPECT_EQ(localizer.CodePage(), 1252u);
    EXPECT_EQ(first.form.caption, "Hauptfenster");
    EXPECT_EQ(second.form.caption, "Hauptfenster");
    EXPECT_EQ(LoadResString(kStrNoInstrument), "kein Instrument");
    EXPECT_EQ(LoadResString(kStrNoEffect), "no effect"); // an empty translation
    EXPECT_EQ(LoadResString(kStrCancel), "Cancel");      // none at all

    // English has no file here: windows stay German, resource strings are English again.
    EXPECT_FALSE(localizer.LoadLanguage(1033, true));
    EXPECT_FALSE(localizer.IsActive());
    EXPECT_EQ(localizer.CodePage(), 65001u);
    EXPECT_EQ(first.form.caption, "Hauptfenster");
    EXPECT_EQ(LoadResString(kStrNoInstrument), "no instrument");

    // A damaged file is refused with its reason and leaves no language loaded.
    ASSERT_TRUE(localizer.LoadLanguage(1031, false));
    std::ofstream(dir / "peldor.0807.wlx") << "MZ but nothing else";
    EXPECT_FALSE(localizer.LoadLanguage(2055, false));
    EXPECT_FALSE(localizer.IsActive());
    EXPECT_FALSE(localizer.LoadError().isEmpty());
    EXPECT_EQ(LoadResString(kStrNoInstrument), "no instrument");

    // Unloading with the localizer: the program's own strings.
    {
        TLocalizerInt other;
        other.SetDirectory(localizer.GetDirectory());
        other.SetBaseName("peldor");
        ASSERT_TRUE(other.LoadLanguage(1031, false));
        EXPECT_EQ(LoadResString(kStrNoInstrument), "kein Instrument");
    }
    EXPECT_EQ(LoadResString(kStrNoInstrument), "no instrument");
}

TEST_F(LocalizerTest, LanguageListNamesTheFilesLanguages) {
    for (const char* digits : {"0407", "0409", "0807", "0000", "zzzz", "0007", "04FF", "4407"}) {
        Write(digits, "#1 = x\n");
    }
    std::ofstream(dir / "other.0410.wlx") << "";
    std::ofstream(dir / "peldor.04100.wlx") << "";

    std::vector<TLanguageInfo> all;
    EXPECT_EQ(localizer.ListLanguages(&all, false), 7);
    std::map<std::int32_t, QString> names;
    for (const TLanguageInfo& language : all) {
        names[language.LanguageID] = language.Name;
    }
    EXPECT_EQ(names.at(0x0407), "German (Germany)");
    EXPECT_EQ(names.at(0x0409), "English (United States)");
    EXPECT_EQ(names.at(0x0807), "German (Switzerland)");
    EXPECT_EQ(names.at(0x0007), "German"); // a primary language: the name before "("
    EXPECT_EQ(names.at(0x4407), "German");
    EXPECT_EQ(names.at(0x04FF), "<unbekannt>");
    EXPECT_EQ(names.at(-1), "<unbekannt>"); // not a number

    // Sub-languages only: the primary-language file goes.
    EXPECT_EQ(localizer.ListLanguages(nullptr, true), 6);
    QStringList called;
    EXPECT_EQ(
        localizer.EnumLanguages(
            true,
            [](void* list, const QString& name) { static_cast<QStringList*>(list)->append(name); },
            &called),
        6);
    EXPECT_EQ(called.size(), 6);
    EXPECT_EQ(called.count("German"), 1); // 4407 only
    EXPECT_TRUE(called.contains("German (Switzerland)"));

    // Only Swiss German in a folder: unless the system speaks it, only the fallback finds it.
    TempDir swiss("peldor-localizer-swiss");
    std::filesystem::copy_file(dir / "peldor.0807.wlx", swiss / "peldor.0807.wlx");
    localizer.SetDirectory(QString::fromStdString(swiss.Path().string()));
    if (QLocale::system().name() != "de_CH") {
        EXPECT_FALSE(localizer.LoadDefaultLanguage(0, false));
    }
    EXPECT_TRUE(localizer.LoadDefaultLanguage(0x0807, false));
    EXPECT_EQ(localizer.LanguageID(), 0x0807u);

    EXPECT_EQ(AnsiCodePage(0x0419), 1251u);
    EXPECT_EQ(AnsiCodePage(0x0411), 932u);
    EXPECT_EQ(AnsiCodePage(0), 0u);
}

} // namespace
} // namespace peldor::test

#include "localizer_test.moc"
