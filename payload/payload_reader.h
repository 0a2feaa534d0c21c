#pragma once
// The installer's payload: one bzip2-compressed archive in the resources of
// the executable (type 260, id 134), read as a stream and never unpacked
// whole, neither in memory nor to a temporary file.
//
// The installation sequence opens the resource, then calls extract_payload
// with its callback. While it handles the started notification it takes the
// verdict of the check that ran while the wizard was shown
// (background_payload_check), or verifies the payload itself with
// check_payload and rewinds the stream (seekg(0)); when the payload is
// damaged it throws std::system_error(compress_errc::invalid_archive), which
// the extraction reports as failed before anything is written.

#include "payload/notification.h"
#include "support/memstream.h"

#include <windows.h>

#include <exception>
#include <filesystem>
#include <functional>
#include <istream>
#include <system_error>

inline constexpr unsigned payload_resource_type = 260;
inline constexpr unsigned payload_resource_id = 134;

// A read-only stream over the resource's memory, which belongs to the module
// and stays valid for the life of the process. The resource is looked for in
// the given resource module (the language's; none: the executable), then in
// the executable; when it is missing or unreadable the stream is empty.
vt::imemstream open_payload_resource(HMODULE resource_module, unsigned type = payload_resource_type,
                                     unsigned id = payload_resource_id);

// Called on the calling thread every few milliseconds while the payload's
// decoder waits for its worker threads, so that the caller can keep its
// window responsive. It must not use the stream.
using waiting_callback = std::function<void()>;

// Whether the whole compressed stream decodes without error (the bzip2 data
// is checked against its own checksums; the archive inside is not looked
// at). Reads the stream to its end and leaves it there.
// threads_wanted, when given, is asked as the check goes how many threads
// should decode; it starts with that many.
bool check_payload(std::istream& stream, const waiting_callback& while_waiting = {},
                   const std::function<unsigned()>& threads_wanted = {});

// Decompresses the stream and writes every entry below the folders given for
// "<InstallPath>", "<SamplePath>" and "<Temporary>". Reports started, the
// entries, progress and completed through callback, which is required.
// Returns true when every entry was written and verified and the archive
// length matched; false after one failed notification. Files already written
// stay: removing them is the caller's business. The blocks of the payload
// are decoded on worker threads; everything else, the files included, is
// done on the calling thread.
bool extract_payload(std::istream& stream, const std::filesystem::path& install_folder,
                     const std::filesystem::path& sample_folder, const std::filesystem::path& temporary_folder,
                     const notification_callback& callback, const waiting_callback& while_waiting = {});

// The error code that a failure of the extraction is reported with: the
// operating-system error (or runtime error number) behind a stream failure,
// bzip2_error (6) for a decompressor error, the code of a standard or Boost
// system error (Boost's generic and system categories become the standard
// ones), unexpected_error (7) for anything else.
std::error_code error_from_exception(const std::exception& e);
