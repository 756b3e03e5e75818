#include "i18n/localizer.h"

#include "i18n/common_strings.h"
#include "i18n/language_file.h"
#include "i18n/pe_resources.h"
#include "i18n/resource_strings.h"
#include "i18n/utf16.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QMetaProperty>
#include <QRegularExpression>

#include <array>
#include <atomic>
#include <map>
#include <mutex>
#include <string_view>
#include <utility>

namespace peldor {
namespace {

/// Windows' UTF-8 code page: what Peldor's strings are.
constexpr std::uint32_t kUtf8CodePage = 65001;
constexpr std::uint32_t kPrimaryLanguageMask = 0xFF;
constexpr std::uint32_t kSubLanguageMask = 0xFF00;

/// Language identifiers and the locales they stand for; the first of each primary language is
/// its main country.
struct TLcidLocale {
    std::uint16_t Lcid;
    const char* Locale;
};
constexpr std::array<TLcidLocale, 55> kLcidLocales{{
    {0x0401, "ar_SA"}, {0x0402, "bg_BG"}, {0x0403, "ca_ES"}, {0x0404, "zh_TW"}, {0x0405, "cs_CZ"},
    {0x0406, "da_DK"}, {0x0407, "de_DE"}, {0x0408, "el_GR"}, {0x0409, "en_US"}, {0x040A, "es_ES"},
    {0x040B, "fi_FI"}, {0x040C, "fr_FR"}, {0x040D, "he_IL"}, {0x040E, "hu_HU"}, {0x040F, "is_IS"},
    {0x0410, "it_IT"}, {0x0411, "ja_JP"}, {0x0412, "ko_KR"}, {0x0413, "nl_NL"}, {0x0414, "nb_NO"},
    {0x0415, "pl_PL"}, {0x0416, "pt_BR"}, {0x0418, "ro_RO"}, {0x0419, "ru_RU"}, {0x041A, "hr_HR"},
    {0x041B, "sk_SK"}, {0x041D, "sv_SE"}, {0x041E, "th_TH"}, {0x041F, "tr_TR"}, {0x0421, "id_ID"},
    {0x0422, "uk_UA"}, {0x0424, "sl_SI"}, {0x0425, "et_EE"}, {0x0426, "lv_LV"}, {0x0427, "lt_LT"},
    {0x042A, "vi_VN"}, {0x0804, "zh_CN"}, {0x0807, "de_CH"}, {0x0809, "en_GB"}, {0x080A, "es_MX"},
    {0x080C, "fr_BE"}, {0x0810, "it_CH"}, {0x0813, "nl_BE"}, {0x0816, "pt_PT"}, {0x081D, "sv_FI"},
    {0x0C07, "de_AT"}, {0x0C09, "en_AU"}, {0x0C0C, "fr_CA"}, {0x1007, "de_LU"}, {0x1009, "en_CA"},
    {0x100C, "fr_CH"}, {0x1407, "de_LI"}, {0x1409, "en_NZ"}, {0x1809, "en_IE"}, {0x2C0A, "es_AR"},
}};

/// Windows' ANSI code page per primary language; languages not listed have none.
struct TPrimaryCodePage {
    std::uint8_t Primary;
    std::uint16_t CodePage;
};
constexpr std::array<TPrimaryCodePage, 38> kCodePages{{
    {0x01, 1256}, {0x02, 1251}, {0x03, 1252}, {0x04, 936},  {0x05, 1250}, {0x06, 1252},
    {0x07, 1252}, {0x08, 1253}, {0x09, 1252}, {0x0A, 1252}, {0x0B, 1252}, {0x0C, 1252},
    {0x0D, 1255}, {0x0E, 1250}, {0x0F, 1252}, {0x10, 1252}, {0x11, 932},  {0x12, 949},
    {0x13, 1252}, {0x14, 1252}, {0x15, 1250}, {0x16, 1252}, {0x18, 1250}, {0x19, 1251},
    {0x1A, 1250}, {0x1B, 1250}, {0x1D, 1252}, {0x1E, 874},  {0x1F, 1254}, {0x21, 1252},
    {0x22, 1251}, {0x24, 1250}, {0x25, 1257}, {0x26, 1257}, {0x27, 1257}, {0x2A, 1258},
    {0x2D, 1252}, {0x36, 1252},
}};

QString ProgramPath() {
    if (QCoreApplication::instance() != nullptr) {
        return QCoreApplication::applicationFilePath();
    }
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

QString WithDelimiter(QString path) {
    if (!path.endsWith('/')) {
        path += '/';
    }
    return path;
}

QString LocaleDisplayName(const QLocale& locale) {
    return QLocale::languageToString(locale.language()) + " (" +
           QLocale::territoryToString(locale.territory()) + ")";
}

/// The object's own class name without namespace, upper case: its resource name.
QString ResourceName(const QMetaObject* meta) {
    QString name = QString::fromLatin1(meta->className());
    const qsizetype colon = name.lastIndexOf(':');
    if (colon >= 0) {
        name = name.mid(colon + 1);
    }
    return name.toUpper();
}

/// One path element: a name with an optional <n> or (n) index; an index that is not a number
/// reads as -1.
struct TPathElement {
    QString Name;
    enum class Kind { Plain, Collection, StringList } Index = Kind::Plain;
    int Item = -1;
};

TPathElement ParseElement(const QString& text) {
    TPathElement element;
    const qsizetype open = text.indexOf(QRegularExpression(QStringLiteral("[<(]")));
    if (open < 0) {
        element.Name = text;
        return element;
    }
    element.Name = text.left(open);
    const QChar closing = text[open] == '<' ? '>' : ')';
    element.Index =
        text[open] == '<' ? TPathElement::Kind::Collection : TPathElement::Kind::StringList;
    const qsizetype close = text.indexOf(closing, open + 1);
    bool ok = false;
    const int item = text.mid(open + 1, close < 0 ? -1 : close - open - 1).toInt(&ok);
    element.Item = ok ? item : -1;
    return element;
}

QMetaProperty FindProperty(const QObject* object, const QString& name) {
    const QMetaObject* meta = object->metaObject();
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (name.compare(QLatin1String(property.name()), Qt::CaseInsensitive) == 0) {
            return property;
        }
    }
    return {};
}

bool IsString(const QMetaProperty& property) {
    return property.isValid() && property.metaType().id() == QMetaType::QString;
}

bool IsStringList(const QMetaProperty& property) {
    return property.isValid() && property.metaType().id() == QMetaType::QStringList;
}

/// The Qt properties that the language files' usual names stand for, in order of preference.
QStringList AliasesOf(const QString& name) {
    const QString lower = name.toLower();
    if (lower == QLatin1String("caption")) {
        return {"title", "text", "windowTitle"};
    }
    if (lower == QLatin1String("text")) {
        return {"text", "plainText", "title"};
    }
    if (lower == QLatin1String("lines") || lower == QLatin1String("items")) {
        return {"plainText"};
    }
    return {};
}

class TTranslationError {
public:
    QString Message;
};

} // namespace

struct TLocalizerInt::TState final : IResourceStringTranslator {
    std::uint32_t LanguageID = 0;
    QString LanguageFile;
    bool Loaded = false;
    TPeResources Module;
    QString Directory;
    QString BaseName;
    QString LastError;
    QString LoadError;
    TLocalizerHooks Hooks;

