#include "support/error_text.h"

#include "support/unique_any.h"

namespace {

std::wstring format_system_message(DWORD code, LANGID language)
{
    wchar_t* buffer = nullptr;
    constexpr DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD length = ::FormatMessageW(flags, nullptr, code, language, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    if (length == 0 && language != 0)
        length = ::FormatMessageW(flags, nullptr, code, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    vt::unique_local owned(buffer);
    if (length == 0 || !buffer)
        return {};
    std::wstring message(buffer, length);
    while (!message.empty() && (message.back() == L' ' || message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L'\t'))
        message.pop_back();
    return message;
}

} // namespace

std::wstring system_error_text(DWORD code, LANGID language)
{
    std::wstring message = format_system_message(code, language);
    if (!message.empty())
        return message;
    if (code == DWORD(E_FAIL))
        return L"Error";
    message = format_system_message(DWORD(E_FAIL), language);
    return message.empty() ? L"Error" : message;
}
