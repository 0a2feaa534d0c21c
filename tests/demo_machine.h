#pragma once
// A machine with the demo product on it, as the whole-product tests see it:
// snapshots of its file tree and registry, the demo payload as the generator
// wrote it, the real installer's wizard driven from another process, the
// installed uninstaller, and a base fixture that records the machine before
// the first installation.

#include "dialog_watch.h"
#include "engine/installation_sequence.h"
#include "payload_test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <shtypes.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace demo_machine {

namespace fs = std::filesystem;

std::string narrow(const std::wstring& text);
std::wstring known(REFKNOWNFOLDERID id);

// --- The machine's state -----------------------------------------------------

// Every file and folder of drive C: (and of the other drives asked for) and
// every key and value of the machine's and the user's registry, each with
// what identifies its content.
using machine_state = std::map<std::wstring, std::wstring>;

// --- The payload as the generator wrote it -----------------------------------

struct payload_file {
    std::uint32_t kind = 0;
    std::wstring destination; // with its macro
    fs::path staged;          // the generator's file
    std::wstring name;
};

// Where a file of the payload lands; empty for the installation's temporary files.
fs::path destination_of(const payload_file& file, const fs::path& install_folder);

// --- The installer's wizard, driven from outside -----------------------------

enum class page_kind { start, mode, options, install, end };

// How an installation that the wizard ran ended.
struct install_outcome {
    bool succeeded = false;
    bool ended = false; // false: still running at the time-out
    std::wstring status;
    std::wstring log;
};

// This build's Tablewright8Setup.exe.
std::wstring built_installer();

class wizard {
public:
    // The installer of this build, or another executable.
    explicit wizard(const std::wstring& installer = built_installer());
    ~wizard();
    wizard(const wizard&) = delete;
    wizard& operator=(const wizard&) = delete;

    bool open() const { return frame_ != nullptr; }
    HWND frame() const { return frame_; }

    HWND page(page_kind kind) const;
    bool showing(page_kind kind) const { return ::IsWindowVisible(page(kind)) != FALSE; }
    std::wstring text(HWND parent, int id) const;
    std::wstring text(page_kind kind, int id) const { return text(page(kind), id); }
    bool enabled(HWND parent, int id) const { return ::IsWindowEnabled(::GetDlgItem(parent, id)) != FALSE; }
    bool checked(page_kind kind, int id) const;

    // Presses a button as the user does, and waits until the wizard has
    // handled it.
    void click(HWND parent, int id) const;
    void next() const;
    void type_folder(const std::wstring& folder) const;

    // Clicks Install and waits for the end of the installation, calling
    // watch every 50 ms meanwhile.
    install_outcome run_install(const std::function<void()>& watch = {}) const;
    // The same, for an installation that must succeed.
    bool install(const std::function<void()>& watch = {}) const;

    // Exit, and the process ends.
    void leave();
    // Cancel before a successful installation (after a failed one, or
    // before any): the wizard asks whether to leave an incomplete
    // installation, which is answered with Yes. The question's text is
    // returned.
    std::wstring leave_incomplete();

private:
    started_process process_;
    HWND frame_ = nullptr;
};

// --- The installed product ------------------------------------------------------

fs::path default_install_folder();
fs::path start_menu_link();
fs::path desktop_link();
// Whatever installer runs left in the temporary folder or in the installer's
// own folder: backups, a run's folder, its journal, an uninstaller's copy.
std::vector<std::wstring> ours_left_behind();

// Starts the installed uninstaller as the list of programs does, silently,
// and waits until its temporary copy has done the work and is gone.
void uninstall(const fs::path& install_folder);

// Installs a product of another version the way its own installer did: the
// engine in this process, over the files of the demo payload that keep
// selects, with the program of that version. Its context (and with it the
// installer's lock) is gone when this returns.
void install_other_version(const wchar_t* program, const std::vector<payload_file>& payload,
                           const std::function<bool(const payload_file&)>& keep, const std::string& sample_tag,
                           const fs::path& install_folder = default_install_folder());

// A machine of its own (a fresh Wine prefix) with the demo payload at hand;
// records the machine before the test changes it.
class demo_machine_test : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Drives other than C: that the snapshots include.
    virtual std::vector<std::wstring> other_drives() const { return {}; }

    machine_state snapshot() const;

    // The machine is as it was before the first installation, except what
    // outlives the product by design.
    void expect_machine_as_before() const;
    // Nothing added, changed or lost since then, but what the wizard and
    // Wine's session keep.
    void expect_unchanged_since(const machine_state& then, const std::string& what) const;

    // Every file the payload puts on the machine, byte for byte as the
    // generator made it; the temporary ones are gone.
    void expect_payload_installed(const fs::path& install_folder, bool samples = true) const;

    std::wstring registrations() const;

    std::vector<payload_file> payload;
    machine_state before;
    fs::path registration_log;
};

} // namespace demo_machine
