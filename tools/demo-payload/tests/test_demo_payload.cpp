// Native test of the demo payload generator: a whole generation passes the
// packer's verification.

#include "demo_payload.h"
#include "inspect.h"
#include "layout.h"
#include "manifest.h"
#include "tests/scratch_folder.h"

#include <gtest/gtest.h>

#include <sstream>

namespace fs = std::filesystem;
using portable_test::read_bytes;

TEST(Generator, WritesTheStagingFolderAndAnArchiveThatVerifies)
{
    portable_test::scratch_folder folder("demo-payload-test");
    demo_payload_options options;
    options.staging_folder = folder.path() / "staging";
    options.archive = folder.path() / "demo.bz2";
    options.seed = 8111401;
    for (const std::string& name : demo_payload_binaries())
        options.binaries[name] = folder.write("built/" + name, "built " + name);
    // A stale file of an earlier run does not survive.
    folder.write("staging/old/stale.txt", "stale");

    const demo_payload_summary summary = generate_demo_payload(options);
    EXPECT_EQ(summary.compressed_length, fs::file_size(options.archive));
    EXPECT_FALSE(fs::exists(options.staging_folder / "old"));

    std::ostringstream report;
    EXPECT_EQ(verify_archive(options.archive, report), 0) << report.str();
    const archive_overview overview = read_overview(options.archive);
    EXPECT_EQ(overview.block_size, 9);
    EXPECT_EQ(overview.header_length, summary.header_length);

    // The staging folder's manifest and files, packed, give the same records
    // in the same order.
    std::vector<archive_record> staged;
    for (const manifest_entry& e : read_manifest(options.staging_folder / "manifest.txt")) {
        const std::string content = read_bytes(e.file);
        const std::uint32_t crc = crc32_of(content.data(), content.size());
        staged.push_back({e.source, e.destination, e.kind, content.size(), crc});
    }
    EXPECT_EQ(encode_archive_header(staged), encode_archive_header(overview.records));
    EXPECT_EQ(read_bytes(options.staging_folder / "Tablewright" / "Tablewright.exe"),
              read_bytes(options.binaries.at("Tablewright.exe")));

    // A missing binary stops the generation and leaves the archive alone.
    const auto before = read_bytes(options.archive);
    options.binaries.erase("Uninstall.exe");
    EXPECT_THROW(generate_demo_payload(options), std::runtime_error);
    EXPECT_EQ(read_bytes(options.archive), before);
}
