// Native tests of the demo payload generator: the parallel compressor gives
// libbz2's own bytes, the layout has the shape of the product's payload, the
// generated files are reproducible and compress like their kind, and a whole
// generation passes the packer's verification.

#include "block_compressor.h"
#include "content.h"
#include "demo_payload.h"
#include "inspect.h"
#include "layout.h"
#include "manifest.h"
#include "payload/archive_format.h"
#include "payload/bzip2_compressor.h"
#include "payload/utf16.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <numeric>
#include <random>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string random_bytes(std::size_t size, std::uint64_t seed)
{
    prng random(seed);
    std::string out(size, '\0');
    for (char& c : out)
        c = static_cast<char>(random.below(256));
    return out;
}

// Runs of every length the first stage treats differently (1 to 3, 4 to 255,
// longer than 255), so that block limits fall inside runs too. Mostly short
// ones: long runs shrink to a few bytes and would fill no block.
std::string runs(std::size_t size, std::uint64_t seed)
{
    prng random(seed);
    std::string out;
    while (out.size() < size) {
        static const unsigned short_runs[] = {1, 2, 3, 4, 5};
        static const unsigned long_runs[] = {100, 251, 254, 255, 256, 259, 600};
        const unsigned length = random.below(20) == 0 ? random.pick(long_runs) : random.pick(short_runs);
        out.append(length, static_cast<char>(random.below(3)));
    }
    out.resize(size);
    return out;
}

