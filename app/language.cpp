#include "app/language.h"
#include "support/error.h"

#include "support/format.h"

#include <algorithm>
#include <clocale>
#include <cstring>
#include <locale>
#include <stdexcept>
#include <vector>

namespace {

// The runtime library of the Windows builds understands "Language_Country"
// names ("French_France") but not the system's "fr-FR" names.
std::string runtime_locale_name(LCID lcid)
{
    wchar_t language[85] = {};
    wchar_t country[85] = {};
    if (!::GetLocaleInfoW(lcid, LOCALE_SENGLISHLANGUAGENAME, language, 85) ||
        !::GetLocaleInfoW(lcid, LOCALE_SENGLISHCOUNTRYNAME, country, 85))
        return {};
    std::string name;
    for (const wchar_t* p = language; *p; ++p)
        name.push_back(char(*p < 0x80 ? *p : '?'));
    name.push_back('_');
    for (const wchar_t* p = country; *p; ++p)
        name.push_back(char(*p < 0x80 ? *p : '?'));
    return name;
}

std::string narrow(const wchar_t* text)
{
    std::string out;
    for (; *text; ++text)
        out.push_back(char(*text < 0x80 ? *text : '?'));
    return out;
}

// The standard library's global locale takes collate, ctype, monetary and time
// from the named locale; numbers keep the current (classic) formatting. A name
// the library refuses falls back to the environment's locale, and when that is
// refused too (the Windows runtime knows only the classic locale) nothing changes.
void set_global_locale(const std::string& name)
{
    constexpr auto categories = std::locale::collate | std::locale::ctype | std::locale::monetary | std::locale::time;
    for (const std::string& candidate : {name, std::string()}) {
        try {
            std::locale::global(std::locale(std::locale(), std::locale(candidate.c_str()), categories));
            return;
        } catch (const std::runtime_error&) {
        }
    }
}

void set_runtime_locale(const std::string& name, LCID lcid)
{
    std::setlocale(LC_ALL, "C");
    std::string chosen = name;
    if (chosen.empty() || !std::setlocale(LC_CTYPE, chosen.c_str()))
        chosen = runtime_locale_name(lcid);
    for (int category : {LC_CTYPE, LC_COLLATE, LC_TIME, LC_MONETARY})
        std::setlocale(category, chosen.c_str());
    // LC_NUMERIC stays "C": numbers never take a language's decimal separator.
}

std::string user_default_locale_name()
{
    wchar_t name[85] = {};
    if (!::LCIDToLocaleName(LOCALE_USER_DEFAULT, name, 85, 0))
        return {};
    return narrow(name);
}

struct string_block {
    const WCHAR* data = nullptr;
    std::size_t words = 0;
};

string_block find_block(HMODULE module, unsigned block, LANGID language)
{
    HRSRC found = ::FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(block), language);
    if (!found)
        return {};
    HGLOBAL loaded = ::LoadResource(module, found);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data)
        return {};
    return {static_cast<const WCHAR*>(data), ::SizeofResource(module, found) / sizeof(WCHAR)};
}

// Entry of a block: 16 counted strings back to back.
std::wstring_view block_entry(const string_block& block, unsigned entry)
{
    std::size_t at = 0;
    for (unsigned i = 0; at < block.words; ++i) {
        std::size_t length = block.data[at++];
        if (length > block.words - at)
            return {};
        if (i == entry)
            return {reinterpret_cast<const wchar_t*>(block.data + at), length};
        at += length;
    }
    return {};
}

BOOL CALLBACK collect_language(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param)
{
    // Out of memory the enumeration stops with what it has.
    return vt::exception_barrier(FALSE, [&] {
        reinterpret_cast<std::vector<LANGID>*>(param)->push_back(language);
        return TRUE;
    });
}

} // namespace

language_settings& language_settings::instance()
{
    static language_settings settings;
    return settings;
}

language_settings::language_settings() : lcid(language_lcid(language_french))
{
    _configthreadlocale(_DISABLE_PER_THREAD_LOCALE);
    apply_locale(language_french);
    ::SetThreadLocale(lcid);
}

HMODULE language_settings::resource_module()
{
    if (!resource_module_)
        resource_module_ = ::GetModuleHandleW(nullptr);
    return resource_module_;
}

LANGID language_langid(unsigned index)
{
    if (!is_valid_language(index))
        throw std::out_of_range("language index");
    return language_table[index].langid;
}

LCID language_lcid(unsigned index)
{
    LANGID langid = language_langid(index);
    LCID user = ::GetUserDefaultLCID();
    return LANGIDFROMLCID(user) == langid ? user : MAKELCID(langid, SORT_DEFAULT);
}

