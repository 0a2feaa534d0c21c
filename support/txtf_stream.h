#pragma once
// Wide file streams whose bytes come only from the text-file codec: the file
// is opened in binary mode (the runtime library adds no CR of its own) with a
// new vt::txtf::codecvt<wchar_t> in the stream's locale, installed before any
// character passes.
//
//     vt::txtf::wofstream log(path, vt::txtf::encoding_utf16); // FF FE, CR LF line ends
//     vt::txtf::wifstream old(path);                            // encoding found from the file
//
// Two limits come from the standard file stream rather than the codec:
// a file that ends inside a character (a cut UTF-16 unit, a lead byte
// without its continuation) makes the stream bad when the reading reaches
// it, losing the unfinished line; and where wchar_t is 16 bits, U+FFFF is the
// stream's end-of-file value, so a program cannot write it through a stream
// (the codec never delivers it on input: it reads as U+FFFD).

#include "support/txtf_codecvt.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <ios>
#include <locale>

namespace vt::txtf {

namespace details {

// Stream is std::wofstream or std::wifstream; their open adds out or in.
template <typename Stream>
class stream_impl : public Stream {
public:
    stream_impl() = default;

    // extra: further open flags, such as std::ios_base::app or trunc.
    explicit stream_impl(const std::filesystem::path& path, std::uint32_t mode = encoding_automatic,
        std::ios_base::openmode extra = std::ios_base::binary)
    {
        open(path, mode, extra);
    }

    void open(const std::filesystem::path& path, std::uint32_t mode = encoding_automatic,
        std::ios_base::openmode extra = std::ios_base::binary)
    {
        // A new locale on a stream that is in use would cut its conversion short.
        if (this->is_open()) {
            this->setstate(std::ios_base::failbit);
            return;
        }
        this->imbue(std::locale(this->getloc(), new codecvt<wchar_t>(mode, this->getloc())));
        Stream::open(path, extra | std::ios_base::binary);
    }

    // The mode word of the installed facet.
    std::uint32_t mode() const
    {
        return std::use_facet<codecvt<wchar_t>>(this->getloc()).mode();
    }
};

} // namespace details

using wofstream = details::stream_impl<std::wofstream>;
using wifstream = details::stream_impl<std::wifstream>;

} // namespace vt::txtf
