#pragma once
// Boost.System error codes as standard ones. Boost's own conversion wraps its
// generic and system categories in categories of its own; the installer
// compares categories with the standard ones, so those two are translated.

#include <boost/system/error_code.hpp>

#include <system_error>

inline std::error_code to_std_error_code(const boost::system::error_code& code)
{
    if (code.category() == boost::system::system_category())
        return {code.value(), std::system_category()};
    if (code.category() == boost::system::generic_category())
        return {code.value(), std::generic_category()};
    return code;
}
