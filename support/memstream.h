#pragma once
// Read-only streams over memory that somebody else owns, typically a resource
// locked in a loaded module. The bytes are served in place: nothing is copied,
// so a payload of many megabytes costs no memory of its own. The memory must
// outlive the stream.

#include <cstddef>
#include <istream>
#include <streambuf>
#include <utility>

namespace vt {

template <typename CharT, typename Traits = std::char_traits<CharT>>
class basic_membuf : public std::basic_streambuf<CharT, Traits> {
public:
    using base = std::basic_streambuf<CharT, Traits>;
    using typename base::char_type;
    using typename base::int_type;
    using typename base::off_type;
    using typename base::pos_type;
    using typename base::traits_type;

    // An empty buffer: every read meets the end at once.
    basic_membuf() noexcept = default;

    basic_membuf(const char_type* data, std::size_t count) noexcept { assign(data, count); }

    basic_membuf(const basic_membuf&) = delete;
    basic_membuf& operator=(const basic_membuf&) = delete;

    basic_membuf(basic_membuf&& other) noexcept : base(other) { other.assign(nullptr, 0); }
    basic_membuf& operator=(basic_membuf&& other) noexcept
    {
        if (this != &other) {
            base::operator=(other);
            other.assign(nullptr, 0);
        }
        return *this;
    }

    // Serves count characters at data from the first one on.
    void assign(const char_type* data, std::size_t count) noexcept
    {
        // The get area is declared writable, but nothing here ever writes to
        // it: pbackfail refuses to put back anything that differs.
        auto* begin = const_cast<char_type*>(data);
        this->setg(begin, begin, begin + count);
    }

    const char_type* data() const noexcept { return this->eback(); }
    std::size_t size() const noexcept { return static_cast<std::size_t>(this->egptr() - this->eback()); }

protected:
    std::streamsize showmanyc() override
    {
        // -1 tells the caller that no more input will ever come.
        return this->gptr() < this->egptr() ? this->egptr() - this->gptr() : -1;
    }

    int_type pbackfail(int_type c) override
    {
        if (this->gptr() == this->eback())
            return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof()) &&
            !traits_type::eq(traits_type::to_char_type(c), this->gptr()[-1]))
            return traits_type::eof(); // read-only: the memory is never changed
        this->gbump(-1);
        return traits_type::eq_int_type(c, traits_type::eof()) ? traits_type::not_eof(c) : c;
    }

    pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which) override
    {
        if (!(which & std::ios_base::in) || (which & std::ios_base::out))
            return pos_type(off_type(-1));
        off_type base_pos = 0;
        if (dir == std::ios_base::cur)
            base_pos = this->gptr() - this->eback();
        else if (dir == std::ios_base::end)
            base_pos = this->egptr() - this->eback();
        else if (dir != std::ios_base::beg)
            return pos_type(off_type(-1));
        return seek_to(base_pos, off);
    }

    pos_type seekpos(pos_type pos, std::ios_base::openmode which) override
    {
        return seekoff(off_type(pos), std::ios_base::beg, which);
    }

private:
    pos_type seek_to(off_type base_pos, off_type off)
    {
        const off_type size = this->egptr() - this->eback();
        // Checked before adding so that a huge offset cannot overflow.
        if (off < -base_pos || off > size - base_pos)
            return pos_type(off_type(-1));
        const off_type target = base_pos + off;
        this->setg(this->eback(), this->eback() + target, this->egptr());
        return pos_type(target);
    }
};

// An input stream over a basic_membuf it owns.
template <typename CharT, typename Traits = std::char_traits<CharT>>
class basic_imemstream : public std::basic_istream<CharT, Traits> {
public:
    using char_type = CharT;

    basic_imemstream() : std::basic_istream<CharT, Traits>(nullptr) { this->init(&buf_); }

    basic_imemstream(const char_type* data, std::size_t count)
        : std::basic_istream<CharT, Traits>(nullptr), buf_(data, count)
    {
        this->init(&buf_);
    }

    basic_imemstream(basic_imemstream&& other)
        : std::basic_istream<CharT, Traits>(std::move(other)), buf_(std::move(other.buf_))
    {
        this->set_rdbuf(&buf_);
    }

    basic_imemstream& operator=(basic_imemstream&& other)
    {
        std::basic_istream<CharT, Traits>::operator=(std::move(other));
        buf_ = std::move(other.buf_);
        return *this;
    }

    basic_membuf<CharT, Traits>* rdbuf() const noexcept { return const_cast<basic_membuf<CharT, Traits>*>(&buf_); }

    const char_type* data() const noexcept { return buf_.data(); }
    std::size_t size() const noexcept { return buf_.size(); }

private:
    basic_membuf<CharT, Traits> buf_;
};

using membuf = basic_membuf<char>;
using imemstream = basic_imemstream<char>;

} // namespace vt
