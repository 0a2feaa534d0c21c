// Language table, string lookup with its fallbacks, formatting and locales,
// against the real string tables linked into this test program.

#include "app/language.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct language_guard {
    ~language_guard() { set_language(language_english); }
};

} // namespace

// Run once per user locale by ctest (LC_ALL differs), with the expected index.
TEST(UserLanguage, FollowsTheUserLocale)
{
    const char* expected = std::getenv("VT_EXPECT_USER_LANGUAGE");
    if (!expected)
        GTEST_SKIP() << "run by ctest with a user locale";
    EXPECT_EQ(user_language(product_languages), unsigned(std::atoi(expected)));
}

TEST(Strings, MissingTranslationsFallBackToEnglish)
{
    language_guard guard;
    set_language(2); // German: 1131 is marked "#"
    EXPECT_EQ(text(1131), L"Updating DirectX...");
    EXPECT_NE(text(1002), L"Cancel");

    set_language(15); // Polish: the installer itself runs in English
    EXPECT_TRUE(load_string(15, 1002).empty());
    EXPECT_EQ(text(1002), L"Cancel");
    EXPECT_EQ(text(1000), L"Installer");
}

// Every text the English table has, in the ids the tables use.
TEST(Strings, EveryTranslatedTableIsCompleteAndKeepsItsPlaceholders)
{
    unsigned english_texts = 0;
    for (unsigned id = 1000; id <= 1131; ++id) {
        std::wstring_view english = load_string(language_english, id);
        if (english.empty())
            continue;
        ++english_texts;
        for (unsigned i = 0; i < language_count; ++i) {
            SCOPED_TRACE("language " + std::to_string(i) + " id " + std::to_string(id));
            std::wstring_view own = load_string(i, id);
            if (!installer_translated(i) || (i == 2 && id == 1131)) {
                EXPECT_TRUE(own.empty());
                continue;
            }
            EXPECT_FALSE(own.empty());
            for (const wchar_t* field : {L"{0}", L"{1}"})
                EXPECT_EQ(own.find(field) == own.npos, english.find(field) == english.npos) << field;
        }
    }
    EXPECT_GE(english_texts, 40u);
}

TEST(Format, FillsFieldsByPositionAndFormatsAndPadsNumbers)
{
    EXPECT_EQ(format_text(L"{1}-{0}-{1}", {L"a", L"b"}), L"b-a-b");
    EXPECT_EQ(vt::format(L"{:08x} ({})", {5u, L"temp_directory_path"}), L"00000005 (temp_directory_path)");
    EXPECT_EQ(vt::format(L"{:08X}", {0x8007000Eu}), L"8007000E");
    EXPECT_EQ(vt::format(L"{:x}", {-26}), L"-1a");
    EXPECT_EQ(vt::format(L"{{0}} {0}", {L"v"}), L"{0} v");
    // A field without an argument stays visible rather than vanishing.
    EXPECT_EQ(format_text(L"'{0}' and {1}", {L"x"}), L"'x' and {1}");
    EXPECT_EQ(format_text(L"{oops} {", {L"x"}), L"{oops} {");
    // A width without a fill of zeros pads as the standard does: numbers on
    // the left (right-aligned), texts on the right (left-aligned).
    EXPECT_EQ(vt::format(L"[{:4}]", {5u}), L"[   5]");
    EXPECT_EQ(vt::format(L"[{:4}]", {-5}), L"[  -5]");
    EXPECT_EQ(vt::format(L"[{:6x}]", {0x1a}), L"[    1a]");
    EXPECT_EQ(vt::format(L"[{:04}]", {-5}), L"[-005]");
    EXPECT_EQ(vt::format(L"[{:4}]", {L"ab"}), L"[ab  ]");
    EXPECT_EQ(vt::format(L"[{:1}]", {12345}), L"[12345]");
}

// The C runtime follows the chosen language for characters, but numbers
// never take a language's decimal separator.
TEST(Locale, SettingsFollowTheChosenLanguageButNumbersStayC)
{
    language_guard guard;
    auto& settings = language_settings::instance();
    set_language(23); // Russian
    EXPECT_EQ(settings.code_page, 1251u);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", 1234.5);
    EXPECT_STREQ(buffer, "1234.50");
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");

    // A value from a damaged registry never becomes the language.
    set_language(25);
    set_language(0xFFFFFFFF);
    EXPECT_EQ(settings.language, 23u);
    EXPECT_THROW(language_langid(25), std::out_of_range);
}
