// vt-fuzz-seeds: writes the seed inputs of the uninstall-log and codec fuzz
// targets into CORPUS/uninstall_log and CORPUS/txtf_codec.
//
// The logs are written the way the installer writes Uninstall.ulog (through
// the codec's wide file stream in UTF-16 mode, with its header and entry
// lines), plus a few variants the reader must also take or stop at. The
// codec seeds are texts in every encoding, with and without byte-order
// marks, each behind the three bytes (mode word, control byte) that the
// codec target reads first.

#include "txtf_fuzz_support.h"

#include "support/txtf_mode.h"
#include "support/txtf_stream.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace vt::txtf;

namespace {

const std::wstring install_folder = L"C:\\Program Files\\Vantrel Software\\Tablewright 8";
const std::wstring shortcut_folder =
    L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Vantrel Software\\Tablewright 8";

std::wstring log_header(const std::wstring& install_line)
{
    return L"// Uninstall Log File v1\n"
           L"// ############ WARNING: Do not delete or modify this file. ############\n" +
           install_line + L"\n// Install Path : " + install_folder + L"\n// Shortcut Path : " + shortcut_folder +
           L"\n// " + std::wstring(100, L'-') + L"\n";
}

// A fresh installation: a folder, the program, a language module, the
// uninstaller, both links, the uninstall key, the registration, DirectX.
std::wstring fresh_entries()
{
    const std::wstring& i = install_folder;
    return L"0000:00ff:1 -- " + i + L"\\Lang\n"
           L"0001:0101:1 -- " + i + L"\\Tablewright.exe\n"
           L"0002:0100:1 -- " + i + L"\\Lang\\Fran\u00E7ais.dll\n"
           L"0003:0102:1 -- " + i + L"\\Uninstall.exe\n"
           L"0004:02ff:1 -- " + shortcut_folder + L"\\Tablewright 8.11n.lnk\n"
           L"0005:04ff:0 -- \n"
           L"0006:05ff:1 -- HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tablewright 8\n"
           L"0007:06ff:0 -- HKEY_CLASSES_ROOT\\...\n"
           L"0008:07ff:1 -- DirectX Update\n";
}

// An update that kept the earlier run's samples and shared data.
std::wstring update_entries()
{
    return L"0000:0101:1 -- " + install_folder + L"\\Tablewright.exe\n"
           L"0001:0103:1 -- C:\\ProgramData\\Vantrel Software\\Tablewright 8\\materials.xml\n"
           L"0002:0104:0 -- C:\\Users\\Public\\Desktop\\Tablewright Examples\\Caf\u00E9 chair.twp\n"
           L"0003:04ff:1 -- C:\\Users\\Zo\u00EB\\Desktop\\Tablewright 8.11n \U0001F4D0.lnk\n"
           L"0004:07ff:0 -- DirectX Update\n";
}

void write_with_stream(const fs::path& file, const std::wstring& text, std::uint32_t mode,
    const std::locale& locale = std::locale::classic())
{
    wofstream out;
    out.imbue(locale);
    out.open(file, mode, std::ios_base::binary | std::ios_base::trunc);
    out << text;
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + file.string());
}

void write_bytes(const fs::path& file, const std::string& bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + file.string());
}

void write_logs(const fs::path& folder)
{
    fs::create_directories(folder);
    const std::wstring fresh = log_header(L"// Install Tablewright 8.11n") + fresh_entries();
    write_with_stream(folder / "fresh.ulog", fresh, encoding_utf16);
    write_with_stream(folder / "update.ulog",
        log_header(L"// Install Tablewright 8.11n -- Update (Tablewright 8.11m)") + update_entries(), encoding_utf16);
    // Other encodings and line ends that the automatic reading must take.
    write_with_stream(folder / "utf8-lf.ulog", fresh, encoding_utf8 | newline_lf);
    write_with_stream(folder / "ansi-cr.ulog", log_header(L"// Install Tablewright 8.11m") + update_entries(),
        encoding_code_page | newline_cr, fuzz::code_page_locale(0));
    write_with_stream(folder / "utf16be.ulog", fresh, encoding_utf16 | big_endian);
    // Reading stops at a type out of range, and at a version it does not know.
    write_with_stream(folder / "stops.ulog",
        log_header(L"// Install Tablewright 8.11n") + L"0000:0101:1 -- C:\\kept\n0001:0a00:1 -- C:\\x\n"
                                                      L"0002:0100:1 -- C:\\after\n",
        encoding_utf16);
    write_with_stream(folder / "version2.ulog",
        L"// Uninstall Log File v2\n" + fresh.substr(fresh.find(L'\n') + 1), encoding_utf16);
}