std::string read_all(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

double bzip2_ratio(const std::string& data)
{
    return double(data.size()) / double(compress_bzip2_parallel(data, 9).size());
}

class scratch {
public:
    scratch()
    {
        std::random_device random;
        path_ = fs::temp_directory_path() / ("vt-demo-payload-test-" + std::to_string(random()));
        fs::create_directories(path_);
    }
    ~scratch()
    {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

} // namespace

TEST(BlockCompressor, GivesLibbz2sBytesForEveryKindOfInput)
{
    struct sample {
        const char* name;
        std::string data;
        int level;
    };
    std::string text;
    for (int i = 0; text.size() < 700000; ++i)
        text += "<part id=\"" + std::to_string(i) + "\" name=\"Shelf\" length=\"" + std::to_string(i * 37 % 2400) +
                "\"/>\n";
    const sample samples[] = {
        {"empty", "", 9},
        {"one byte", "x", 9},
        {"random, several blocks", random_bytes(350000, 1), 1},
        {"runs across block limits", runs(2200000, 2), 1},
        {"one long run", std::string(500000, 'a'), 1},
        {"text", text, 2},
        {"random at level 9", random_bytes(1000000, 3), 9},
    };
    for (const sample& s : samples) {
        SCOPED_TRACE(s.name);
        const auto lengths = bzip2_block_lengths(s.data, s.level);
        EXPECT_EQ(std::accumulate(lengths.begin(), lengths.end(), std::size_t(0)), s.data.size());
        EXPECT_EQ(compress_bzip2_parallel(s.data, s.level, 3), bzip2_compress(s.data, s.level));
    }
    // The samples that are meant to span several blocks do.
    EXPECT_GT(bzip2_block_lengths(random_bytes(350000, 1), 1).size(), 3u);
    EXPECT_GT(bzip2_block_lengths(runs(2200000, 2), 1).size(), 3u);
}

TEST(BlockCompressor, SameBytesWhateverTheNumberOfThreads)
{
    const std::string data = runs(400000, 7) + random_bytes(300000, 8);
    const std::string one = compress_bzip2_parallel(data, 1, 1);
    EXPECT_EQ(compress_bzip2_parallel(data, 1, 2), one);
    EXPECT_EQ(compress_bzip2_parallel(data, 1, 16), one);
}

TEST(Layout, HasTheShapeOfTheProductsPayload)
{
    const auto layout = demo_payload_layout();
    ASSERT_EQ(layout.size(), 80u);

    // By source path without regard to case, which gives: temporary files,
    // shared data and samples, the uninstaller, language modules, the program.
    EXPECT_TRUE(std::is_sorted(layout.begin(), layout.end(), [](const payload_item& a, const payload_item& b) {
        return archive_order(a.source, b.source);
    }));
    std::vector<std::uint32_t> kinds;
    for (const payload_item& item : layout)
        kinds.push_back(item.kind);
    auto at = kinds.begin();
    auto run_of = [&](auto matches) {
        auto end = std::find_if_not(at, kinds.end(), matches);
        auto count = end - at;
        at = end;
        return count;
    };
    EXPECT_EQ(run_of([](std::uint32_t k) { return k == 5; }), 6);
    EXPECT_EQ(run_of([](std::uint32_t k) { return k == 3 || k == 4; }), 53);
    EXPECT_EQ(run_of([](std::uint32_t k) { return k == 2; }), 1);
    EXPECT_EQ(run_of([](std::uint32_t k) { return k == 0; }), 19);
    EXPECT_EQ(run_of([](std::uint32_t k) { return k == 1; }), 1);
    EXPECT_EQ(at, kinds.end());

    // The DirectX files in the order the DirectX setup expects them.
    std::vector<std::string> temporary;
    for (const payload_item& item : layout)
        if (item.kind == 5)
            temporary.push_back(item.source.substr(item.source.rfind('\\') + 1));
    EXPECT_EQ(temporary, (std::vector<std::string>{"DSETUP.dll", "dsetup32.dll", "dxdllreg_x86.cab", "dxupdate.cab",
                                                   "Jun2010_D3DCompiler_43_x86.cab", "Jun2010_d3dx9_43_x86.cab"}));

    // Only the macros of the product's payload, each of them used; every
    // destination one the installer resolves, every file name one Windows
    // takes, no file twice.
    std::set<std::string> macros, targets;
    int sample_path_entries = 0;
    for (const payload_item& item : layout) {
        SCOPED_TRACE(item.source);
        const auto destination = *utf16_from_utf8(item.destination);
        EXPECT_EQ(destination_problem(destination), "");
        EXPECT_EQ(file_name_problem(*utf16_from_utf8(item.source.substr(item.source.rfind('\\') + 1))), "");
        macros.insert(item.destination.substr(0, item.destination.find('>') + 1));
        sample_path_entries += item.destination == "<SamplePath>";
        std::string target = item.destination + "\\" + item.source.substr(item.source.rfind('\\') + 1);
        std::transform(target.begin(), target.end(), target.begin(), [](char c) { return char(std::tolower(c)); });
        EXPECT_TRUE(targets.insert(target).second);
        EXPECT_EQ(item.binary.empty(), item.content.size > 0);
    }
    EXPECT_EQ(macros, (std::set<std::string>{"<CommonData>", "<InstallPath>", "<SamplePath>", "<Temporary>",
                                             "<UserData>"}));
    EXPECT_EQ(sample_path_entries, 10);
    EXPECT_EQ(demo_payload_binaries().size(), 23u);
}

TEST(Content, ReproducibleFromTheSeedAndCompressingLikeItsKind)
{
    struct expectation {
        content_spec spec;
        double min_ratio, max_ratio;
    };
    const expectation expectations[] = {
        {{content_type::material_list, 200000, "Woods"}, 8.0, 30.0},
        {{content_type::settings_xml, 100000, "Cutting rules"}, 6.0, 40.0},
        {{content_type::price_list, 100000, "Hardware prices"}, 5.0, 20.0},
        {{content_type::settings_ini, 30000, "program settings"}, 4.0, 20.0},
        {{content_type::user_settings, 5000, "User"}, 3.0, 20.0},
        {{content_type::component_library, 400000, "Cabinet"}, 2.0, 4.5},
        {{content_type::wood_texture, 393216, "Oak"}, 2.0, 4.5},
        {{content_type::wood_texture, 393216, "Chipboard"}, 1.5, 4.5},
        {{content_type::project, 400000, "Bookcase"}, 2.0, 4.5},
        {{content_type::cabinet, 200000, "d3dx9_x86.inf;d3dx9_43.dll"}, 0.9, 1.05},
    };
    for (const expectation& e : expectations) {
        SCOPED_TRACE(std::string(e.spec.subject));
        prng first(file_seed(1, e.spec.subject)), again(file_seed(1, e.spec.subject)), other(file_seed(2, e.spec.subject));
        const std::string content = generate_content(e.spec, first);
        EXPECT_EQ(generate_content(e.spec, again), content);
        EXPECT_NE(generate_content(e.spec, other), content);
        EXPECT_GE(content.size(), e.spec.size * 9 / 10);
        EXPECT_LE(content.size(), e.spec.size + 64 * 1024);
        const double ratio = bzip2_ratio(content);
        EXPECT_GE(ratio, e.min_ratio);
        EXPECT_LE(ratio, e.max_ratio);
    }

    // Files that are what their names say.
    prng random(5);
    const std::string bmp = generate_content({content_type::wood_texture, 512 * 3 * 64, "Walnut"}, random);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(bmp.size(), 54u + 512 * 3 * 64);
    const std::string cab = generate_content({content_type::cabinet, 30000, "a.inf;b.dll"}, random);
    EXPECT_EQ(cab.substr(0, 4), "MSCF");
    EXPECT_EQ(cab.size(), 30000u);
    EXPECT_NE(cab.find(std::string("b.dll") + '\0'), std::string::npos);
    const std::string xml = generate_content({content_type::material_list, 5000, "Glass"}, random);
    EXPECT_EQ(xml.rfind("</materials>\r\n"), xml.size() - 14);
}

TEST(Generator, WritesTheStagingFolderAndAnArchiveThatVerifies)
{
    scratch folder;
    demo_payload_options options;
    options.staging_folder = folder.path() / "staging";
    options.archive = folder.path() / "demo.bz2";
    options.seed = 8111401;
    for (const std::string& name : demo_payload_binaries()) {
        const fs::path built = folder.path() / "built" / name;
        fs::create_directories(built.parent_path());
        std::ofstream(built, std::ios::binary) << "built " << name << random_bytes(3000, name.size());
        options.binaries[name] = built;
    }
    // A stale file of an earlier run does not survive.
    fs::create_directories(options.staging_folder / "old");
    std::ofstream(options.staging_folder / "old" / "stale.txt") << "stale";

    const demo_payload_summary summary = generate_demo_payload(options);
    EXPECT_EQ(summary.entries, 80u);
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
        const std::string content = read_all(entries[i].file);
        EXPECT_EQ(content.size(), record.size);
        EXPECT_EQ(crc32_of(content.data(), content.size()), record.crc);
        total += record.size;
    }
    EXPECT_EQ(total, summary.archive_length);
    EXPECT_EQ(read_all(options.staging_folder / "Tablewright" / "Tablewright.exe"),
              read_all(options.binaries.at("Tablewright.exe")));

    // A missing binary stops the generation and leaves the archive alone.
    const auto before = read_all(options.archive);
    options.binaries.erase("Uninstall.exe");
    EXPECT_THROW(generate_demo_payload(options), std::runtime_error);
    EXPECT_EQ(read_all(options.archive), before);
}
