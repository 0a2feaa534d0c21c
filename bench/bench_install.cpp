// Installation benchmark (make bench; never a test). It measures, on one Wine
// prefix and in one run of the benchmark:
//   - this installer installing its payload: the wizard opened as the
//     installer opens it, the Install button clicked, timed from the click to
//     the end of do_installation (a fresh process per run, as every real
//     installation is one);
//   - an NSIS installer of the same files into the same folders (solid
//     bzip2, 64-bit Unicode stub), run silently and timed as a whole process;
//   - the floor of the installer's own work: one raw libbz2 decode of the
//     payload, then writing and re-reading the same files with plain file I/O;
//   - the longest time in which the interface thread dispatched no message
//     during the installation, and the memory it took above its baseline.
// Every figure is the median of the runs.
//
//   bench_install nsi SCRIPT.nsi PATHS.txt DATA_FOLDER   write the NSIS script of the embedded payload
//                                                        (DATA_FOLDER: its source files, a host path)
//                                                        and the list of what an installation creates
//   bench_install run RUNS NSIS.exe PATHS.txt            measure and print the table
//   bench_install ours RUNS PATHS.txt                    only this installer's runs, for experiments
//   bench_install install [PAUSE_MS]                     one measured installation (run starts it),
//                                                        after PAUSE_MS on the start page as a user reads it
//
// The payload is the resource of type 260, id 134 of this program, as in the
// installer; tests/CMakeLists.txt embeds the benchmark payload.

#include "app/installer_context.h"
#include "app/language.h"
#include "resources/product.h"
#include "app/startup.h"
#include "engine/coalescing_view.h"
#include "engine/install_journal.h"
#include "support/protected_folder.h"
#include "payload/bzip2_decompressor.h"
#include "payload/file_utils.h"
#include "payload/output_file.h"
#include "payload/payload_reader.h"
#include "payload/payload_writer.h"
#include "payload/security.h"
#include "resources/dialog_ids.h"
#include "support/known_folder.h"
#include "support/unique_any.h"
#include "ui/basic_dialog.h"
#include "ui/dlg_install.h"
#include "ui/dlg_main.h"
#include "ui/window_utilities.h"

#include <windows.h>
#include <commctrl.h>
#include <knownfolders.h>
#include <psapi.h>

#include <bzlib.h>

#include <boost/iostreams/compose.hpp>
#include <boost/iostreams/device/array.hpp>
#include <boost/iostreams/read.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
namespace io = boost::iostreams;
using clock_type = std::chrono::steady_clock;

