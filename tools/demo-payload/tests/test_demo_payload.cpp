// Native test of the demo payload generator: a whole generation passes the
// packer's verification.

#include "demo_payload.h"
#include "inspect.h"
#include "layout.h"
#include "manifest.h"
#include "payload/utf16.h"
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

    // The manifest in the staging folder names every file of the archive, in
    // its order, and the files hold what the archive holds.
    const auto entries = read_manifest(options.staging_folder / "manifest.txt");
    ASSERT_EQ(entries.size(), overview.records.size());
    std::uint64_t total = overview.header_length;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(utf8_from_utf16(entries[i].source));
        const archive_record& record = overview.records[i];
        EXPECT_EQ(entries[i].source, record.source);
        EXPECT_EQ(entries[i].destination, record.destination);
        EXPECT_EQ(entries[i].kind, record.kind);
        const std::string content = read_bytes(entries[i].file);
        EXPECT_EQ(content.size(), record.size);
        EXPECT_EQ(crc32_of(content.data(), content.size()), record.crc);
        total += record.size;
    }
    EXPECT_EQ(total, summary.archive_length);
    EXPECT_EQ(read_bytes(options.staging_folder / "Tablewright" / "Tablewright.exe"),
              read_bytes(options.binaries.at("Tablewright.exe")));

    // A missing binary stops the generation and leaves the archive alone.
    const auto before = read_bytes(options.archive);
    options.binaries.erase("Uninstall.exe");
    EXPECT_THROW(generate_demo_payload(options), std::runtime_error);
    EXPECT_EQ(read_bytes(options.archive), before);
}