    /// The loaded file's resource strings in UTF-8 (empty ones left out), published whole so
    /// that other threads' lookups never see a language half loaded or unloaded.
    /// The lock is held only to copy or replace the pointer (never on the audio thread; the
    /// standard library's atomic shared_ptr hides its lock from the race checker).
    using TStrings = std::map<std::uint32_t, std::string>;
    std::mutex StringsLock;
    std::shared_ptr<const TStrings> Strings;

    std::shared_ptr<const TStrings> LoadStrings() {
        std::lock_guard<std::mutex> hold(StringsLock);
        return Strings;
    }
    void StoreStrings(std::shared_ptr<const TStrings> strings) {
        std::shared_ptr<const TStrings> old;
        {
            std::lock_guard<std::mutex> hold(StringsLock);
            old = std::exchange(Strings, std::move(strings));
        }
        // The old table goes here, outside the lock, unless a lookup still holds it.
    }

    bool Translate(ResourceStringId id, std::string& text) override {
        const std::shared_ptr<const TStrings> strings = LoadStrings();
        if (!strings) {
            return false;
        }
        const auto found = strings->find(id);
        if (found == strings->end()) {
            return false;
        }
        text = found->second;
        return true;
    }

    void Publish() {
        auto strings = std::make_shared<TStrings>();
        for (const auto& [id, data] : Module.Numbered) {
            std::string text = Utf16LeBytesToUtf8(data);
            if (!text.empty()) {
                strings->emplace(id, std::move(text));
            }
        }
        StoreStrings(std::move(strings));
        SetResourceStringTranslator(this);
    }

