// vt-art OUTPUT_DIR: draws the installer's icons and side image and writes
// them where the resource compiler picks them up: app.ico, flag_141.ico to
// flag_166.ico and side.bmp. The output depends on nothing but this program,
// so every build embeds byte-identical art.

#include "tools/art/application_icon.h"
#include "tools/art/flags.h"
#include "tools/art/image_files.h"
#include "tools/art/side_bitmap.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: vt-art OUTPUT_DIR\n");
        return 2;
    }
    try {
        using namespace vt::art;
        const std::filesystem::path out = argv[1];
        std::filesystem::create_directories(out);
        write_file(out / "app.ico", encode_icon(paint_application_icon()));
        for (int id = first_flag_id; id <= last_flag_id; ++id)
            write_file(out / ("flag_" + std::to_string(id) + ".ico"), encode_icon(paint_flag_sizes(id)));
        write_file(out / "side.bmp", encode_bitmap(paint_side_bitmap()));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vt-art: %s\n", e.what());
        return 1;
    }
    return 0;
}
