#include "engine/journal_file.h"

#include <cwchar>
#include <system_error>

namespace fs = std::filesystem;

namespace {

const wchar_t header[] = L"vt-journal 1";
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

bool parse_entry(const std::vector<std::wstring>& fields, recorded_entry& out)
{
    long long type = 0, parameter = 0, kept = 0;
    if (fields.size() != 6 || !parse_number(fields[1], 0, 7, type) ||
        !parse_number(fields[2], -1, 255, parameter) || !parse_number(fields[3], 0, 1, kept))
        return false;
    out.entry.type = journal_type(type);
    out.entry.parameter = std::int32_t(parameter);
    out.entry.kept_in_place = kept != 0;
    out.entry.path = fields[4];
    out.entry.backup = fields[5];
    return true;
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

std::vector<fs::path> journal_files()
{
    std::vector<fs::path> found;
    std::error_code error;
    const fs::path folder = fs::temp_directory_path(error);
    if (error)
        return found;
    WIN32_FIND_DATAW data;
    vt::unique_find search(::FindFirstFileExW((folder / (std::wstring(L"vantrel_{*}") + extension)).c_str(),
                                              FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
    if (!search)
        return found;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            found.push_back(folder / data.cFileName);
    } while (::FindNextFileW(search.get(), &data));
    return found;
}

void journal_writer::open(const fs::path& path)
{
    close();
    path_.clear();
    file_.reset(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file_)
        path_ = path;
    write(header);
}

void journal_writer::begin(const journal_entry& entry) noexcept
{
    wchar_t numbers[48];
    std::swprintf(numbers, 48, L"E|%u|%d|%d|", unsigned(entry.type), int(entry.parameter),
                  entry.kept_in_place ? 1 : 0);
    try {
        write(numbers + entry.path + L"|" + entry.backup);
    } catch (...) {
        // Out of memory: the record is lost as if the disk were full.
    }
}

void journal_writer::backup_made() noexcept
{
    write(L"S");
}

void journal_writer::keep() noexcept
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

// A record that cannot be written (the temporary folder's disk is full)
// ends the recording there: what the file holds stays a true beginning of
// the run, and it is still removed when the run ends.
void journal_writer::write(const std::wstring& line) noexcept
{
    if (!file_)
        return;
    try {
        const std::wstring record = line + L"\n";
        const DWORD size = DWORD(record.size() * sizeof(wchar_t));
        DWORD written = 0;
        if (::WriteFile(file_.get(), record.data(), size, &written, nullptr) && written == size)
            return;
    } catch (...) {
    }
    close();
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
    bool first = true;
    std::size_t start = 0;
    for (std::size_t end; start < text.size(); start = end + 1) {
        end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            return std::nullopt; // a record without its end
        const std::wstring line = text.substr(start, end - start);
        if (first) {
            if (line != header)
                return std::nullopt;
            first = false;
        } else if (line == L"S") {
            if (run.entries.empty() || run.entries.back().entry.backup.empty())
                return std::nullopt;
            run.entries.back().backup_made = true;
        } else if (line == L"K") {
            run.kept = true;
        } else if (recorded_entry entry; line.rfind(L"E|", 0) == 0 && parse_entry(split(line), entry)) {
            run.entries.push_back(std::move(entry));
        } else {
            return std::nullopt;
        }
    }
    if (first)
        return std::nullopt;
    return run;
}
