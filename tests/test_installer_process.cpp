// The real installer program started as a user starts it: it passes its
// start-up checks and admits one installer at a time across the machine.

#include "dialog_watch.h"
#include "ui/message_box.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {
std::wstring installer_path()
{
    return build_folder() + L"\\Tablewright8Setup.exe";
}
} // namespace

TEST(InstallerProcess, StartsAndReportsWhatItSettled)
{
    started_process installer;
    start_program(installer_path(), L"", installer);
    ASSERT_TRUE(installer.process) << "cannot start the installer";
    HWND box = wait_for_process_dialog(installer.id, 20s);
    ASSERT_TRUE(box) << "the installer showed nothing";
    seen_box seen = read_box(box);
    EXPECT_NE(seen.caption.find(L"Tablewright 8.11n"), std::wstring::npos) << std::string(seen.caption.begin(), seen.caption.end());
    EXPECT_NE(seen.text.find(L"\\Vantrel Software\\Tablewright 8"), std::wstring::npos);
    press_button(box, IDOK);
    EXPECT_EQ(installer.wait(20s), 0u);
}

TEST(InstallerProcess, ASecondInstallerStopsWithTheResourceInUseMessage)
{
    started_process first;
    start_program(installer_path(), L"", first);
    HWND first_box = wait_for_process_dialog(first.id, 20s);
    ASSERT_TRUE(first_box);

    started_process second;
    start_program(installer_path(), L"", second);
    HWND second_box = wait_for_process_dialog(second.id, 20s);
    ASSERT_TRUE(second_box);
    // The lock is tested before the language is settled: the text comes in
    // the start-up language, French, when the system has it.
    EXPECT_EQ(read_box(second_box).text, system_error_text(ERROR_BUSY, 0x040C));
    press_button(second_box, IDOK);
    EXPECT_EQ(second.wait(20s), 0u);

    // The first installer is unaffected and still waits for its user.
    EXPECT_EQ(first.wait(0ms), STILL_ACTIVE);
    EXPECT_TRUE(::IsWindow(first_box));
    press_button(first_box, IDOK);
    EXPECT_EQ(first.wait(20s), 0u);
}
