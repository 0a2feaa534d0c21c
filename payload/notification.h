#pragma once
// What the payload reader reports to its owner while it extracts, and how the
// owner answers. The order of the alternatives is part of the contract: the
// installation sequence dispatches on the index.

#include "payload/payload_entry.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <system_error>
#include <variant>

namespace payload_events {

// The extraction begins; nothing has been decoded yet. The owner verifies
// the payload here and may throw to stop before anything is written.
struct started {};

// Every entry has been processed and the byte count matches.
struct completed {
    std::uint64_t copied = 0; // decompressed bytes pumped through
    std::uint64_t total = 0;  // expected archive length
};

// The entry is about to be written (its destination already resolved).
// Answer skip to leave it out, abort to stop.
struct entry_begin {
    const payload_entry& entry;
};

// The entry has been written, closed and verified against its CRC-32.
struct entry_end {
    const payload_entry& entry;
};

// Archive bytes consumed so far (header included) of the archive's length.
struct progress {
    std::uint64_t done = 0;
    std::uint64_t total = 0;
};

// The extraction stopped. path: the destination of the file being written,
// or the path of a file-system error, or empty.
struct failed {
    std::error_code code;
    std::filesystem::path path;
};

} // namespace payload_events

struct notification : std::variant<payload_events::started, payload_events::completed, payload_events::entry_begin,
                                   payload_events::entry_end, payload_events::progress, payload_events::failed> {
    using variant::variant;

    using started = payload_events::started;
    using completed = payload_events::completed;
    using entry_begin = payload_events::entry_begin;
    using entry_end = payload_events::entry_end;
    using progress = payload_events::progress;
    using failed = payload_events::failed;

    // The owner's answer to every notification. skip means something only for
    // entry_begin; abort for entry_begin, entry_end and progress; the answers
    // to started, completed and failed are ignored.
    enum class result { proceed = 0, abort = 1, skip = 2 };
};

// The owner's callback; the reader keeps its own copy.
using notification_callback = std::function<notification::result(notification)>;
