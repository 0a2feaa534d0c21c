#include "engine/journal_file.h"

#include "support/error.h"
#include "support/format.h"

#include <cwchar>
#include <system_error>

namespace fs = std::filesystem;

namespace {

const wchar_t header[] = L"vt-journal 2";
const wchar_t extension[] = L".journal";

std::vector<std::wstring> split(const std::wstring& line)
{
    std::vector<std::wstring> fields;
    std::size_t start = 0;
    for (std::size_t bar; (bar = line.find(L'|', start)) != std::wstring::npos; start = bar + 1)
        fields.push_back(line.substr(start, bar - start));
    fields.push_back(line.substr(start));
    return fields;
}

// A whole decimal number, sign allowed, nothing else.
bool parse_number(const std::wstring& text, long long low, long long high, long long& value)
{
    if (text.empty() || text.size() > 11)
        return false;
    wchar_t* end = nullptr;
    value = std::wcstoll(text.c_str(), &end, 10);
    return end == text.c_str() + text.size() && value >= low && value <= high;
}

bool parse_flag(const std::wstring& text, bool& flag)
{
    long long value = 0;
    if (!parse_number(text, 0, 1, value))
        return false;
    flag = value != 0;
    return true;
}

bool parse_run(const std::vector<std::wstring>& fields, journal_run& out)
{
    if (fields.size() != 4 || fields[1].size() != 16)
        return false;
    wchar_t* end = nullptr;
    out.started = std::wcstoull(fields[1].c_str(), &end, 16);
    out.install_folder = fields[2];
    out.shortcut_folder = fields[3];
    return end == fields[1].c_str() + 16;
}

bool parse_entry(const std::vector<std::wstring>& fields, recorded_entry& out)
{
    long long type = 0, parameter = 0;
    if (fields.size() != 7 || !parse_number(fields[1], 0, 7, type) ||
        !parse_number(fields[2], -1, 255, parameter) || !parse_flag(fields[3], out.entry.kept_in_place) ||
        !parse_flag(fields[4], out.copy))
        return false;
    out.entry.type = journal_type(type);
    out.entry.parameter = std::int32_t(parameter);
    out.entry.path = fields[5];
    out.entry.backup = fields[6];
    return true;
}

bool parse_closed(const std::vector<std::wstring>& fields, recorded_entry& out)
{
    if (fields.size() != 4 || out.closed || !parse_flag(fields[1], out.entry.done))
        return false;
    if (!fields[2].empty())
        out.entry.path = fields[2];
    if (!fields[3].empty() && !(out.stamp = vt::parse_stamp(fields[3])))
        return false;
    out.closed = true;
    return true;
}

std::wstring run_record(const journal_run& run)
{
    return vt::format(L"R|{:016x}|{}|{}", {run.started, run.install_folder, run.shortcut_folder});
}

std::wstring entry_record(const journal_entry& entry, bool copy)
{
    return vt::format(L"E|{}|{}|{}|{}|{}|{}", {unsigned(entry.type), int(entry.parameter),
                                               entry.kept_in_place ? 1 : 0, copy ? 1 : 0, entry.path, entry.backup});
}

std::wstring closed_record(const journal_entry& entry, const std::optional<vt::file_stamp>& stamp)
{
    return vt::format(L"D|{}|{}|{}", {entry.done ? 1 : 0, entry.path, stamp ? vt::stamp_text(*stamp) : L""});
}

void write_line(HANDLE file, const std::wstring& line)
{
    const std::wstring record = line + L"\n";
    const DWORD size = DWORD(record.size() * sizeof(wchar_t));
    DWORD written = 0;
    if (!::WriteFile(file, record.data(), size, &written, nullptr))
        vt::throw_last_error("journal");
    if (written != size)
        vt::throw_win32(ERROR_DISK_FULL, "journal");
}

vt::unique_file create_journal(const fs::path& path, DWORD disposition)
{
    vt::unique_file file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        vt::throw_last_error("journal");
    write_line(file.get(), header);
    return file;
}

} // namespace

fs::path journal_file_path(const std::wstring& run_folder)
{
    return fs::path(run_folder + extension);
}