struct text_seed {
    const char* name;
    std::uint32_t write_mode; // how the bytes are made
    std::uint32_t read_mode;  // the mode word the target reads them in
    unsigned control;         // code page (bits 0-1), file streams (bit 2), output room (bits 3-7)
    std::wstring text;
};

void write_texts(const fs::path& folder)
{
    fs::create_directories(folder);
    const std::wstring text = L"Tablewright 8.11n\nCaf\u00E9 chair \u2014 na\u00EFve\r\nTab\there\rLast \u20AC "
                              L"\U0001F4D0 line\n";
    const std::wstring latin = L"Chaise caf\u00E9\r\nna\u00EFve\n";
    const text_seed seeds[] = {
        {"utf8-bom", encoding_utf8, encoding_automatic, 4, text},
        {"utf8-no-bom", encoding_utf8 | bom_none | newline_lf, encoding_automatic, 2 | 4 | 8, text},
        {"utf16le-bom", encoding_utf16, encoding_automatic, 4 | 16, text},
        {"utf16be-bom", encoding_utf16 | big_endian, encoding_automatic, 1, text},
        {"utf16le-no-bom", encoding_utf16 | bom_none, encoding_utf16 | bom_none, 4, text},
        {"utf16be-no-bom", encoding_utf16 | big_endian | bom_none, encoding_utf16 | big_endian, 0, text},
        {"utf32le-bom", encoding_utf32 | newline_cr, encoding_automatic, 4 | 24, text},
        {"utf32be-bom", encoding_utf32 | big_endian, encoding_automatic, 2, text},
        {"utf32le-no-bom", encoding_utf32 | bom_none, encoding_utf32, 4, text},
        {"ansi-latin1", encoding_code_page, encoding_automatic, 4, latin},
        {"ansi-utf8-locale", encoding_code_page, encoding_code_page | newline_lf, 2 | 4, text},
    };
    for (const text_seed& seed : seeds) {
        fuzz::facet writer(seed.write_mode, fuzz::code_page_locale(seed.control & 3));
        std::mbstate_t state{};
        std::string bytes = fuzz::encode(writer, seed.text, state, 0);
        std::string input{static_cast<char>(seed.read_mode & 0xFF), static_cast<char>(seed.read_mode >> 8),
            static_cast<char>(seed.control)};
        write_bytes(folder / seed.name, input + bytes);
    }

    // Broken UTF-8 that the lenient reading must survive: a stray
    // continuation byte, a cut sequence, a surrogate pair as two three-byte
    // forms, an overlong form, a five-byte form and a lone surrogate.
    const std::string broken = "a\x80" "b\xE2\x82" "c\xED\xA0\xBD\xED\xB3\x90" "d\xC0\xAF" "e\xF8\x88\x80\x80\x80"
                               "f\xED\xB0\x80" "g\xEF\xBF\xBF\r\n";
    write_bytes(folder / "utf8-broken", std::string{static_cast<char>(encoding_utf8), 0, 4} + broken);
    write_bytes(folder / "auto-broken", std::string{0, 0, 2 | 4} + broken);
    // Unpaired surrogates and a value past U+10FFFF in UTF-16 and UTF-32.
    write_bytes(folder / "utf16-lone-surrogates",
        std::string{static_cast<char>(encoding_utf16), 0, 4} + std::string("\x00\xD8" "a\x00" "\x00\xDC" "\x3D\xD8", 8));
    write_bytes(folder / "utf32-out-of-range",
        std::string{static_cast<char>(encoding_utf32), 0, 4} + std::string("\xFF\xFF\x11\x00" "\x00\xD8\x00\x00" "\xFE\xFF\x01\x00", 12));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: vt-fuzz-seeds CORPUS_FOLDER\n");
        return 2;
    }
    try {
        write_logs(fs::path(argv[1]) / "uninstall_log");
        write_texts(fs::path(argv[1]) / "txtf_codec");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vt-fuzz-seeds: %s\n", e.what());
        return 1;
    }
    return 0;
}
