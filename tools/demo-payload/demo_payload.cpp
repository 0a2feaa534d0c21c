#include "demo_payload.h"

#include "block_compressor.h"
#include "layout.h"
#include "manifest.h"
#include "payload/archive_format.h"

#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

std::string read_binary(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad())
        throw std::runtime_error("reading " + path.string() + " failed");
    return bytes;
}

void write_binary(const fs::path& path, const std::string& bytes)
{
    if (path.has_parent_path())
        fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    out.close();
    if (!out)
        throw std::runtime_error("writing " + path.string() + " failed");
}

// The stored source path as a path below the staging folder.
fs::path staged(const std::string& source)
{
    std::string relative = source;
    for (char& c : relative)
        if (c == '\\')
            c = '/';
    return relative;
}

void check_binaries(const std::map<std::string, fs::path>& given)
{
    std::set<std::string> needed;
    for (const std::string& name : demo_payload_binaries())
        needed.insert(name);
    for (const auto& [name, path] : given)
        if (!needed.count(name))
            throw std::runtime_error("the demo payload has no binary named " + name);
    for (const std::string& name : needed)
        if (!given.count(name))
            throw std::runtime_error("the built binary " + name + " was not given");
}

} // namespace

demo_payload_summary generate_demo_payload(const demo_payload_options& options)
{
    check_binaries(options.binaries);
    const std::vector<payload_item> layout = demo_payload_layout();

    // Every file of the layout, in archive order.
    std::vector<std::string> contents;
    contents.reserve(layout.size());
    for (const payload_item& item : layout) {
        if (!item.binary.empty()) {
            contents.push_back(read_binary(options.binaries.at(item.binary)));
        } else {
            prng random(file_seed(options.seed, item.source));
            contents.push_back(generate_content(item.content, random));
        }
    }

    // The staging folder holds exactly the payload's files and their
    // manifest, which vt-pack would pack into the same archive.
    fs::remove_all(options.staging_folder);
    const fs::path manifest = options.staging_folder / "manifest.txt";
    std::string manifest_text =
        "# The demo payload, written by vt-demo-payload; vt-pack packs it into the same archive.\n"
        "# kind | destination folder | source file\n";
    for (std::size_t i = 0; i < layout.size(); ++i) {
        write_binary(options.staging_folder / staged(layout[i].source), contents[i]);
        manifest_text += kind_name(layout[i].kind) + " | " + layout[i].destination + " | " +
                         staged(layout[i].source).generic_string() + "\n";
    }
    write_binary(manifest, manifest_text);

    // The packer's own checks of every line: destinations, names, sizes.
    const std::vector<manifest_entry> entries = read_manifest(manifest);
    std::vector<archive_record> records;
    records.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
        records.push_back({entries[i].source, entries[i].destination, entries[i].kind, contents[i].size(),
                           crc32_of(contents[i].data(), contents[i].size())});

    demo_payload_summary summary;
    summary.entries = records.size();
    summary.header_length = archive_header_length(records);
    summary.archive_length = archive_total_length(summary.header_length, records);

    std::string archive = encode_archive_header(records);
    archive.reserve(summary.archive_length);
    for (std::string& content : contents) {
        archive += content;
        std::string().swap(content);
    }
    const std::string compressed = compress_bzip2_parallel(archive, 9, options.threads);
    summary.compressed_length = compressed.size();

    // Written beside the archive and renamed: a failed run leaves the old one.
    fs::path partial = options.archive;
    partial += ".partial";
    write_binary(partial, compressed);
    fs::rename(partial, options.archive);
    return summary;
}
