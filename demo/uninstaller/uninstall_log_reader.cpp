#include "demo/uninstaller/uninstall_log_reader.h"

#include "engine/uninstall_log_parser.h"
#include "support/txtf_stream.h"

#include <vector>

uninstall_log read_uninstall_log(const std::filesystem::path& file)
{
    uninstall_log log;
    uninstall_log_parser parser;
    try {
        // The codec finds the encoding and turns every line end into one
        // line feed.
        vt::txtf::wifstream in(file, vt::txtf::encoding_automatic);
        if (!in.is_open())
            return log;
        log.found = true;
        // One more character than a valid line may have: a longer line fails
        // the stream instead of growing without end.
        std::vector<wchar_t> line(uninstall_log_max_line + 2);
        bool sound = true;
        while (sound && in.getline(line.data(), std::streamsize(line.size()))) {
            // The line feed counts as extracted, except after the last line
            // of a file that does not end with one.
            std::size_t length = std::size_t(in.gcount());
            if (!in.eof())
                --length;
            sound = parser.take_line(std::wstring_view(line.data(), length));
        }
        // The loop ends at the end of the file, or early at a line that broke
        // a rule, ran too long or could not be decoded.
        log.complete = sound && in.eof() && !in.bad() && parser.version() == 1;
    } catch (...) {
        log.complete = false;
    }
    log.product_text = parser.product_text();
    log.install_folder = parser.install_folder();
    log.shortcut_folder = parser.shortcut_folder();
    log.entries = std::move(parser.entries());
    return log;
}