    void Unload() {
        if (!Loaded) {
            return;
        }
        Loaded = false;
        LanguageID = 0;
        SetResourceStringTranslator(nullptr);
        StoreStrings(nullptr);
        Module = {};
    }

    bool IsForm(const QObject* object) const {
        return Hooks.IsForm ? Hooks.IsForm(object) : object->parent() == nullptr;
    }

    /// The objects a window owns by name (lower case); the first of a name wins. Windows of
    /// their own among its children are not entered.
    void CollectOwned(QObject* object, QHash<QString, QObject*>& owned) const {
        for (QObject* child : object->children()) {
            if (IsForm(child)) {
                continue;
            }
            const QString name = child->objectName().toLower();
            if (!name.isEmpty() && !owned.contains(name)) {
                owned.insert(name, child);
            }
            CollectOwned(child, owned);
        }
    }

    const TLocalizerHooks::TStringList* RegisteredList(QObject* object,
                                                       const QString& property) const {
        for (const TLocalizerHooks::TStringList& list : Hooks.StringLists) {
            if (object->inherits(list.ClassName) &&
                property.compare(QLatin1String(list.Property), Qt::CaseInsensitive) == 0) {
                return &list;
            }
        }
        return nullptr;
    }

    static void Assign(QObject* object, const QMetaProperty& property, const QVariant& value) {
        if (!property.write(object, value)) {
            throw TTranslationError{QStringLiteral("property \"%1\" of \"%2\" did not accept "
                                                   "the value")
                                        .arg(QLatin1String(property.name()), object->objectName())};
        }
    }

    /// Sets a string property by name or by one of its usual names.
    static void SetString(QObject* object, const QString& name, const QString& value) {
        const QMetaProperty own = FindProperty(object, name);
        if (own.isValid()) {
            if (IsString(own) && own.isWritable()) {
                Assign(object, own, value);
            }
            return;
        }
        if (name.compare(QLatin1String("hint"), Qt::CaseInsensitive) == 0) {
            const QMetaProperty toolTip = FindProperty(object, QStringLiteral("toolTip"));
            const QMetaProperty statusTip = FindProperty(object, QStringLiteral("statusTip"));
            const qsizetype bar = value.indexOf('|');
            if (IsString(toolTip) && toolTip.isWritable()) {
                Assign(object, toolTip, bar < 0 ? value : value.left(bar));
            }
            if (IsString(statusTip) && statusTip.isWritable()) {
                Assign(object, statusTip, bar < 0 ? value : value.mid(bar + 1));
            }
            return;
        }
        for (const QString& alias : AliasesOf(name)) {
            const QMetaProperty property = FindProperty(object, alias);
            if (IsString(property) && property.isWritable()) {
                Assign(object, property, value);
                return;
            }
        }
    }

    /// Replaces item `item` of a string list when the list has that many items.
    void SetListItem(QObject* object, const QString& name, int item, const QString& value) const {
        if (const auto* list = RegisteredList(object, name)) {
            if (item >= 0 && item < list->Count(object)) {
                list->Set(object, item, value);
            }
            return;
        }
        QMetaProperty property = FindProperty(object, name);
        if (!property.isValid()) {
            for (const QString& alias : AliasesOf(name)) {
                property = FindProperty(object, alias);
                if (property.isValid()) {
                    break;
                }
            }
        }
        if (!property.isValid() || !property.isWritable()) {
            return;
        }
        if (IsStringList(property)) {
            QStringList items = property.read(object).toStringList();
            if (item >= 0 && item < items.size()) {
                items[item] = value;
                Assign(object, property, items);
            }
        } else if (IsString(property)) {
            QStringList lines = property.read(object).toString().split('\n');
            if (item >= 0 && item < lines.size()) {
                lines[item] = value;
                Assign(object, property, lines.join('\n'));
            }
        }
    }