namespace {

double seconds_since(clock_type::time_point start)
{
    return std::chrono::duration<double>(clock_type::now() - start).count();
}

// Processor time (user and kernel) of all threads of a process, in seconds:
// the work done, whatever else the machine runs meanwhile.
double cpu_seconds(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    auto value = [](const FILETIME& t) { return (std::uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e7; };
    return value(kernel) + value(user);
}

double thread_cpu_seconds()
{
    FILETIME created, exited, kernel, user;
    ::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user);
    auto value = [](const FILETIME& t) { return (std::uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e7; };
    return value(kernel) + value(user);
}

std::string formatted(const char* format, double value)
{
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

std::string utf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(std::size_t(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring wide(const std::string& text)
{
    if (text.empty())
        return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring out(std::size_t(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n);
    return out;
}

// The payload resource of this program.
std::pair<const char*, std::size_t> payload_bytes()
{
    HMODULE self = ::GetModuleHandleW(nullptr);
    HRSRC info = ::FindResourceW(self, MAKEINTRESOURCEW(payload_resource_id), MAKEINTRESOURCEW(payload_resource_type));
    HGLOBAL loaded = info ? ::LoadResource(self, info) : nullptr;
    const char* data = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
    if (!data)
        throw std::runtime_error("no payload resource");
    return {data, ::SizeofResource(self, info)};
}

// The payload's entries with their destinations resolved as the installer
// resolves them: the header is decoded and handed to a payload_writer, which
// stops before the first file.
std::vector<payload_entry> payload_entries(payload_writer& writer)
{
    const auto [data, size] = payload_bytes();
    io::array_source source(data, size);
    auto decoded = io::compose(bzip2_decompressor(4096), source);
    char buffer[4096];
    while (writer.index() == 0) {
        const std::streamsize got = io::read(decoded, buffer, sizeof buffer);
        if (got <= 0)
            throw std::runtime_error("payload header incomplete");
        for (std::streamsize offset = 0; offset < got && writer.index() == 0;)
            offset += writer.write(buffer + offset, got - offset);
    }
    return writer.entries();
}

struct memory_sample {
    std::size_t working_set = 0;
    std::size_t private_bytes = 0;
};

// Private bytes are the pagefile usage (the commit charge on Windows; under
// Wine the process's anonymous resident memory, its heap, stacks and the
// decoder's buffers); the working set is the resident set.
memory_sample memory_now()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return {counters.WorkingSetSize, counters.PagefileUsage};
}

// Samples the process's memory every 5 ms from start to stop.
class memory_watch {
public:
    void start()
    {
        baseline_ = memory_now();
        peak_ = baseline_;
        stop_ = false;
        thread_ = std::thread([this] {
            while (!stop_) {
                const memory_sample now = memory_now();
                std::lock_guard lock(mutex_);
                peak_.working_set = std::max(peak_.working_set, now.working_set);
                peak_.private_bytes = std::max(peak_.private_bytes, now.private_bytes);
                ::Sleep(5);
            }
        });
    }
    void stop()
    {
        stop_ = true;
        thread_.join();
    }
    double private_mb() const { return above(peak_.private_bytes, baseline_.private_bytes); }
    double working_set_mb() const { return above(peak_.working_set, baseline_.working_set); }

private:
    static double above(std::size_t peak, std::size_t base)
    {
        return peak > base ? double(peak - base) / (1024.0 * 1024.0) : 0.0;
    }
    memory_sample baseline_, peak_;
    std::mutex mutex_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Measures how long the interface thread goes without dispatching messages:
// another thread posts a message to a window of the interface thread, waits
// until it has been dispatched, pauses a millisecond and posts the next one.
// The delay of each message is a time in which the thread dispatched nothing.
// The install page's status line at the start of the longest delay tells
// which step held the thread.
class dispatch_probe {
public:
    explicit dispatch_probe(HWND status) : status_(status)
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &dispatch_probe::window_proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"vt.bench.probe";
        ::RegisterClassW(&wc);
        window_ = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                                    nullptr);
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        dispatched_.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    }
    ~dispatch_probe() { ::DestroyWindow(window_); }

    void start()
    {
        last_status_ = window_text(status_);
        thread_ = std::thread([this] {
            while (!stop_) {
                posted_ = clock_type::now().time_since_epoch().count();
                ::PostMessageW(window_, WM_APP, 0, 0);
                ::WaitForSingleObject(dispatched_.get(), INFINITE);
                ::Sleep(1);
            }
        });
    }
    // Called by the interface thread right after the installation: the
    // probe message still waiting in the queue ends the last interval, which
    // covers the steps after the extraction that dispatch nothing.
    void stop()
    {
        pump_messages();
        stop_ = true;
        ::SetEvent(dispatched_.get());
        thread_.join();
    }

    double longest_ms = 0;         // over the whole installation
    double longest_payload_ms = 0; // while the payload was checked and extracted
    std::wstring longest_step;     // the status line when the longest began
    std::size_t samples = 0;
    // When the status line first and last showed a copied file: the check
    // is over, the extraction is.
    clock_type::time_point first_copy{}, payload_end{};

private:
    static std::wstring window_text(HWND window)
    {
        wchar_t text[512] = {};
        ::GetWindowTextW(window, text, 512);
        return text;
    }

    static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM w, LPARAM l)
    {
        if (message != WM_APP)
            return ::DefWindowProcW(window, message, w, l);
        auto* self = reinterpret_cast<dispatch_probe*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        const auto now = clock_type::now().time_since_epoch().count();
        const double ms = std::chrono::duration<double, std::milli>(clock_type::duration(now - self->posted_)).count();
        ++self->samples;
        if (ms > self->longest_ms) {
            self->longest_ms = ms;
            self->longest_step = self->last_status_;
        }
        const bool began_in_payload = self->in_payload_;
        self->last_status_ = window_text(self->status_);
        if (self->in_payload_ && self->last_status_.rfind(self->copying_, 0) == 0) {
            if (self->first_copy == clock_type::time_point{})
                self->first_copy = clock_type::now();
            self->payload_end = clock_type::now();
        }
        // The payload phase ends with the first step after the extraction.
        for (const std::wstring& later : self->later_steps_)
            if (self->last_status_.rfind(later, 0) == 0)
                self->in_payload_ = false;
        // An interval of the payload phase began and ended in it.
        if (began_in_payload && self->in_payload_ && ms > self->longest_payload_ms)
            self->longest_payload_ms = ms;
        ::SetEvent(self->dispatched_.get());
        return 0;
    }

    HWND status_;
    HWND window_ = nullptr;
    vt::unique_handle dispatched_;
    std::atomic<clock_type::rep> posted_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::wstring last_status_;
    bool in_payload_ = true;
    // The status lines up to their placeholder: "Copying File "{0}"...", and
    // the steps after the extraction. Looked up once: the probe itself must
    // cost the interface thread next to nothing.
    static std::wstring prefix(unsigned id) { return text(id).substr(0, text(id).find(L"{0}")); }
    std::wstring copying_ = prefix(1115);
    std::vector<std::wstring> later_steps_ = {prefix(1117), prefix(1131), prefix(1118), prefix(1119), prefix(1106)};
};

// One installation as the user starts it: the wizard frame runs modal, the
// script goes to the install page (quick installation) and clicks Install.
struct install_figures {
    double seconds = 0;
    double cpu = 0;             // processor time of the installer's threads meanwhile
    double interface_cpu = 0;   // of which the interface thread's
    double check_seconds = 0;   // click to the first copied file
    double extract_seconds = 0; // from there to the last copied file's last message
    double longest_ms = 0;
    double longest_payload_ms = 0;
    std::wstring longest_step;
    double private_mb = 0;
    double working_set_mb = 0;
    bool finished = false;
    std::wstring status;
    std::wstring log_last_line;
};

void press(HWND parent, int id) { ::SendMessageW(::GetDlgItem(parent, id), BM_CLICK, 0, 0); }

// What the script does once the wizard shows the install page.
std::function<void(HWND frame, HWND page)> on_install_page;

// A user's pause on the start page before going on, and what the wizard did
// meanwhile, while the payload's check ran beside it: the longest interval
// without dispatching messages and the peak memory above the baseline, which
// is taken before the wizard opens (so it includes the wizard's own windows).
std::chrono::milliseconds pause_on_pages{0};
struct pause_figures {
    double longest_ms = 0;
    double private_mb = 0;
    double working_set_mb = 0;
} pause_result;
memory_watch pause_memory;

// Dispatches messages for span, as the wizard's own modal loop would.
void dispatch_for(std::chrono::milliseconds span)
{
    const auto end = clock_type::now() + span;
    for (auto now = clock_type::now(); now < end; now = clock_type::now()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count();
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(left) + 1, QS_ALLINPUT);
        pump_messages();
    }
}

void pause_as_a_user()
{
    HWND page = dlg_main::instance().pages[dlg_main::page_install]->hwnd;
    dispatch_probe probe(::GetDlgItem(page, IDC_STATUS));
    probe.start();
    dispatch_for(pause_on_pages);
    probe.stop();
    pause_memory.stop();
    pause_result = {probe.longest_ms, pause_memory.private_mb(), pause_memory.working_set_mb()};
}

// The script of a measured run: the wizard frame runs modal as in the
// installer, the script goes to the install page (quick installation),
// hands it to on_install_page and closes the wizard.
void CALLBACK install_page_script(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND frame = dlg_main::instance().hwnd;
    if (!frame || !::IsWindowVisible(frame))
        return;
    ::KillTimer(nullptr, timer);
    if (pause_on_pages.count() > 0)
        pause_as_a_user();
    press(frame, IDC_NEXT); // the mode page
    press(frame, IDC_NEXT); // the install page
    if (dlg_main::instance().current_page == dlg_main::page_install)
        on_install_page(frame, dlg_main::instance().pages[dlg_main::page_install]->hwnd);
    ::EndDialog(frame, 0);
}

// Starts as the installer starts and runs the wizard with the script;
// nonzero when the installer would not have opened it.
int run_on_install_page(std::function<void(HWND frame, HWND page)> script)
{
    if (auto exit_code = start_process())
        return *exit_code;
    if (!installer_context::instance().initialise())
        return 3;
    on_install_page = std::move(script);
    if (pause_on_pages.count() > 0)
        pause_memory.start();
    UINT_PTR timer = ::SetTimer(nullptr, 0, 10, install_page_script);
    ::DialogBoxParamW(language_settings::instance().resource_module(), MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                      dialog_proc, reinterpret_cast<LPARAM>(&dlg_main::instance()));
    ::KillTimer(nullptr, timer);
    return 0;
}

void measure_installation(HWND frame, HWND page, install_figures& figures)
{
    {
        HWND status = ::GetDlgItem(page, IDC_STATUS);
        dispatch_probe probe(status);
        memory_watch memory;
        pump_messages();
        memory.start();
        probe.start();
        const double cpu_start = cpu_seconds(::GetCurrentProcess());
        const double interface_start = thread_cpu_seconds();
        const auto start = clock_type::now();
        press(frame, IDC_NEXT); // Install
        figures.seconds = seconds_since(start);
        figures.cpu = cpu_seconds(::GetCurrentProcess()) - cpu_start;
        figures.interface_cpu = thread_cpu_seconds() - interface_start;
        probe.stop();
        if (probe.first_copy != clock_type::time_point{})
            figures.check_seconds = std::chrono::duration<double>(probe.first_copy - start).count();
        if (probe.payload_end != clock_type::time_point{})
            figures.extract_seconds = std::chrono::duration<double>(probe.payload_end - probe.first_copy).count();
        memory.stop();
        figures.longest_ms = probe.longest_ms;
        figures.longest_payload_ms = probe.longest_payload_ms;
        figures.longest_step = probe.longest_step;
        figures.private_mb = memory.private_mb();
        figures.working_set_mb = memory.working_set_mb();
        figures.finished = installer_context::instance().finished;
        wchar_t text[512] = {};
        ::GetWindowTextW(status, text, 512);
        figures.status = text;
        // The log must hold every line, down to the last step's outcome.
        const std::wstring log = get_window_text(::GetDlgItem(page, IDC_LOG));
        const std::size_t last = log.rfind(L"\r\n", log.size() - std::min<std::size_t>(log.size(), 3));
        figures.log_last_line = log.substr(last == std::wstring::npos ? 0 : last + 2);
        while (!figures.log_last_line.empty() &&
               (figures.log_last_line.back() == L'\n' || figures.log_last_line.back() == L'\r'))
            figures.log_last_line.pop_back();
    }
}

int install_mode(std::chrono::milliseconds pause)
{
    pause_on_pages = pause;
    install_figures figures;
    if (int code = run_on_install_page([&](HWND frame, HWND page) { measure_installation(frame, page, figures); }))
        return code;
    std::printf("check_seconds=%.4f\nextract_seconds=%.4f\ncpu=%.4f\ninterface_cpu=%.4f\n", figures.check_seconds,
                figures.extract_seconds, figures.cpu, figures.interface_cpu);
    std::printf("seconds=%.4f\nlongest_ms=%.1f\nlongest_payload_ms=%.1f\nprivate_mb=%.1f\nworking_set_mb=%.1f\n"
                "finished=%d\n",
                figures.seconds, figures.longest_ms, figures.longest_payload_ms, figures.private_mb,
                figures.working_set_mb, figures.finished ? 1 : 0);
    std::printf("pause_longest_ms=%.1f\npause_private_mb=%.1f\npause_working_set_mb=%.1f\n", pause_result.longest_ms,
                pause_result.private_mb, pause_result.working_set_mb);
    // Compared here, where the installer's language is set, not in the
    // process that reads these lines.
    std::printf("longest_step=%s\nstatus=%s\nlog_last_line=%s\nlog_complete=%d\n", utf8(figures.longest_step).c_str(),
                utf8(figures.status).c_str(), utf8(figures.log_last_line).c_str(),
                figures.log_last_line == text(1119) + text(1011) ? 1 : 0);
    std::fflush(stdout);
    return figures.finished ? 0 : 4;
}

// The profile: each thing the interface thread does per chunk or per file,
// timed alone on the real install page, in microseconds per call; where a
// cost might grow with what came before, at 80 and at 2,000 entries.
// The machine is shared: the calls run in five batches and the quickest
// batch counts, the one least disturbed by other programs.
template <typename F>
double micros_per_call(int calls, F&& f)
{
    const int batch = std::max(1, calls / 5);
    double best = 1e300;
    for (int first = 0; first < calls; first += batch) {
        const int n = std::min(batch, calls - first);
        const auto start = clock_type::now();
        for (int i = first; i < first + n; ++i)
            f(i);
        best = std::min(best, seconds_since(start) * 1e6 / n);
    }
    return best;
}

void profile_row(const char* what, double at_80, double at_2000 = -1)
{
    if (at_2000 < 0)
        std::printf("%-66s %10.1f\n", what, at_80);
    else
        std::printf("%-66s %10.1f %10.1f\n", what, at_80, at_2000);
}

class null_view final : public installation_view {
public:
    void append_log(const std::wstring&) override {}
    void set_status(const std::wstring&) override {}
    void show_progress() override {}
    void set_progress(unsigned) override {}
    HWND owner() const override { return nullptr; }
};

void profile_page(HWND page_window)
{
    auto& page = dlg_install::instance();
    HWND progress = ::GetDlgItem(page_window, IDC_PROGRESS);
    const fs::path area = fs::temp_directory_path() / L"vt-bench-profile";
    std::error_code ec;
    fs::remove_all(area, ec);
    fs::create_directories(area / L"folder");
    const auto file_at = [&](int i) { return area / L"folder" / (L"file" + std::to_wstring(i) + L".dat"); };
    const std::string chunk(4096, 'x');
    const std::string small(8192, 'y');
    const std::wstring line = format_text(text(1115), {file_at(1234).wstring()}) + text(1011) + L"\r\n";

    std::printf("%-66s %10s %10s\n", "per chunk of 4 KB (microseconds per call)", "", "");
    profile_row("  pump_messages, empty queue", micros_per_call(20000, [](int) { pump_messages(); }));
    profile_row("  GetQueueStatus (is anything waiting?)", micros_per_call(20000, [](int) { (void)::GetQueueStatus(QS_ALLINPUT); }));
    profile_row("  GetInputState", micros_per_call(20000, [](int) { (void)::GetInputState(); }));
    profile_row("  MsgWaitForMultipleObjects, no object, no wait", micros_per_call(20000, [](int) {
                    (void)::MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT);
                }));
    profile_row("  GetCursor", micros_per_call(20000, [](int) { (void)::GetCursor(); }));
    HCURSOR wait = ::LoadCursorW(nullptr, IDC_WAIT);
    profile_row("  SetCursor (the wait cursor again)", micros_per_call(20000, [&](int) { ::SetCursor(wait); }));
    profile_row("  PBM_SETPOS, a new position every call",
                micros_per_call(5000, [&](int i) { ::SendMessageW(progress, PBM_SETPOS, WPARAM(i % 100), 0); }));
    profile_row("  PBM_SETPOS, the same position",
                micros_per_call(5000, [&](int) { ::SendMessageW(progress, PBM_SETPOS, 50, 0); }));
    null_view target;
    coalescing_view gathered(target);
    profile_row("  gathered progress and clock look (the new per-chunk cost)", micros_per_call(20000, [&](int i) {
                    gathered.set_progress(unsigned(i / 200 % 100));
                    gathered.tick();
                }));
    {
        output_file out(area / L"chunks.dat");
        profile_row("  write 4 KB to the open file", micros_per_call(2000, [&](int) { out.write(chunk.data(), chunk.size()); }));
        out.close();
    }

    std::printf("%-66s %10s %10s\n", "per file", "80", "2,000");
    profile_row("  status and log texts looked up and formatted", micros_per_call(2000, [&](int i) {
                    std::wstring l = format_text(text(1115), {file_at(i).wstring()});
                    l += text(1011);
                }));
    profile_row("  set_status (path with ellipsis)",
                micros_per_call(500, [&](int i) { page.set_status(format_text(text(1115), {file_at(i).wstring()})); }));
    // The log at the length 80 files give it, then at the length of 2,000.
    ::SetWindowTextW(::GetDlgItem(page_window, IDC_LOG), L"");
    std::wstring lines;
    for (int i = 0; i < 80; ++i)
        lines += line;
    page.append_log(lines);
    const double append_80 = micros_per_call(200, [&](int) { page.append_log(line); });
    lines.clear();
    for (int i = 0; i < 1720; ++i)
        lines += line;
    page.append_log(lines);
    const double append_2000 = micros_per_call(200, [&](int) { page.append_log(line); });
    std::printf("  (the log holds %d characters)\n", ::GetWindowTextLengthW(::GetDlgItem(page_window, IDC_LOG)));
    profile_row("  append_log, one line, log of 80 / 2,000 lines", append_80, append_2000);
    HWND log = ::GetDlgItem(page_window, IDC_LOG);
    profile_row("    of which EM_SETSEL to the end", micros_per_call(200, [&](int) { ::SendMessageW(log, EM_SETSEL, 0x7FFFFFFF, -1); }));
    profile_row("    of which EM_REPLACESEL", micros_per_call(200, [&](int) {
                    ::SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
                }));
    profile_row("    of which EM_LINESCROLL", micros_per_call(200, [&](int) { ::SendMessageW(log, EM_LINESCROLL, 0, 1); }));
    profile_row("  a repaint of the log alone", micros_per_call(200, [&](int) {
                    ::InvalidateRect(log, nullptr, FALSE);
                    ::UpdateWindow(log);
                }));
    lines.clear();
    for (int i = 0; i < 40; ++i)
        lines += line;
    profile_row("  append_log of 40 lines at once, per line (2,000-line log)",
                micros_per_call(20, [&](int) { page.append_log(lines); }) / 40);

    // The journal: a file begun, written and closed, after 80 and after 2,000
    // files, with the journal on disk (a record before and after each file,
    // the file's stamp) as the installation keeps it, and without.
    const vt::protected_folder journals(area / L"journals");
    const auto journal_costs = [&](int entries, bool on_disk, double& begin, double& lookup, double& log_ms) {
        install_journal journal;
        if (on_disk)
            journal.record_to(journals.path() / L"vantrel_{bench}.journal", {1, area.wstring(), area.wstring()});
        auto one_file = [&](int i) {
            journal.begin_file(file_at(i), 0, false);
            std::ofstream(file_at(i), std::ios::binary) << "z";
            journal.close_entry(true);
        };
        for (int i = 0; i < entries - 40; ++i)
            one_file(i);
        begin = micros_per_call(40, [&](int i) { one_file(entries - 40 + i); });
        const auto start = clock_type::now();
        journal.write_log(area / L"Uninstall.ulog", area.wstring(), area.wstring());
        log_ms = seconds_since(start) * 1e3;
        journal.end_record();
        install_journal next;
        next.read_log(area / L"Uninstall.ulog");
        lookup = micros_per_call(200, [&](int i) { (void)next.previous_file_done(area / (L"other" + std::to_wstring(i))); });
        ::SetFileAttributesW((area / L"Uninstall.ulog").c_str(), FILE_ATTRIBUTE_NORMAL);
        for (int i = 0; i < entries; ++i)
            fs::remove(file_at(i), ec);
    };
    double unrecorded_80, unrecorded_2000, ignored;
    journal_costs(80, false, unrecorded_80, ignored, ignored);
    journal_costs(2000, false, unrecorded_2000, ignored, ignored);
    profile_row("  file begun, written and closed, no journal on disk", unrecorded_80, unrecorded_2000);
    double begin_80, lookup_80, log_80, begin_2000, lookup_2000, log_2000;
    journal_costs(80, true, begin_80, lookup_80, log_80);
    journal_costs(2000, true, begin_2000, lookup_2000, log_2000);
    profile_row("  the same with the journal on disk", begin_80, begin_2000);
    profile_row("  journal previous_file_done (shared data of an update)", lookup_80, lookup_2000);
    profile_row("  journal write_log, whole (milliseconds)", log_80, log_2000);

    {
        // The header: every entry's folder resolved before the first file,
        // with no message dispatched meanwhile.
        payload_writer header(area, L"Tablewright Examples", area, {});
        profile_row("  header: <SamplePath>\\Notes resolved, per entry", micros_per_call(500, [&](int) {
                        (void)header.resolve_destination(L"<SamplePath>\\Notes");
                    }));
        profile_row("  header: <CommonData>\\Vantrel Software\\Notes resolved, per entry",
                    micros_per_call(500, [&](int) {
                        (void)header.resolve_destination(L"<CommonData>\\Vantrel Software\\Notes");
                    }));
    }
    payload_writer writer(area, area, area, {});
    profile_row("  open_output_file + close (existing folder)", micros_per_call(500, [&](int i) {
                    output_file f = writer.open_output_file(file_at(i));
                    f.write(small.data(), small.size());
                    f.close();
                }));
    writer.record_shared_folder(area / L"elsewhere");
    profile_row("  the same with a shared folder not reached yet", micros_per_call(500, [&](int i) {
                    output_file f = writer.open_output_file(file_at(500 + i));
                    f.write(small.data(), small.size());
                    f.close();
                }));
    profile_row("  file_crc32 (read-back of an 8 KB file)", micros_per_call(500, [&](int i) { (void)file_crc32(file_at(i)); }));
    profile_row("  grant_users_access on a file (shared data)", micros_per_call(100, [&](int i) {
                    grant_users_access(file_at(i), shared_file_access, 0);
                }));
    profile_row("  floor: CreateFile + WriteFile 8 KB + CloseHandle", micros_per_call(500, [&](int i) {
                    vt::unique_file f(::CreateFileW(file_at(1000 + i).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                    FILE_ATTRIBUTE_NORMAL, nullptr));
                    DWORD written = 0;
                    ::WriteFile(f.get(), small.data(), DWORD(small.size()), &written, nullptr);
                }));
    fs::remove_all(area, ec);
}

int profile_mode()
{
    return run_on_install_page([](HWND, HWND page) {
        try {
            profile_page(page);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "bench_install: profile: %s\n", e.what());
        }
    });
}