fs::path run_folder_of(const fs::path& journal)
{
    fs::path folder = journal;
    return folder.replace_extension();
}

std::vector<fs::path> journal_files(const fs::path& folder)
{
    std::vector<fs::path> found;
    WIN32_FIND_DATAW data;
    vt::unique_find search(::FindFirstFileExW((folder / (std::wstring(L"vantrel_{*}") + extension)).c_str(),
                                              FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
    if (!search)
        return found;
    do {
        if (!(data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
            found.push_back(folder / data.cFileName);
    } while (::FindNextFileW(search.get(), &data));
    return found;
}

void journal_writer::open(const fs::path& path, const journal_run& run)
{
    close();
    path_.clear();
    file_ = create_journal(path, CREATE_NEW);
    path_ = path;
    write(run_record(run));
}

void journal_writer::begin(const journal_entry& entry, bool copy)
{
    write(entry_record(entry, copy));
}

void journal_writer::backup_made()
{
    write(L"S");
}

void journal_writer::closed(const journal_entry& entry, const std::optional<vt::file_stamp>& stamp)
{
    write(closed_record(entry, stamp));
}

void journal_writer::keep()
{
    write(L"K");
}

void journal_writer::remove() noexcept
{
    file_.reset();
    if (!path_.empty())
        ::DeleteFileW(path_.c_str());
    path_.clear();
}

// A record that cannot be written (the disk is full) ends the recording:
// what the file holds stays a true beginning of the run, and the caller
// stops the run.
void journal_writer::write(const std::wstring& line)
{
    if (!file_)
        return;
    try {
        write_line(file_.get(), line);
    } catch (...) {
        close();
        throw;
    }
}

void rewrite_journal(const fs::path& path, const recorded_run& run)
{
    fs::path next = path;
    next += L".new";
    {
        vt::unique_file file = create_journal(next, CREATE_ALWAYS);
        write_line(file.get(), run_record(run.run));
        for (const recorded_entry& recorded : run.entries) {
            write_line(file.get(), entry_record(recorded.entry, recorded.copy));
            if (recorded.backup_made)
                write_line(file.get(), L"S");
            if (recorded.closed)
                write_line(file.get(), closed_record(recorded.entry, recorded.stamp));
        }
        if (run.kept)
            write_line(file.get(), L"K");
        if (!::FlushFileBuffers(file.get()))
            vt::throw_last_error("journal");
    }
    if (!::MoveFileExW(next.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        vt::throw_last_error("journal");
}

std::optional<recorded_run> read_journal(HANDLE file)
{
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file, &size) || size.QuadPart % sizeof(wchar_t) != 0 || size.QuadPart > (64 << 20))
        return std::nullopt;
    std::wstring text(std::size_t(size.QuadPart) / sizeof(wchar_t), L'\0');
    DWORD read = 0;
    if (!text.empty() && (!::ReadFile(file, text.data(), DWORD(size.QuadPart), &read, nullptr) ||
                          read != DWORD(size.QuadPart)))
        return std::nullopt;

    recorded_run run;
    int line_number = 0;
    for (std::size_t start = 0, end; start < text.size(); start = end + 1, ++line_number) {
        end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            break; // cut while it was written: that change was never made
        const std::wstring line = text.substr(start, end - start);
        const std::vector<std::wstring> fields = split(line);
        if (line_number == 0) {
            if (line != header)
                return std::nullopt;
        } else if (line_number == 1) {
            if (fields[0] != L"R" || !parse_run(fields, run.run))
                return std::nullopt;
        } else if (line == L"S") {
            if (run.entries.empty() || run.entries.back().entry.backup.empty() || run.entries.back().backup_made)
                return std::nullopt;
            run.entries.back().backup_made = true;
        } else if (line == L"K") {
            run.kept = true;
        } else if (fields[0] == L"D") {
            if (run.entries.empty() || !parse_closed(fields, run.entries.back()))
                return std::nullopt;
        } else if (recorded_entry entry; fields[0] == L"E" && parse_entry(fields, entry)) {
            run.entries.push_back(std::move(entry));
        } else {
            return std::nullopt;
        }
    }
    if (line_number < 2)
        return std::nullopt;
    return run;
}
