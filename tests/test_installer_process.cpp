// The real installer program started as a user starts it: it passes its
// start-up checks, opens its wizard and admits one installer at a time across
// the machine.

#include "dialog_watch.h"
#include "ui/message_box.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {
std::wstring installer_path()
{
    return build_folder() + L"\\Tablewright8Setup.exe";
}

// Leaves the wizard as a user does before installing: Cancel, then Yes to
// the question whether to leave.
void leave_wizard(const started_process& installer, HWND wizard)
{
    press_button(wizard, IDCANCEL);
    HWND question = wait_for_process_dialog(installer.id, 20s, wizard);
    ASSERT_TRUE(question) << "no question before leaving";
    press_button(question, IDYES);
}
} // namespace

TEST(InstallerProcess, StartsAndOpensTheWizard)
{
    started_process installer;
    start_program(installer_path(), L"", installer);
    ASSERT_TRUE(installer.process) << "cannot start the installer";
    HWND wizard = wait_for_process_dialog(installer.id, 20s);
    ASSERT_TRUE(wizard) << "the installer showed nothing";
    seen_box seen = read_box(wizard);
    EXPECT_NE(seen.caption.find(L"Tablewright 8.11n"), std::wstring::npos) << std::string(seen.caption.begin(), seen.caption.end());
    // The wizard's frame: Back, Next and Exit.
    for (int button : {3, IDOK, IDCANCEL})
        EXPECT_TRUE(::GetDlgItem(wizard, button)) << button;
    leave_wizard(installer, wizard);
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
    leave_wizard(first, first_box);
    EXPECT_EQ(first.wait(20s), 0u);
}