// What an installation of the payload creates, for the NSIS script and for
// the clean-up between runs, written by a process that initialises the
// installer context exactly as the installer does.
int nsi_mode(const fs::path& script, const fs::path& paths, const std::string& data_folder)
{
    if (auto exit_code = start_process())
        return *exit_code;
    auto& context = installer_context::instance();
    if (!context.initialise())
        return 3;
    const fs::path nsis_temporary = fs::temp_directory_path() / L"vt-bench-nsis";
    payload_writer writer(context.install_folder, format_text(text(1018), {product_name(false)}), nsis_temporary,
                          {});
    const std::vector<payload_entry> entries = payload_entries(writer);

    std::ofstream nsi(script, std::ios::binary);
    nsi << "\xEF\xBB\xBF"; // UTF-8
    nsi << "; The benchmark payload as an NSIS installer (written by bench_install)\n"
           "Unicode true\nTarget amd64-unicode\nSetCompressor /SOLID bzip2\n"
           "SilentInstall silent\nRequestExecutionLevel admin\nName \"Tablewright 8 benchmark\"\n"
           "OutFile \"nsis-bench.exe\"\nSection\n";
    fs::path folder;
    for (const payload_entry& e : entries) {
        if (e.destination.parent_path() != folder) {
            folder = e.destination.parent_path();
            nsi << "  SetOutPath \"" << utf8(folder.wstring()) << "\"\n";
        }
        std::string source = utf8(e.source.wstring());
        std::replace(source.begin(), source.end(), '\\', '/');
        nsi << "  File \"/oname=" << utf8(e.destination.filename().wstring()) << "\" \"" << data_folder << "/"
            << source << "\"\n";
    }
    nsi << "SectionEnd\n";

    // Removed whole: what the installation owns. Removed when empty: the
    // folders above. Then every destination, for the floor measurement.
    std::ofstream out(paths, std::ios::binary);
    const std::wstring link = product_name(true) + L".lnk";
    const fs::path common = writer.resolve_destination(L"<CommonData>\\Vantrel Software");
    const fs::path user = writer.resolve_destination(L"<UserData>\\Vantrel Software");
    out << "tree " << utf8(context.install_folder) << "\n"
        << "tree " << utf8(writer.resolve_destination(L"<SamplePath>").wstring()) << "\n"
        << "tree " << utf8(common.wstring()) << "\n"
        << "tree " << utf8(user.wstring()) << "\n"
        << "tree " << utf8(nsis_temporary.wstring()) << "\n"
        << "file " << utf8((fs::path(context.start_menu_folder) / link).wstring()) << "\n"
        << "file " << utf8((fs::path(vt::known_folder(FOLDERID_PublicDesktop)) / link).wstring()) << "\n"
        << "empty " << utf8(fs::path(context.install_folder).parent_path().wstring()) << "\n";
    for (const payload_entry& e : entries)
        out << "entry " << e.size << " " << utf8(e.destination.wstring()) << "\n";
    return nsi && out ? 0 : 1;
}

