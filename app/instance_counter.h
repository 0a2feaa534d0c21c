#pragma once
// Counts the running programs of the product across the machine: every
// program adds one count to a global semaphore while it runs.

#include "support/unique_any.h"

#include <string>

class instance_counter {
public:
    // The process-wide counter, created (and counted in) on first use.
    static instance_counter& instance();

    explicit instance_counter(const std::wstring& name);
    instance_counter(const instance_counter&) = delete;
    instance_counter& operator=(const instance_counter&) = delete;
    ~instance_counter();

    // How many programs of the product run, this one included.
    long running_instances();

private:
    vt::unique_handle semaphore_;
    long added_ = 0;
};
