// The real installer program started as a user starts it: it passes its
// start-up checks, opens its wizard and admits one installer at a time across
// the machine.

#include "dialog_watch.h"
#include "ui/message_box.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(InstallerProcess, OpensTheWizardAndASecondInstallerStopsWithTheResourceInUseMessage)
{
    const std::wstring installer = build_folder() + L"\\Tablewright8Setup.exe";
    started_process first;
    start_program(installer, L"", first);
    ASSERT_TRUE(first.process) << "cannot start the installer";
    HWND wizard = wait_for_process_dialog(first.id, 20s);
    ASSERT_TRUE(wizard) << "the installer showed nothing";
    EXPECT_NE(read_box(wizard).caption.find(L"Tablewright 8.11n"), std::wstring::npos);
    // The wizard's frame: Back, Next and Exit.
    for (int button : {3, IDOK, IDCANCEL})
        EXPECT_TRUE(::GetDlgItem(wizard, button)) << button;

    started_process second;
    start_program(installer, L"", second);
    HWND second_box = wait_for_process_dialog(second.id, 20s);
    ASSERT_TRUE(second_box);
    // The lock is tested before the language is settled: the text comes in
    // the start-up language, French, when the system has it. The box is the
    // wizard's, handed in by the entry point: its default caption tells.
    const seen_box busy = read_filled_box(second_box, 20s);
    EXPECT_EQ(busy.text, system_error_text(ERROR_BUSY, 0x040C));
    EXPECT_EQ(busy.caption, L"Tablewright 8.11n");
    press_button(second_box, IDOK);
    EXPECT_EQ(second.wait(20s), 0u);

    // The first installer is unaffected and still waits for its user, who
    // leaves: Cancel, then Yes to the question whether to leave.
    EXPECT_EQ(first.wait(0ms), STILL_ACTIVE);
    press_button(wizard, IDCANCEL);
    HWND question = wait_for_process_dialog(first.id, 20s, wizard);
    ASSERT_TRUE(question) << "no question before leaving";
    press_button(question, IDYES);
    EXPECT_EQ(first.wait(20s), 0u);
}
