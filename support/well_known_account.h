#pragma once
// The security identifiers of the well-known accounts the installer names.

#include <windows.h>

#include <cstddef>
#include <vector>

namespace vt {

enum class well_known_account {
    everyone = 0,            // S-1-1-0
    administrators = 1,      // S-1-5-32-544, built-in administrators
    users = 2,               // S-1-5-32-545, built-in users
    authenticated_users = 3, // S-1-5-11
    current_user = 4,        // the account of the current user name
    token_user = 5,          // the user of the thread's token, else of the process's
    local_system = 6,        // S-1-5-18
};

// The SID of an account, as its bytes. Raises std::system_error with an
// HRESULT (see support/security_api.h) on failure.
std::vector<std::byte> account_sid(well_known_account account);

// Whether sid is that account's.
bool is_account(PSID sid, well_known_account account);

} // namespace vt