struct bench_paths {
    std::vector<fs::path> trees, files, empties;
    std::vector<std::pair<std::uint64_t, fs::path>> entries;
};

bench_paths read_paths(const fs::path& file)
{
    bench_paths p;
    std::ifstream in(file, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string kind;
        fields >> kind;
        if (kind == "entry") {
            std::uint64_t size = 0;
            fields >> size;
            fields.get();
            std::string rest;
            std::getline(fields, rest);
            p.entries.push_back({size, wide(rest)});
            continue;
        }
        fields.get();
        std::string rest;
        std::getline(fields, rest);
        (kind == "tree" ? p.trees : kind == "file" ? p.files : p.empties).push_back(wide(rest));
    }
    if (p.entries.empty())
        throw std::runtime_error("no entries in the paths file");
    return p;
}

void delete_registry_tree(const wchar_t* parent, const wchar_t* name)
{
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, parent, 0, KEY_ALL_ACCESS | view, &key) == ERROR_SUCCESS) {
            ::RegDeleteTreeW(key, name);
            ::RegCloseKey(key);
        }
    }
}

// Removes everything an installation made, so that every run installs
// afresh (the installer would otherwise see an earlier installation).
void clean(const bench_paths& paths)
{
    std::error_code ec;
    for (const fs::path& tree : paths.trees) {
        for (auto it = fs::recursive_directory_iterator(tree, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec))
            ::SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
        fs::remove_all(tree, ec);
    }
    for (const fs::path& file : paths.files)
        fs::remove(file, ec);
    for (const fs::path& folder : paths.empties)
        fs::remove(folder, ec); // only when empty
    delete_registry_tree(L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", L"Tablewright 8");
    delete_registry_tree(L"Software", L"Vantrel Software");
}

std::size_t files_in_place(const bench_paths& paths)
{
    std::size_t n = 0;
    std::error_code ec;
    for (const auto& [size, path] : paths.entries)
        if (fs::file_size(path, ec) == size && !ec)
            ++n;
    return n;
}

// Runs a program and waits for it; returns its exit code and, when asked,
// its standard output.
DWORD run_process(const std::wstring& command_line, double& seconds, double& cpu, std::string* output = nullptr)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    if (output && !::CreatePipe(&read_end, &write_end, &inherit, 0))
        throw std::runtime_error("CreatePipe failed");
    vt::unique_handle reader(read_end), writer(write_end);
    if (reader)
        ::SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (output) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = writer.get();
        startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
        startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    }
    PROCESS_INFORMATION process{};
    std::wstring line = command_line;
    const auto start = clock_type::now();
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, output != nullptr, 0, nullptr, nullptr, &startup,
                          &process))
        throw std::runtime_error("cannot start " + utf8(command_line));
    vt::unique_handle process_handle(process.hProcess), thread_handle(process.hThread);
    writer.reset();
    if (output) {
        char buffer[4096];
        DWORD got = 0;
        while (::ReadFile(reader.get(), buffer, sizeof buffer, &got, nullptr) && got)
            output->append(buffer, got);
    }
    ::WaitForSingleObject(process.hProcess, INFINITE);
    seconds = seconds_since(start);
    cpu = cpu_seconds(process.hProcess);
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    return code;
}

