// vt-demo-payload: generates the demo product's payload for the installer.
//
//   vt-demo-payload STAGING_FOLDER ARCHIVE.bz2 [--seed N] [--threads N] NAME=BUILT_FILE...
//
// NAME=BUILT_FILE gives each built binary of the payload by its file name
// (Tablewright.exe, Uninstall.exe, DSETUP.dll, dsetup32.dll and the language
// modules); everything else is generated from the seed.

#include "demo_payload.h"

#include <cstdlib>
#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::cerr << "usage: vt-demo-payload STAGING_FOLDER ARCHIVE.bz2 [--seed N] [--threads N] NAME=BUILT_FILE...\n";
        return 2;
    }
    demo_payload_options options;
    options.staging_folder = argv[1];
    options.archive = argv[2];
    try {
        for (int i = 3; i < argc; ++i) {
            const std::string argument = argv[i];
            if ((argument == "--seed" || argument == "--threads") && i + 1 < argc) {
                const unsigned long long value = std::stoull(argv[++i]);
                if (argument == "--seed")
                    options.seed = value;
                else
                    options.threads = unsigned(value);
                continue;
            }
            const auto equals = argument.find('=');
            if (equals == std::string::npos || equals == 0)
                throw std::runtime_error("expected NAME=BUILT_FILE, found '" + argument + "'");
            options.binaries[argument.substr(0, equals)] = argument.substr(equals + 1);
        }
        const demo_payload_summary summary = generate_demo_payload(options);
        std::cout << options.archive.string() << ": " << summary.entries << " entries, header "
                  << summary.header_length << " bytes, archive " << summary.archive_length << " bytes, compressed "
                  << summary.compressed_length << " bytes\n";
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "vt-demo-payload: " << e.what() << "\n";
        return 1;
    }
}
