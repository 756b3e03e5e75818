#pragma once
// The localizer: loads at most one language file at a time (Directory + BaseName + "." + the
// language identifier as four upper-case hexadecimal digits + ".wlx"), translates windows from
// it through Qt's property system, and translates the program's resource strings while a
// language is loaded.
//
// Translation paths: "Component.Property", where Component is the window's own objectName or
// the objectName of an object it owns (compared without regard to case), followed by a chain
// of properties. "Prop<n>" continues in item n of a collection (the n-th child of the object
// the property holds), "Prop(n)." replaces item n of a string list (a QStringList property,
// or the lines of a QString property). Besides a window's own Qt properties (matched without
// regard to case) the names "Caption", "Hint", "Text", "Lines" and "Items" reach the usual Qt
// texts: title/text/windowTitle, toolTip and statusTip (a hint "short|long" gives the short
// part to the tooltip and the long part to the status tip), text/plainText, the lines of
// plainText, and whatever string lists the windows register. Only writable string properties
// are set.
//
// Qt Core only. Window thread only.

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace peldor {

/// A language file found by EnumLanguages / ListLanguages.
struct TLanguageInfo {
    QString Name;
    std::int32_t LanguageID = 0;
};

using TLanguageCallback = void (*)(void* userData, const QString& name);

/// The localizer's interface; GetLocalizer() returns the program's one instance.
class TLocalizer {
public:
    virtual ~TLocalizer() = default;
    /// True while a language file is loaded.
    virtual bool IsActive() const = 0;
    /// The language identifier (LCID) of the loaded file; 0 when none.
    virtual std::uint32_t LanguageID() const = 0;
    /// The ANSI code page of the loaded language (Windows numbering), or 65001 (UTF-8, the
    /// system's own) when it has none. Peldor's strings are UTF-8 whatever this says.
    virtual std::uint32_t CodePage() const = 0;
    /// The folder searched for language files, with a trailing "/".
    virtual QString GetDirectory() const = 0;
    virtual void SetDirectory(const QString& path) = 0;
    /// Unloads the current language, then loads the file for lcid; with apply, translates
    /// every window that exists. False (and no language loaded) when the file is missing or
    /// damaged; windows keep the texts they have.
    virtual bool LoadLanguage(std::uint32_t lcid, bool apply) = 0;
    /// Translates a window from its class's and its ancestors' resources (ancestors first).
    /// Returns false when setting a value failed; LastError() then says which, and the rest of
    /// that window's translation is skipped. Does nothing without a loaded language.
    virtual bool TranslateComponent(QObject* component) = 0;
    /// Calls back with the name of each language file in the folder; returns their count.
    virtual int EnumLanguages(bool subLanguagesOnly, TLanguageCallback callback,
                              void* userData) = 0;
    /// Adds each language file's name and identifier to list (when given); returns the count.
    virtual int ListLanguages(std::vector<TLanguageInfo>* list, bool subLanguagesOnly) = 0;
    /// Tries the system's language, then its primary language, then fallbackLcid (when not 0).
    virtual bool LoadDefaultLanguage(std::uint32_t fallbackLcid, bool apply) = 0;
};

/// How windows reach the localizer beyond Qt Core: which objects are windows of their own,
/// and the string lists of controls that have no such property.
struct TLocalizerHooks {
    /// All windows, in the order LoadLanguage translates them.
    std::function<QList<QObject*>()> Forms;
    /// True for an object that is a window of its own: the search for a window's components
    /// does not descend into it. Default: objects without a parent.
    std::function<bool(const QObject*)> IsForm;
    /// A string list of a control by property name (Qt class name, property name).
    struct TStringList {
        const char* ClassName;
        const char* Property;
        std::function<int(QObject*)> Count;
        std::function<void(QObject*, int, const QString&)> Set;
    };
    std::vector<TStringList> StringLists;
};

/// The localizer's implementation.
class TLocalizerInt final : public TLocalizer {
public:
    TLocalizerInt();
    ~TLocalizerInt() override;
    TLocalizerInt(const TLocalizerInt&) = delete;
    TLocalizerInt& operator=(const TLocalizerInt&) = delete;

    bool IsActive() const override;
    std::uint32_t LanguageID() const override;
    std::uint32_t CodePage() const override;
    QString GetDirectory() const override;
    void SetDirectory(const QString& path) override;
    bool LoadLanguage(std::uint32_t lcid, bool apply) override;
    bool TranslateComponent(QObject* component) override;
    int EnumLanguages(bool subLanguagesOnly, TLanguageCallback callback, void* userData) override;
    int ListLanguages(std::vector<TLanguageInfo>* list, bool subLanguagesOnly) override;
    bool LoadDefaultLanguage(std::uint32_t fallbackLcid, bool apply) override;

    /// The full path of the last language file tried.
    QString LanguageFile() const;
    /// The program's name without extension (from its path); tests and installs may change it.
    QString BaseName() const;
    void SetBaseName(const QString& name);
    /// What the last failed TranslateComponent reported.
    QString LastError() const;
    /// Why the last LoadLanguage found a file but could not load it (empty otherwise).
    QString LoadError() const;
    void SetHooks(TLocalizerHooks hooks);

private:
    struct TState;
    std::unique_ptr<TState> state;
};

/// The program's localizer, created on first use.
TLocalizerInt& GetLocalizer();

/// The file name digits of a language identifier: 1031 -> "0407".
QString LanguageFileDigits(std::uint32_t lcid);
/// The Windows ANSI code page of a language identifier, or 0 when it has none.
std::uint32_t AnsiCodePage(std::uint32_t lcid);
/// The display name of a language identifier, as EnumLanguages gives it.
QString LanguageName(std::int32_t lcid);

} // namespace peldor
