#include "payload/payload_reader.h"

#include "payload/boost_error_code.h"
#include "payload/bzip2_error.h"
#include "payload/compress_error.h"
#include "payload/parallel_bzip2.h"
#include "payload/payload_writer.h"

#include <windows.h>

#include <boost/iostreams/compose.hpp>
#include <boost/iostreams/copy.hpp>
#include <boost/iostreams/device/null.hpp>
#include <boost/ref.hpp>
#include <boost/system/system_error.hpp>

#include <cerrno>
#include <cstdlib>
#include <exception>

namespace fs = std::filesystem;
namespace io = boost::iostreams;

namespace {

// The buffer of the copy loop: a chunk of at most this size reaches a file
// at a time.
constexpr std::streamsize copy_buffer_size = 4096;

// The payload's decoder: its blocks are decoded on worker threads, one per
// processor; while this thread waits for them it lets the caller keep the
// window alive. During the extraction this thread spends most of its time
// waiting on the system (files, window messages), so the workers still find
// the processors free; they run below this thread's priority, so that the
// window and the files never queue behind them.
parallel_bzip2_decompressor payload_decoder(const waiting_callback& while_waiting,
                                            const std::function<unsigned()>& threads_wanted = {})
{
    parallel_bzip2_settings settings;
    settings.while_waiting = while_waiting;
    if (threads_wanted) {
        settings.threads = threads_wanted();
        settings.threads_wanted = threads_wanted;
    }
    settings.worker_started = [] { ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL); };
    return parallel_bzip2_decompressor(std::move(settings));
}

vt::imemstream resource_stream(HMODULE module, unsigned type, unsigned id)
{
    HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(type));
    if (!info)
        return {};
    HGLOBAL loaded = ::LoadResource(module, info);
    const DWORD size = ::SizeofResource(module, info);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data || size == 0)
        return {};
    return vt::imemstream(static_cast<const char*>(data), size);
}

// Takes the destination of the entry in progress when an exception passes
// through its scope, for the failed notification.
class entry_path_guard {
public:
    entry_path_guard(const payload_writer& writer, fs::path& path) noexcept
        : writer_(writer), path_(path), exceptions_(std::uncaught_exceptions())
    {
    }
    entry_path_guard(const entry_path_guard&) = delete;
    entry_path_guard& operator=(const entry_path_guard&) = delete;

    ~entry_path_guard()
    {
        if (std::uncaught_exceptions() > exceptions_ && writer_.started()) {
            try {
                path_ = writer_.current_destination();
            } catch (...) {
                // Out of memory while unwinding: report without the path.
            }
        }
    }

private:
    const payload_writer& writer_;
    fs::path& path_;
    int exceptions_;
};

} // namespace

vt::imemstream open_payload_resource(HMODULE resource_module, unsigned type, unsigned id)
{
    HMODULE current = resource_module ? resource_module : ::GetModuleHandleW(nullptr);
    vt::imemstream stream = resource_stream(current, type, id);
    HMODULE executable = ::GetModuleHandleW(nullptr);
    if (stream.size() == 0 && executable != current)
        stream = resource_stream(executable, type, id);
    return stream;
}

bool check_payload(std::istream& stream, const waiting_callback& while_waiting,
                   const std::function<unsigned()>& threads_wanted)
{
    try {
        io::copy(io::compose(payload_decoder(while_waiting, threads_wanted), stream), io::null_sink(),
                 copy_buffer_size);
        // Everything decoded, and nothing left over after the last stream.
        return stream.rdstate() == std::ios_base::goodbit && stream.rdbuf() && stream.rdbuf()->in_avail() <= 0;
    } catch (const std::exception&) {
        return false;
    }
}

bool extract_payload(std::istream& stream, const fs::path& install_folder, const fs::path& sample_folder,
                     const fs::path& temporary_folder, const notification_callback& callback,
                     const waiting_callback& while_waiting)
{
    fs::path failure_path;
    try {
        callback(notification::started{});
        payload_writer writer(install_folder, sample_folder, temporary_folder, callback, while_waiting);
        entry_path_guard guard(writer, failure_path);
        const std::streamsize copied =
            io::copy(io::compose(payload_decoder(while_waiting), stream), boost::ref(writer), copy_buffer_size);
        writer.finish();
        if (writer.total() != 0 && writer.done() == writer.total()) {
            callback(notification::completed{static_cast<std::uint64_t>(copied), writer.total()});
            return true;
        }
        throw_compress_error(compress_errc::unexpected_error, "archive shorter than its header announces");
    } catch (const std::exception& e) {
        fs::path path = failure_path;
        if (path.empty())
            if (const auto* fs_error = dynamic_cast<const fs::filesystem_error*>(&e))
                path = fs_error->path1();
        callback(notification::failed{error_from_exception(e), std::move(path)});
        return false;
    }
}

std::error_code error_from_exception(const std::exception& e)
{
    if (dynamic_cast<const std::ios_base::failure*>(&e)) {
        // The runtime records the system's error and its own error number
        // for a failed stream operation.
        if (_doserrno != 0)
            return {static_cast<int>(_doserrno), std::system_category()};
        if (errno != 0)
            return {errno, std::generic_category()};
    }
    if (dynamic_cast<const bzip2_error*>(&e))
        return make_error_code(compress_errc::bzip2_error);
    if (const auto* system = dynamic_cast<const std::system_error*>(&e))
        return system->code();
    if (const auto* boost_system = dynamic_cast<const boost::system::system_error*>(&e))
        return to_std_error_code(boost_system->code());
    return make_error_code(compress_errc::unexpected_error);
}
