#pragma once
// The sink at the end of the extraction pipeline: it receives the decompressed
// archive in pieces of any size, parses the header on the fly, resolves every
// destination, then streams each entry's bytes into its file, verifies the
// file against its CRC-32 and reports each step through the callback.
//
// It follows the Boost.Iostreams sink contract: write() takes a prefix of what
// it is offered and the caller offers the rest again. A chunk never crosses an
// entry boundary, so every progress report belongs to one file. After any
// exception the writer discards all further input.

#include "payload/archive_format.h"
#include "payload/notification.h"
#include "payload/output_file.h"
#include "payload/payload_entry.h"

#include <boost/iostreams/categories.hpp>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <ios>
#include <map>
#include <optional>
#include <vector>

class payload_writer {
public:
    using char_type = char;
    using category = boost::iostreams::sink_tag;

    // A folder shared by all users; done once the users group got access.
    struct shared_folder {
        std::filesystem::path folder;
        bool done = false;
    };

    // The three folders are the values of "<InstallPath>", "<SamplePath>"
    // and "<Temporary>". Without a callback nothing is reported and every
    // answer counts as proceed. while_verifying is called after every
    // megabyte of a written file read back, so that the caller can keep its
    // window alive through a large file.
    payload_writer(std::filesystem::path install_folder, std::filesystem::path sample_folder,
                   std::filesystem::path temporary_folder, notification_callback callback,
                   std::function<void()> while_verifying = {});
    payload_writer(const payload_writer&) = delete;
    payload_writer& operator=(const payload_writer&) = delete;

    // Consumes a prefix of the n bytes and returns its length (possibly 0,
    // when an empty entry was completed).
    std::streamsize write(const char* bytes, std::streamsize n);

    // Called once the input has ended: writes the empty entries that end the
    // archive, which no further byte would bring about.
    void finish();

    // A stored destination folder as a real folder, recording the shared
    // folders it names. Raises unexpected_error for an unknown macro or a
    // special folder the shell does not know.
    std::filesystem::path resolve_destination(const std::filesystem::path& folder);

    // Adds a folder to the shared folders unless it is listed already.
    void record_shared_folder(const std::filesystem::path& folder);

    // Prepares the destination (an existing read-only file is made writable,
    // missing folders are created, shared folders above it are opened to the
    // users group) and opens it for writing.
    output_file open_output_file(const std::filesystem::path& destination);

    // Grants the users group access to every listed shared folder not done
    // yet that lies on folder's ancestor chain and exists.
    void open_shared_folders(const std::filesystem::path& folder);

    const std::vector<payload_entry>& entries() const noexcept { return entries_; }
    const std::vector<shared_folder>& shared_folders() const noexcept { return shared_folders_; }
    std::uint64_t header_length() const noexcept { return header_length_; }
    // Archive bytes consumed, header included, once the header is complete.
    std::uint64_t done() const noexcept { return done_; }
    // H plus the sum of the sizes, once the header is complete; 0 before.
    std::uint64_t total() const noexcept { return total_; }
    // 0 while the header is read, k while entry k (1-based) is processed.
    std::uint32_t index() const noexcept { return index_; }
    bool started() const noexcept { return started_; }
    bool failed() const noexcept { return failed_; }
    // The destination of the entry being processed, or empty.
    std::filesystem::path current_destination() const;

private:
    // The shell's answer for a special folder, asked once per extraction:
    // the header names the same few folders for all its entries.
    const std::filesystem::path& special_folder(int csidl, int fallback_csidl, bool use_fallback);
    std::streamsize write_header(const char* bytes, std::streamsize n);
    std::streamsize write_data(const char* bytes, std::streamsize n);
    notification::result notify(notification n);

    std::filesystem::path install_folder_;
    std::filesystem::path sample_folder_;
    std::filesystem::path temporary_folder_;
    std::vector<payload_entry> entries_;
    std::uint64_t header_length_ = 0;
    std::uint64_t done_ = 0;
    std::uint64_t total_ = 0;
    // The header while it arrives, then the open file of the current entry.
    std::optional<archive_header_reader> header_;
    std::optional<output_file> file_;
    notification_callback callback_;
    std::function<void()> while_verifying_;
    std::uint32_t index_ = 0;
    std::uint64_t remaining_ = 0;
    bool started_ = false;
    bool skipping_ = false;
    bool failed_ = false;
    std::vector<shared_folder> shared_folders_;
    std::map<int, std::filesystem::path> special_folders_;
    // The folder of the last file whose walk up to the root granted nothing
    // and raised nothing: the next file of the same folder would find the same.
    std::filesystem::path walked_folder_;
};