    /// Applies one entry; throws TTranslationError when a value could not be set.
    void Apply(QObject* component, const QHash<QString, QObject*>& owned, const QString& path,
               const QString& value) const {
        const QStringList elements = path.split('.');
        if (elements.size() < 2) {
            return;
        }
        QObject* current = nullptr;
        if (elements[0].compare(component->objectName(), Qt::CaseInsensitive) == 0) {
            current = component;
        } else {
            current = owned.value(elements[0].toLower(), nullptr);
        }
        if (current == nullptr) {
            return;
        }
        for (qsizetype i = 1; i < elements.size(); ++i) {
            const bool last = i + 1 == elements.size();
            const TPathElement element = ParseElement(elements[i]);
            if (element.Index == TPathElement::Kind::StringList) {
                if (!last) {
                    SetListItem(current, element.Name, element.Item, value);
                }
                return;
            }
            if (last && element.Index == TPathElement::Kind::Plain) {
                SetString(current, element.Name, value);
                return;
            }
            if (last) {
                return; // a collection item is no string
            }
            const QMetaProperty property = FindProperty(current, element.Name);
            if (!property.isValid() ||
                !(property.metaType().flags() & QMetaType::PointerToQObject)) {
                return;
            }
            QObject* next = property.read(current).value<QObject*>();
            if (next != nullptr && element.Index == TPathElement::Kind::Collection) {
                const QObjectList& items = next->children();
                next = element.Item >= 0 && element.Item < items.size() ? items[element.Item]
                                                                        : nullptr;
            }
            if (next == nullptr) {
                return;
            }
            current = next;
        }
    }
};

TLocalizerInt::TLocalizerInt() : state(std::make_unique<TState>()) {
    const QFileInfo program(ProgramPath());
    state->Directory = WithDelimiter(program.absolutePath());
    state->BaseName = program.completeBaseName();
}

TLocalizerInt::~TLocalizerInt() {
    state->Unload();
}

bool TLocalizerInt::IsActive() const {
    return state->Loaded;
}

std::uint32_t TLocalizerInt::LanguageID() const {
    return state->LanguageID;
}

std::uint32_t TLocalizerInt::CodePage() const {
    const std::uint32_t codePage = AnsiCodePage(state->LanguageID);
    return codePage != 0 ? codePage : kUtf8CodePage;
}

QString TLocalizerInt::GetDirectory() const {
    return state->Directory;
}

void TLocalizerInt::SetDirectory(const QString& path) {
    state->Directory = WithDelimiter(path);
}

QString TLocalizerInt::LanguageFile() const {
    return state->LanguageFile;
}

QString TLocalizerInt::BaseName() const {
    return state->BaseName;
}

void TLocalizerInt::SetBaseName(const QString& name) {
    state->BaseName = name;
}

QString TLocalizerInt::LastError() const {
    return state->LastError;
}

QString TLocalizerInt::LoadError() const {
    return state->LoadError;
}

void TLocalizerInt::SetHooks(TLocalizerHooks hooks) {
    state->Hooks = std::move(hooks);
}

bool TLocalizerInt::LoadLanguage(std::uint32_t lcid, bool apply) {
    state->Unload();
    state->LoadError.clear();
    state->LastError.clear();
    state->LanguageFile =
        state->Directory + state->BaseName + '.' + LanguageFileDigits(lcid) + ".wlx";
    if (!QFileInfo(state->LanguageFile).isFile()) {
        return false;
    }
    std::string reason;
    TPeResources module;
    if (!ReadPeResourceFile(state->LanguageFile.toStdString(), module, reason)) {
        state->LoadError = QString::fromStdString(reason);
        return false;
    }
    state->Module = std::move(module);
    state->Loaded = true;
    state->LanguageID = lcid;
    state->Publish();
    if (apply && state->Hooks.Forms) {
        for (QObject* form : state->Hooks.Forms()) {
            TranslateComponent(form);
        }
    }
    return IsActive();
}

bool TLocalizerInt::TranslateComponent(QObject* component) {
    if (component == nullptr || !IsActive()) {
        return true;
    }
    std::vector<const QMetaObject*> classes;
    for (const QMetaObject* meta = component->metaObject();
         meta != nullptr && meta != &QObject::staticMetaObject; meta = meta->superClass()) {
        classes.insert(classes.begin(), meta);
    }
    std::vector<std::uint8_t> stream;
    for (const QMetaObject* meta : classes) {
        const auto found = state->Module.Named.find(ResourceName(meta).toStdString());
        if (found != state->Module.Named.end()) {
            stream.insert(stream.end(), found->second.begin(), found->second.end());
        }
    }
    if (stream.empty()) {
        return true;
    }
    // A stream cut short still gives the entries before the cut.
    std::vector<TTranslationEntry> entries;
    std::string ignored;
    DecodeTranslationEntries(stream, entries, ignored);

    QHash<QString, QObject*> owned;
    state->CollectOwned(component, owned);
    for (const TTranslationEntry& entry : entries) {
        const QString path = QString::fromStdString(entry.Path);
        const QString value = QString::fromStdString(entry.Value);
        try {
            state->Apply(component, owned, path, value);
        } catch (const TTranslationError& error) {
            state->LastError = QString::fromStdString(LoadResString(kStrTranslationError))
                                   .arg(path, value, error.Message);
            return false;
        }
    }
    return true;
}

int TLocalizerInt::EnumLanguages(bool subLanguagesOnly, TLanguageCallback callback,
                                 void* userData) {
    std::vector<TLanguageInfo> list;
    const int count = ListLanguages(&list, subLanguagesOnly);
    if (callback != nullptr) {
        for (const TLanguageInfo& language : list) {
            callback(userData, language.Name);
        }
    }
    return count;
}

int TLocalizerInt::ListLanguages(std::vector<TLanguageInfo>* list, bool subLanguagesOnly) {
    const QString prefix = state->BaseName + '.';
    const QStringList files =
        QDir(state->Directory).entryList({prefix + "????.wlx"}, QDir::Files, QDir::Name);
    int count = 0;
    for (const QString& file : files) {
        bool ok = false;
        const std::int32_t parsed =
            static_cast<std::int32_t>(file.mid(prefix.size(), 4).toUInt(&ok, 16));
        const std::int32_t lcid = ok ? parsed : -1;
        if (lcid == 0 ||
            (subLanguagesOnly && (static_cast<std::uint32_t>(lcid) & kSubLanguageMask) == 0)) {
            continue;
        }
        ++count;
        if (list != nullptr) {
            list->push_back({LanguageName(lcid), lcid});
        }
    }
    return count;
}

bool TLocalizerInt::LoadDefaultLanguage(std::uint32_t fallbackLcid, bool apply) {
    const QString system = QLocale::system().name();
    std::uint32_t lcid = 0;
    for (const TLcidLocale& known : kLcidLocales) {
        if (system == QLatin1String(known.Locale)) {
            lcid = known.Lcid;
            break;
        }
    }
    if (lcid != 0 && LoadLanguage(lcid, apply)) {
        return true;
    }
    if (lcid != 0 && LoadLanguage(lcid & kPrimaryLanguageMask, apply)) {
        return true;
    }
    return fallbackLcid != 0 && LoadLanguage(fallbackLcid, apply);
}

TLocalizerInt& GetLocalizer() {
    static TLocalizerInt localizer;
    return localizer;
}

QString LanguageFileDigits(std::uint32_t lcid) {
    return QString::number(lcid, 16).rightJustified(4, '0').toUpper();
}

std::uint32_t AnsiCodePage(std::uint32_t lcid) {
    for (const TPrimaryCodePage& entry : kCodePages) {
        if (entry.Primary == (lcid & kPrimaryLanguageMask) && lcid != 0) {
            return entry.CodePage;
        }
    }
    return 0;
}

QString LanguageName(std::int32_t lcid) {
    for (const TLcidLocale& known : kLcidLocales) {
        if (static_cast<std::int32_t>(known.Lcid) == lcid) {
            return LocaleDisplayName(QLocale(QLatin1String(known.Locale)));
        }
    }
    for (const TLcidLocale& known : kLcidLocales) {
        if ((known.Lcid & kPrimaryLanguageMask) ==
                (static_cast<std::uint32_t>(lcid) & kPrimaryLanguageMask) &&
            lcid >= 0) {
            QString name = LocaleDisplayName(QLocale(QLatin1String(known.Locale)));
            const qsizetype cut = name.indexOf(QRegularExpression(QStringLiteral("[(\\[]")));
            return (cut < 0 ? name : name.left(cut)).trimmed();
        }
    }
    return QString::fromStdString(LoadResString(kStrUnknownLanguage));
}

} // namespace peldor
