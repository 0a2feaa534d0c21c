// vt-pack: builds, lists and verifies the installer's payload archive.
//
//   vt-pack pack MANIFEST OUTPUT.bz2
//   vt-pack list ARCHIVE.bz2
//   vt-pack verify ARCHIVE.bz2

#include "inspect.h"
#include "manifest.h"
#include "pack.h"

#include <cstring>
#include <iostream>

namespace {

int usage(std::ostream& out, int code)
{
    out << "usage: vt-pack pack MANIFEST OUTPUT.bz2   build an archive from a manifest\n"
           "       vt-pack list ARCHIVE.bz2           show the header and every entry\n"
           "       vt-pack verify ARCHIVE.bz2         check every header field, size and CRC-32\n"
           "The manifest format is described in tools/packer/README.md.\n"
           "\n"
           "A vendor's signed installer, from the source folder:\n"
           "  make i686 SIGN_CERT=vendor.p12 SIGN_PASSWORD_FILE=password   signs build/i686/demo/Uninstall.exe\n"
           "  build/host/vt-pack pack manifest.txt $PWD/payload.bz2        the manifest names that uninstaller\n"
           "  make i686 SIGN_CERT=vendor.p12 SIGN_PASSWORD_FILE=password CMAKE_ARGS=-DVT_PAYLOAD_ARCHIVE=$PWD/payload.bz2\n"
           "  sh tools/check-pe32.sh --signed-by cert.pem build/i686/Tablewright8Setup.exe payload.bz2 build/host/vt-pack\n";
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")))
        return usage(std::cout, 0);
    if (argc < 2)
        return usage(std::cerr, 2);
    const std::string command = argv[1];
    try {
        if (command == "pack" && argc == 4) {
            const auto entries = read_manifest(argv[2]);
            check_installable(entries, argv[2]);
            const pack_result result = pack_archive(entries, argv[3], argv[2]);
            std::cout << argv[3] << ": " << entries.size() << " entries, header " << result.header_length
                      << " bytes, archive " << result.archive_length << " bytes, compressed "
                      << result.compressed_length << " bytes\n";
            return 0;
        }
        if (command == "list" && argc == 3) {
            print_listing(read_overview(argv[2]), std::cout);
            return 0;
        }
        if (command == "verify" && argc == 3) {
            const int problems = verify_archive(argv[2], std::cout);
            if (problems == 0) {
                std::cout << argv[2] << ": OK\n";
                return 0;
            }
            std::cout << argv[2] << ": " << problems << (problems == 1 ? " problem\n" : " problems\n");
            return 1;
        }
    } catch (const std::exception& e) {
        std::cerr << "vt-pack: " << e.what() << "\n";
        return 1;
    }
    return usage(std::cerr, 2);
}
