#include "payload/payload_writer.h"

#include "payload/compress_error.h"
#include "payload/file_utils.h"
#include "payload/security.h"

#include <windows.h>

#include <algorithm>

namespace fs = std::filesystem;

payload_writer::payload_writer(fs::path install_folder, fs::path sample_folder, fs::path temporary_folder,
                               notification_callback callback, std::function<void()> while_verifying)
    : install_folder_(std::move(install_folder)),
      sample_folder_(std::move(sample_folder)),
      temporary_folder_(std::move(temporary_folder)),
      header_(std::in_place),
      callback_(std::move(callback)),
      while_verifying_(std::move(while_verifying))
{
}

notification::result payload_writer::notify(notification n)
{
    return callback_ ? callback_(std::move(n)) : notification::result::proceed;
}

fs::path payload_writer::current_destination() const
{
    if (index_ == 0 || index_ > entries_.size())
        return {};
    return entries_[index_ - 1].destination;
}

std::streamsize payload_writer::write(const char* bytes, std::streamsize n)
{
    if (failed_)
        return n; // after a failure everything is discarded
    try {
        return index_ == 0 ? write_header(bytes, n) : write_data(bytes, n);
    } catch (...) {
        failed_ = true;
        throw;
    }
}

std::streamsize payload_writer::write_header(const char* bytes, std::streamsize n)
{
    const std::size_t taken = header_->feed(bytes, static_cast<std::size_t>(n));
    if (!header_->complete())
        return static_cast<std::streamsize>(taken);

    header_length_ = header_->header_length();
    std::vector<archive_record> records = header_->take_records();
    entries_.resize(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        payload_entry& e = entries_[i];
        e.source = path_from_archive_string(records[i].source);
        e.destination = path_from_archive_string(records[i].destination);
        e.kind = records[i].kind;
        e.size = records[i].size;
        e.crc = records[i].crc;
    }
    // Every destination is resolved before the first file is written, so a
    // missing special folder stops the run while nothing has changed yet.
    for (payload_entry& e : entries_)
        e.destination = resolve_destination(e.destination) / e.source.filename();

    total_ = archive_total_length(header_length_, records);
    done_ = header_length_;
    if (notify(notification::progress{done_, total_}) == notification::result::abort)
        throw_compress_error(compress_errc::interrupted, "extraction aborted");
    index_ = 1;
    return static_cast<std::streamsize>(taken);
}

std::streamsize payload_writer::write_data(const char* bytes, std::streamsize n)
{
    if (index_ - 1 >= entries_.size())
        throw_compress_error(compress_errc::unexpected_error, "data beyond the last archive entry");
    payload_entry& e = entries_[index_ - 1];

    if (!started_) {
        const notification::result answer = notify(notification::entry_begin{e});
        if (answer == notification::result::abort)
            throw_compress_error(compress_errc::interrupted, "extraction aborted");
        skipping_ = answer == notification::result::skip;
        remaining_ = e.size;
        started_ = true;
        if (!skipping_) {
            header_.reset(); // the header is no longer needed
            file_.reset();
            file_.emplace(open_output_file(e.destination));
        }
    }

    const std::uint64_t take = std::min<std::uint64_t>(remaining_, static_cast<std::uint64_t>(n));
    if (!skipping_)
        file_->write(bytes, static_cast<std::size_t>(take));
    remaining_ -= take;
    done_ += take;
    if (notify(notification::progress{done_, total_}) == notification::result::abort)
        throw_compress_error(compress_errc::interrupted, "extraction aborted");

    if (remaining_ == 0) {
        if (!skipping_) {
            file_->close();
            file_.reset();
            // Read back from disk: this catches a short write, a disk that
            // lies, and anything that changed the file after it was closed.
            if (file_crc32(e.destination, while_verifying_) != e.crc)
                throw_compress_error(compress_errc::invalid_checksum, "written file differs from its archive entry");
            if (notify(notification::entry_end{e}) == notification::result::abort)
                throw_compress_error(compress_errc::interrupted, "extraction aborted");
        }
        ++index_;
        started_ = false;
        skipping_ = false;
    }
    return static_cast<std::streamsize>(take);
}

void payload_writer::finish()
{
    while (!failed_ && index_ >= 1 && index_ <= entries_.size() && !started_ && entries_[index_ - 1].size == 0)
        write(nullptr, 0);
}

output_file payload_writer::open_output_file(const fs::path& destination)
{
    // The file is not asked for before it is created. Under Wine a name that
    // is not there costs a read of its whole folder, and creating the file
    // reads it again; with thousands of files in one folder that doubled
    // the time of each one. A file that is there already refuses the
    // creation; then its read-only attribute is lifted, so that it can be
    // written over (Wine would let an administrator write a read-only file
    // and leave the new one read-only), and put back when it cannot be.
    const fs::path parent = destination.parent_path();
    if (!parent.empty())
        create_folders(parent); // a missing chain; raises with the folder and the system error
    open_shared_folders(parent);
    try {
        return output_file(destination, false);
    } catch (const fs::filesystem_error& e) {
        if (e.code() != std::error_code(ERROR_FILE_EXISTS, std::system_category()) &&
            e.code() != std::error_code(ERROR_ACCESS_DENIED, std::system_category()))
            throw;
    }
    read_only_lifted lifted(destination);
    output_file file(destination, true);
    lifted.written_over();
    return file;
}

void payload_writer::open_shared_folders(const fs::path& folder)
{
    // The walk asks the file system at every level, for every shared folder
    // not reached yet. Files of one folder come one after another, and their
    // folder and its parents exist by now: a shared folder not on that chain
    // cannot come onto it before the next file of the same folder.
    if (!walked_folder_.empty() && folder == walked_folder_)
        return;
    bool settled = true;
    for (shared_folder& shared : shared_folders_) {
        if (shared.done)
            continue;
        try {
            for (fs::path p = folder;;) {
                std::error_code ec;
                const fs::file_status status = fs::status(p, ec);
                if (ec && status.type() == fs::file_type::none) // an error other than "not found"
                    throw fs::filesystem_error("status", p, ec);
                if (!fs::is_directory(status))
                    break;
                if (same_path(p, shared.folder)) {
                    shared.done = true;
                    grant_users_access(p, shared_folder_access, inherit_to_children);
                    break;
                }
                fs::path parent = p.parent_path();
                if (parent.native().size() >= p.native().size())
                    break; // the root
                p = std::move(parent);
            }
        } catch (const std::exception&) {
            // Tried again for the next file written below it.
            settled = false;
        }
    }
    walked_folder_ = settled ? folder : fs::path();
}