int language_from_langid(LANGID langid) noexcept
{
    unsigned sub = SUBLANGID(langid);
    switch (PRIMARYLANGID(langid)) {
    case LANG_ARABIC: return 21;
    case LANG_BULGARIAN: return 8;
    case LANG_CHINESE: return (sub == SUBLANG_CHINESE_SIMPLIFIED || sub == SUBLANG_CHINESE_SINGAPORE) ? 10 : -1;
    case LANG_CZECH: return 12;
    case LANG_DANISH: return 6;
    case LANG_GERMAN: return 2;
    case LANG_GREEK: return 14;
    case LANG_ENGLISH: return 1;
    case LANG_SPANISH: return 3;
    case LANG_FRENCH: return 0;
    case LANG_HEBREW: return 16;
    case LANG_HUNGARIAN: return 19;
    case LANG_ITALIAN: return 11;
    case LANG_JAPANESE: return 18;
    case LANG_DUTCH: return 5;
    case LANG_NORWEGIAN: return 13;
    case LANG_POLISH: return 15;
    case LANG_PORTUGUESE: return 4;
    case LANG_ROMANIAN: return 9;
    case LANG_RUSSIAN: return 23;
    case 0x1A: // Croatian, Serbian and Bosnian share one primary language
        if (sub == 1 || sub == 4)
            return 24;
        if (sub == 5 || sub == 8)
            return -1;
        return 20;
    case LANG_TURKISH: return 7;
    case LANG_SLOVENIAN: return 22;
    case LANG_VIETNAMESE: return 17;
    default: return -1;
    }
}

unsigned user_language(std::uint32_t mask)
{
    if (mask == 0)
        mask = language_settings::instance().mask;
    int index = language_from_langid(::GetUserDefaultLangID());
    if (index >= 0 && (mask & (1u << index)))
        return unsigned(index);
    return (mask & (1u << language_english)) ? language_english : language_french;
}

std::string locale_name(unsigned index)
{
    LANGID langid = language_langid(index);
    wchar_t name[85] = {};
    LCID lcid = PRIMARYLANGID(::GetUserDefaultLangID()) == PRIMARYLANGID(langid) ? LOCALE_USER_DEFAULT
                                                                                 : language_lcid(index);
    if (!::LCIDToLocaleName(lcid, name, 85, 0))
        return {};
    return narrow(name);
}

bool is_right_to_left(unsigned index)
{
    LOCALESIGNATURE signature{};
    if (::GetLocaleInfoW(language_langid(index), LOCALE_FONTSIGNATURE, reinterpret_cast<LPWSTR>(&signature),
                         sizeof(signature) / sizeof(WCHAR)))
        return (signature.lsUsb[3] >> 27) & 1; // Unicode subset bit 123: right-to-left layout
    return index == 16 || index == 21;
}

void apply_locale(unsigned index)
{
    std::string name = locale_name(index);
    set_global_locale(name);
    set_runtime_locale(name, language_lcid(index));
}

void set_process_locale()
{
    _configthreadlocale(_DISABLE_PER_THREAD_LOCALE);
    set_global_locale(user_default_locale_name());
}

void set_language(unsigned index)
{
    if (!is_valid_language(index))
        return; // a stored value from a damaged registry never indexes the tables
    auto& settings = language_settings::instance();
    if (index != settings.language)
        apply_locale(index);
    settings.language = index;
    settings.lcid = language_lcid(index);
    DWORD code_page = 0;
    ::GetLocaleInfoW(settings.lcid, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                     reinterpret_cast<LPWSTR>(&code_page), sizeof(code_page) / sizeof(WCHAR));
    settings.code_page = code_page ? code_page : ::GetACP();
    settings.resource_module_ = nullptr;
    settings.right_to_left = is_right_to_left(index);
}

std::wstring_view load_string(unsigned index, unsigned id)
{
    HMODULE module = language_settings::instance().resource_module();
    LANGID langid = language_langid(index);
    unsigned block = id / 16 + 1;
    unsigned entry = id % 16;

    std::wstring_view found;
    if (langid != 0) {
        std::vector<LANGID> present;
        ::EnumResourceLanguagesW(module, RT_STRING, MAKEINTRESOURCEW(block), collect_language,
                                 reinterpret_cast<LONG_PTR>(&present));
        const LANGID candidates[] = {langid, LANGID(PRIMARYLANGID(langid) | 0x400), LANGID(PRIMARYLANGID(langid)),
                                     LANGID(0x400)};
        for (LANGID candidate : candidates) {
            if (std::find(present.begin(), present.end(), candidate) == present.end())
                continue;
            found = block_entry(find_block(module, block, candidate), entry);
            if (!found.empty())
                break;
        }
    }
    if (found.empty())
        found = block_entry(find_block(module, block, 0), entry);
    if (found == L"#")
        return {};
    return found;
}

std::wstring text(unsigned id)
{
    unsigned language = language_settings::instance().language;
    if (!installer_translated(language))
        language = language_english;
    std::wstring_view result = load_string(language, id);
    if (result.empty() && language != language_french) {
        if (language != language_english) {
            result = load_string(language_english, id);
            if (!result.empty())
                return std::wstring(result);
        }
        result = load_string(language_french, id);
    }
    return std::wstring(result);
}

LANGID current_langid()
{
    return LANGIDFROMLCID(language_settings::instance().lcid);
}