struct floor_figures {
    double decode = 0, write = 0, read = 0;
    double decode_cpu = 0;
};

// The floor: one libbz2 decode of the whole payload (one thread, 1 MB output
// buffer, output discarded), then the files written and read back in 64 kB
// blocks with plain file calls. The files' bytes are decoded beforehand.
floor_figures measure_floor(const bench_paths& paths, const std::string& archive, std::uint64_t header_length)
{
    floor_figures f;
    const auto [data, size] = payload_bytes();
    std::vector<char> out(1 << 20);
    bz_stream s{};
    BZ2_bzDecompressInit(&s, 0, 0);
    s.next_in = const_cast<char*>(data);
    s.avail_in = static_cast<unsigned>(size);
    auto start = clock_type::now();
    const double cpu_start = thread_cpu_seconds();
    int rc = BZ_OK;
    while (rc == BZ_OK) {
        s.next_out = out.data();
        s.avail_out = static_cast<unsigned>(out.size());
        rc = BZ2_bzDecompress(&s);
    }
    f.decode = seconds_since(start);
    f.decode_cpu = thread_cpu_seconds() - cpu_start;
    BZ2_bzDecompressEnd(&s);
    if (rc != BZ_STREAM_END)
        throw std::runtime_error("the payload does not decode");

    start = clock_type::now();
    std::uint64_t offset = header_length;
    for (const auto& [length, path] : paths.entries) {
        std::error_code ec;
        fs::create_directories(path.parent_path(), ec);
        vt::unique_file file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            throw std::runtime_error("floor: cannot create " + utf8(path.wstring()));
        for (std::uint64_t done = 0; done < length;) {
            const DWORD piece = DWORD(std::min<std::uint64_t>(65536, length - done));
            DWORD written = 0;
            if (!::WriteFile(file.get(), archive.data() + offset + done, piece, &written, nullptr) || !written)
                throw std::runtime_error("floor: write failed");
            done += written;
        }
        offset += length;
    }
    f.write = seconds_since(start);

    start = clock_type::now();
    std::vector<char> block(65536);
    for (const auto& entry : paths.entries) {
        vt::unique_file file(::CreateFileW(entry.second.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
        for (DWORD got = 0; ::ReadFile(file.get(), block.data(), DWORD(block.size()), &got, nullptr) && got;) {
        }
    }
    f.read = seconds_since(start);
    return f;
}

std::string decode_whole_payload()
{
    const auto [data, size] = payload_bytes();
    std::string archive;
    std::vector<char> out(1 << 20);
    bz_stream s{};
    BZ2_bzDecompressInit(&s, 0, 0);
    s.next_in = const_cast<char*>(data);
    s.avail_in = static_cast<unsigned>(size);
    int rc = BZ_OK;
    while (rc == BZ_OK) {
        s.next_out = out.data();
        s.avail_out = static_cast<unsigned>(out.size());
        rc = BZ2_bzDecompress(&s);
        archive.append(out.data(), out.size() - s.avail_out);
    }
    BZ2_bzDecompressEnd(&s);
    return archive;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

std::string spread(const std::vector<double>& v, const char* format)
{
    char text[128];
    std::snprintf(text, sizeof text, format, median(v));
    std::string out = text;
    if (v.size() > 1) {
        char range[128];
        const std::string f = std::string("  (") + format + " - " + format + ")";
        std::snprintf(range, sizeof range, f.c_str(), *std::min_element(v.begin(), v.end()),
                      *std::max_element(v.begin(), v.end()));
        out += range;
    }
    return out;
}

int run_mode(int runs, const std::wstring& nsis, const fs::path& paths_file, int pause_ms)
{
    const bool ours_only = nsis.empty();
    const bench_paths paths = read_paths(paths_file);
    const auto [data, size] = payload_bytes();
    const std::string archive = decode_whole_payload();
    std::uint64_t sizes = 0;
    for (const auto& e : paths.entries)
        sizes += e.first;
    const std::uint64_t header_length = archive.size() - sizes;

    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::map<std::string, std::vector<double>> figures;
    double worst = -1;
    std::string worst_step;
    // One installation by a fresh process of this program: its figures, or
    // an empty map when it failed.
    auto install_once = [&](int pause, double& process_seconds) {
        clean(paths);
        std::string output;
        double process_cpu = 0;
        const DWORD code = run_process(L"\"" + std::wstring(self) + L"\" install " + std::to_wstring(pause),
                                       process_seconds, process_cpu, &output);
        std::map<std::string, std::string> values;
        std::istringstream lines(output);
        for (std::string line; std::getline(lines, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (auto eq = line.find('='); eq != std::string::npos)
                values[line.substr(0, eq)] = line.substr(eq + 1);
        }
        if (code != 0 || values["finished"] != "1") {
            std::fprintf(stderr, "bench_install: the installation failed (exit %lu, status \"%s\")\n",
                         static_cast<unsigned long>(code), values["status"].c_str());
            return std::map<std::string, std::string>();
        }
        if (values["log_complete"] != "1")
            std::fprintf(stderr, "bench_install: warning: the log ends with \"%s\"\n", values["log_last_line"].c_str());
        if (files_in_place(paths) + 6 < paths.entries.size()) // the temporary files are gone again
            std::fprintf(stderr, "bench_install: warning: only %zu files installed\n", files_in_place(paths));
        return values;
    };
    for (int run = 0; run < runs; ++run) {
        // Ours, clicked at once and after a user's pause on the pages.
        double process_seconds = 0, paused_process_seconds = 0;
        std::map<std::string, std::string> values = install_once(0, process_seconds);
        if (values.empty())
            return 1;
        if (pause_ms > 0) {
            const std::map<std::string, std::string> paused = install_once(pause_ms, paused_process_seconds);
            if (paused.empty())
                return 1;
            for (const char* key : {"seconds", "check_seconds", "pause_longest_ms", "pause_private_mb"})
                figures[std::string("paused_") + key].push_back(std::atof(paused.at(key).c_str()));
        }
        for (const char* key : {"seconds", "cpu", "interface_cpu", "check_seconds", "extract_seconds", "longest_ms", "longest_payload_ms", "private_mb", "working_set_mb"})
            figures[key].push_back(std::atof(values[key].c_str()));
        figures["process"].push_back(process_seconds);
        if (figures["longest_ms"].back() > worst) {
            worst = figures["longest_ms"].back();
            worst_step = values["longest_step"];
        }

        clean(paths);
        if (ours_only) {
            std::fprintf(stderr,
                         "run %d: installer %.2f s, processor %.2f s, interface thread %.2f s (check %.2f s, extraction "
                         "%.2f s), longest %.0f ms after \"%s\"; after the pause %.2f s\n",
                         run + 1, figures["seconds"].back(), figures["cpu"].back(), figures["interface_cpu"].back(),
                         figures["check_seconds"].back(), figures["extract_seconds"].back(),
                         figures["longest_ms"].back(), values["longest_step"].c_str(),
                         pause_ms > 0 ? figures["paused_seconds"].back() : 0.0);
            continue;
        }

        // NSIS.
        double nsis_seconds = 0, nsis_cpu = 0;
        const DWORD nsis_code = run_process(L"\"" + nsis + L"\" /S", nsis_seconds, nsis_cpu);
        if (nsis_code != 0 || files_in_place(paths) != paths.entries.size()) {
            std::fprintf(stderr, "bench_install: the NSIS installer failed (exit %lu, %zu of %zu files)\n",
                         static_cast<unsigned long>(nsis_code), files_in_place(paths), paths.entries.size());
            return 1;
        }
        figures["nsis"].push_back(nsis_seconds);
        figures["nsis_cpu"].push_back(nsis_cpu);

        // The floor.
        clean(paths);
        const floor_figures f = measure_floor(paths, archive, header_length);
        figures["decode"].push_back(f.decode);
        figures["decode_cpu"].push_back(f.decode_cpu);
        figures["write"].push_back(f.write);
        figures["read"].push_back(f.read);
        figures["floor"].push_back(f.decode + f.write + f.read);
        clean(paths);
        std::fprintf(stderr, "run %d: installer %.2f s, NSIS %.2f s, floor %.2f s\n", run + 1,
                     figures["seconds"].back(), nsis_seconds, figures["floor"].back());
    }

    if (ours_only)
        return 0;
    std::printf("payload: %zu files, %.1f MB archive, %.1f MB compressed (%.2f:1); median of %d runs (min - max)\n",
                paths.entries.size(), archive.size() / 1e6, size / 1e6, double(archive.size()) / double(size),
                runs);
    std::printf("%-58s %s\n", "measurement", "median");
    std::printf("%-58s %s s\n", "this installer: click to the end of do_installation",
                spread(figures["seconds"], "%.2f").c_str());
    std::printf("%-58s %s s\n", "  processor time of its threads meanwhile", spread(figures["cpu"], "%.2f").c_str());
    std::printf("%-58s %s s\n", "  of which the interface thread's", spread(figures["interface_cpu"], "%.2f").c_str());
    std::printf("%-58s %s s\n", "  of which the payload check (to the first file)",
                spread(figures["check_seconds"], "%.2f").c_str());
    std::printf("%-58s %s s\n", "  of which the extraction", spread(figures["extract_seconds"], "%.2f").c_str());
    std::vector<double> after;
    for (std::size_t i = 0; i < figures["seconds"].size(); ++i)
        after.push_back(figures["seconds"][i] - figures["check_seconds"][i] - figures["extract_seconds"][i]);
    std::printf("%-58s %s s\n", "  of which the steps after it (links, DirectX, registration)",
                spread(after, "%.2f").c_str());
    std::printf("%-58s %s s\n", "  (its whole process, for reference)", spread(figures["process"], "%.2f").c_str());
    if (pause_ms > 0) {
        std::printf("%-58s %s s\n",
                    formatted("this installer after %.0f s on the pages: click to the end", pause_ms / 1e3).c_str(),
                    spread(figures["paused_seconds"], "%.2f").c_str());
        std::printf("%-58s %s s\n", "  of which waiting for the rest of the check",
                    spread(figures["paused_check_seconds"], "%.2f").c_str());
        std::printf("%-58s %s ms\n", "  the pause: longest interval without dispatching messages",
                    spread(figures["paused_pause_longest_ms"], "%.0f").c_str());
        std::printf("%-58s %s MB\n", "  the pause: peak private memory above the wizard's baseline",
                    spread(figures["paused_pause_private_mb"], "%.1f").c_str());
    }
    std::printf("%-58s %s s\n", "NSIS, solid bzip2, amd64-unicode, silent: whole process",
                spread(figures["nsis"], "%.2f").c_str());
    std::printf("%-58s %s s\n", "  processor time of NSIS", spread(figures["nsis_cpu"], "%.2f").c_str());
    std::printf("%-58s %s s\n", "floor: one raw libbz2 decode of the payload", spread(figures["decode"], "%.2f").c_str());
    std::printf("%-58s %s s\n", "  processor time of the decode", spread(figures["decode_cpu"], "%.2f").c_str());
    std::printf("%-58s %s s\n", "floor: writing the files (64 kB blocks)", spread(figures["write"], "%.2f").c_str());
    std::printf("%-58s %s s\n", "floor: re-reading the files (64 kB blocks)", spread(figures["read"], "%.2f").c_str());
    std::printf("%-58s %s s\n", "floor: total", spread(figures["floor"], "%.2f").c_str());
    std::printf("%-58s %s ms\n", "longest interval without dispatching messages",
                spread(figures["longest_ms"], "%.0f").c_str());
    std::printf("%-58s %s\n", "  step in which the worst run's interval began", worst_step.c_str());
    std::printf("%-58s %s ms\n", "  the same during the payload check and extraction",
                spread(figures["longest_payload_ms"], "%.0f").c_str());
    std::printf("%-58s %s MB\n", "peak memory above the baseline: private (anonymous) bytes",
                spread(figures["private_mb"], "%.1f").c_str());
    std::printf("%-58s %s MB\n", "peak memory above the baseline: resident set",
                spread(figures["working_set_mb"], "%.1f").c_str());
    // One line for the scale table that tools/bench.sh gathers over the payloads.
    const double files = double(paths.entries.size());
    const double paused = pause_ms > 0 ? median(figures["paused_seconds"]) : 0.0;
    std::printf("scale row: %6zu %8.1f %8.2f %8.2f %6.2f %8.2f %6.2f %9.2f %9.2f %8.2f %8.2f %8.1f %8.0f %8.1f %8.0f\n",
                paths.entries.size(), archive.size() / 1e6, median(figures["seconds"]), median(figures["nsis"]),
                median(figures["seconds"]) / median(figures["nsis"]), paused, paused / median(figures["nsis"]),
                median(figures["seconds"]) * 1e3 / files, median(figures["nsis"]) * 1e3 / files,
                median(figures["cpu"]), median(figures["nsis_cpu"]), median(figures["private_mb"]),
                median(figures["longest_ms"]), pause_ms > 0 ? median(figures["paused_pause_private_mb"]) : 0.0,
                pause_ms > 0 ? median(figures["paused_pause_longest_ms"]) : 0.0);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    try {
        const std::wstring mode = argc > 1 ? argv[1] : L"";
        if (mode == L"install")
            return install_mode(std::chrono::milliseconds(argc > 2 ? _wtoi(argv[2]) : 0));
        if (mode == L"profile")
            return profile_mode();
        if (mode == L"nsi" && argc == 5)
            return nsi_mode(argv[2], argv[3], utf8(argv[4]));
        // The user's pause on the pages: 3 s unless given.
        if (mode == L"run" && (argc == 5 || argc == 6))
            return run_mode(std::max(1, _wtoi(argv[2])), argv[3], argv[4], argc == 6 ? _wtoi(argv[5]) : 3000);
        if (mode == L"ours" && (argc == 4 || argc == 5))
            return run_mode(std::max(1, _wtoi(argv[2])), {}, argv[3], argc == 5 ? _wtoi(argv[4]) : 3000);
        std::fprintf(stderr, "usage: bench_install nsi SCRIPT PATHS DATA | run RUNS NSIS.exe PATHS [PAUSE_MS] | "
                             "ours RUNS PATHS [PAUSE_MS] | install [PAUSE_MS]\n");
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_install: %s\n", e.what());
        return 1;
    }
}
