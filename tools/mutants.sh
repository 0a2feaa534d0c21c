#!/usr/bin/env bash
# What the tests are worth: plants one small fault at a time in the product
# code, rebuilds only the test program that ought to notice, runs its ctest
# entry (narrowed to a few cases by a gtest filter where one is given) and
# puts the file back byte for byte, also when interrupted.
#   tools/mutants.sh <x64 build folder> [name filter]
# A fault is caught when the entry fails (a crash or a hang of five minutes
# included); a fault that does not compile is reported as such, never as
# caught. Logs: <build>/mutants/<name>.log.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: tools/mutants.sh <x64 build folder> [name filter]}" && pwd)
only=${2:-}

# name @@ ctest entry @@ gtest filter (or -) @@ file @@ original text @@ fault
# (in both texts, \n stands for a line break)
faults() {
    cat <<'EOF'
header-overrun @@ test_payload @@ Extract.* @@ payload/archive_format.cpp @@ take = static_cast<std::size_t>(std::min<std::uint64_t>(header_length_ - received_, n)); @@ take = n;
short-archive @@ test_payload @@ Extract.* @@ payload/payload_reader.cpp @@ if (writer.total() != 0 && writer.done() == writer.total()) { @@ if (writer.total() != 0) {
block-size-9 @@ test_parallel_bzip2 @@ ParallelBzip2.* @@ payload/parallel_bzip2_blocks.cpp @@ byte < '1' || byte > '9' @@ byte < '1' || byte > '8'
stream-crc @@ test_parallel_bzip2 @@ ParallelBzip2.* @@ payload/parallel_bzip2.cpp @@ ((stream_crc_ << 1) | (stream_crc_ >> 31)) ^ head.crc @@ (stream_crc_ << 1) ^ head.crc
scanner-edge @@ test_parallel_bzip2 @@ Bzip2BlockScanner.* @@ payload/bzip2_block_scanner.cpp @@ if (end_bit < 48 + unsigned(r)) @@ if (end_bit < 49 + unsigned(r))
temporary-macro @@ test_payload @@ Extract.*:ResolveDestination.* @@ payload/path_macros.cpp @@ result = temporary_folder_.empty() ? install_folder_ : temporary_folder_; @@ result = install_folder_;
shared-macro @@ test_payload @@ ResolveDestination.*:SharedFolders.* @@ payload/destination_macros.h @@ {u"<CommonData>", 0x23, 0x1A, true} @@ {u"<CommonData>", 0x23, 0x1A, false}
relative-samples @@ test_payload @@ ResolveDestination.* @@ payload/path_macros.cpp @@ record_result = true; @@ record_result = false;
readback-retries @@ test_payload @@ ReadBack.* @@ payload/file_utils.cpp @@ int retries = 3; @@ int retries = 2;
readback-ignored @@ test_payload @@ Extract.*:ReadBack.* @@ payload/payload_writer.cpp @@ if (file_crc32(e.destination, while_verifying_) != e.crc) @@ if (file_crc32(e.destination, while_verifying_) != e.crc && false)
acl-inheritance @@ test_payload @@ GrantUsersAccess.* @@ payload/security.cpp @@ add_access_allowed_ace_ex(new_acl, ACL_REVISION, inheritance_flags, @@ add_access_allowed_ace_ex(new_acl, ACL_REVISION, inheritance_flags & 1,
acl-order @@ test_payload @@ GrantUsersAccess.* @@ payload/security.cpp @@ copy_entries(old_acl, 0, count, new_acl, users, true); @@ copy_entries(old_acl, 0, count, new_acl, users, false);
users-sid @@ test_payload @@ GrantUsersAccess.* @@ payload/security.cpp @@ DOMAIN_ALIAS_RID_USERS); @@ DOMAIN_ALIAS_RID_GUESTS);
shared-folder-walk @@ test_payload @@ SharedFolders.* @@ payload/payload_writer.cpp @@ fs::path parent = p.parent_path(); @@ fs::path parent = p.parent_path().parent_path();
undo-order @@ test_journal @@ Journal.* @@ engine/install_journal.cpp @@ undo_change({current_entries_.back(), current_records_.back().copy, current_records_.back().stamp}, @@ undo_change({current_entries_.front(), current_records_.front().copy, current_records_.front().stamp},
kept-in-place @@ test_journal @@ Journal.* @@ engine/journal_undo.cpp @@     if (entry.kept_in_place)\n        return;\n    if (mode == undo_mode::cut_run && !unchanged_since_run(step)) { @@     if (mode == undo_mode::cut_run && !unchanged_since_run(step)) {
backup-name-reused @@ test_journal @@ Journal.* @@ engine/install_journal.cpp @@ if (!path_exists(candidate.wstring())) @@ if (true)
uninstall-key-kept @@ test_journal @@ UninstallKey.* @@ engine/journal_undo.cpp @@ restore_uninstall_key(entry.backup); @@ restore_uninstall_key(std::wstring());
created-folders-kept @@ test_journal @@ Journal.* @@ engine/install_journal.cpp @@     forget_created_folders();\n    current_entries_.clear(); @@     current_entries_.clear();
rollback-frozen @@ test_journal @@ Journal.* @@ engine/install_journal.cpp @@         if (keep_alive)\n            keep_alive(); @@         (void)keep_alive;
copy-backup-renamed @@ test_journal @@ Journal.* @@ engine/journal_undo.cpp @@ if (step.copy && !entry.backup.empty() && path_exists(entry.path)) { @@ if (false) {
backup-confirmed-early @@ test_journal @@ Journal.* @@ engine/install_journal.cpp @@     if (back_up(path, copy, backup))\n        backup_made(backup);\n    else @@     backup_made(backup);\n    if (!back_up(path, copy, backup))
cut-moved-unconfirmed @@ test_journal @@ Journal.* @@ engine/cut_runs.cpp @@ !recorded.copy && !vt::path_exists(entry.path) && vt::path_exists(entry.backup); @@ false;
cut-oldest-first @@ test_journal @@ Journal.* @@ engine/cut_runs.cpp @@ return a.run.run.started > b.run.run.started; @@ return a.run.run.started < b.run.run.started;
cut-changed-file-removed @@ test_journal @@ Journal.* @@ engine/journal_undo.cpp @@ if (mode == undo_mode::cut_run && !unchanged_since_run(step)) { @@ if (mode == undo_mode::cut_run && !unchanged_since_run(step) && false) {
cut-failure-forgotten @@ test_journal @@ Journal.* @@ engine/cut_runs.cpp @@ left.entries.insert(left.entries.begin(), cut.run.entries[i]); @@ continue;
cut-any-path @@ test_journal @@ Journal.* @@ engine/cut_runs.cpp @@ || !misplaced_entry(entry, roots).empty())) @@ || false))
cut-foreign-backup @@ test_journal @@ Journal.* @@ engine/cut_runs.cpp @@ return is_backup_of(entry.backup, folder); @@ return is_backup_of(entry.backup, folder) || true;
cut-kept-unlogged @@ test_journal @@ Journal.* @@ engine/cut_runs.cpp @@         install_journal::write_log_of_cut_run(cut.run); @@         (void)0;
log-hex-code @@ test_uninstall_log @@ UninstallLogParser.* @@ engine/uninstall_log_parser.cpp @@ !take_number(text, 16, code) @@ !take_number(text, 10, code)
log-separator @@ test_uninstall_log @@ UninstallLogParser.* @@ engine/uninstall_log_parser.cpp @@ if (text.substr(0, 2) != L"--" || (text.size() > 2 && !is_log_blank(text[2]))) @@ if (text.substr(0, 2) != L"--")
log-written-code @@ test_uninstall_log @@ UninstallLog.* @@ engine/uninstall_log.cpp @@ L"{:04}:{:04x}:{}" @@ L"{:04}:{:04X}:{}"
log-merge @@ test_uninstall_log @@ UninstallLog.* @@ engine/uninstall_log.cpp @@ if (!contained) @@ if (contained)
codec-surrogates @@ test_txtf @@ Txtf* @@ support/txtf_char_codec.cpp @@ ((high - 0xD800) << 10) @@ ((high - 0xD800) << 9)
codec-utf16-piece @@ test_txtf @@ TxtfPieces.*:TxtfRead.* @@ support/txtf_char_codec.cpp @@ if (available < 2) @@ if (available < 1)
registration-icon @@ test_installation @@ Installation.FullRun* @@ engine/registration.cpp @@ product.wstring() + L",0" @@ product.wstring() + L",1"
registration-update @@ test_installation @@ InstallationRules.* @@ engine/registration.cpp @@ L" /update={:016x}" @@ L" /update={:x}"
link-relative @@ test_installation @@ Installation.Without* @@ engine/shortcut.cpp @@ if (!folder.is_absolute()) @@ if (false)
link-target @@ test_installation @@ Installation.* @@ engine/shortcut.cpp @@ link->SetPath(target.c_str()) @@ link->SetPath(working_folder(target).c_str())
link-desktop-kind @@ test_installation @@ Installation.FullRun* @@ engine/installation_sequence.cpp @@ ok &= make_shortcut(true, context_.shell_folder(2)); @@ ok &= make_shortcut(false, context_.shell_folder(2));
directx-revision @@ test_installation @@ Installation.DirectX* @@ engine/directx_setup.cpp @@ revision < 903 @@ revision < 902
directx-result @@ test_installation @@ Installation.DirectX* @@ engine/directx_setup.cpp @@ return result == 0 || result == 1; @@ return result == 0;
directx-again @@ test_installation @@ Installation.DirectX* @@ engine/installation_sequence.cpp @@ if (context_.previous_state != 1 && context_.journal.previous_done(journal_type::directx)) @@ if (context_.journal.previous_done(journal_type::directx))
update-samples @@ test_installation @@ Installation.Update* @@ engine/installation_sequence.cpp @@ if (context_.previous_state == 2) @@ if (context_.previous_state == 3)
detect-same-version @@ test_detection @@ Detection.* @@ app/previous_installation.cpp @@ } else if (version == product_file_version) { @@ } else if (version + 1 == product_file_version) {
detect-stale-path @@ test_detection @@ Detection.* @@ app/previous_installation.cpp @@ if (path && vt::path_exists(*path)) @@ if (path)
language-german @@ user_language_de_DE.UTF-8 @@ - @@ app/language.cpp @@ case LANG_GERMAN: return 2; @@ case LANG_GERMAN: return 3;
wizard-options-page @@ test_wizard @@ Wizard.AdvancedInstallation* @@ ui/dlg_main.cpp @@ if (current_page == page_mode && !context.advanced_mode) @@ if (current_page == page_mode)
wizard-back-at-end @@ test_wizard @@ Wizard.AfterTheInstallation* @@ ui/dlg_main.cpp @@ index == page_end || (index != page_start && !installed) @@ (index != page_start && !installed)
wizard-back-from-install @@ test_wizard @@ Wizard.AdvancedInstallation* @@ ui/dlg_main.cpp @@ if (current_page == page_install && !context.advanced_mode) @@ if (current_page == page_install)
uninstall-shared-data @@ test_uninstaller @@ Uninstallation.RemovesWhat* @@ demo/uninstaller/removal.cpp @@ entry->parameter == shared_data_kind @@ entry->parameter == -12345
uninstall-no-wait @@ test_uninstaller @@ Uninstallation.WaitsWhile* @@ demo/uninstaller/uninstaller.cpp @@ running_instances() > 1 @@ running_instances() > 2
uninstall-path-rule @@ test_uninstaller @@ UninstallLog.PathRules @@ engine/installation_paths.cpp @@ (strictly && p.size() == f.size()) @@ (strictly && p.size() == f.size() + 1)
newer-installed @@ lifecycle_Newer @@ - @@ app/previous_installation.cpp @@ found.state = -1; @@ found.state = 2;
stop-ignored @@ faults_StopRequested @@ - @@ engine/installation_sequence.cpp @@ if (stoppable(n) && view_.stop_requested()) @@ if (stoppable(n) && false && view_.stop_requested())
about-while-installing @@ test_wizard @@ Wizard.TheWayOut* @@ ui/dlg_main.cpp @@     if (!installing_)\n        show_about_box(hwnd); @@     show_about_box(hwnd);
startup-box @@ test_installer_process @@ InstallerProcess.* @@ app/main.cpp @@     context.message_box = [](const std::wstring& text, const std::wstring& caption, UINT style) {\n        return message_box(text, caption, style);\n    }; @@ 
readonly-retry @@ test_payload @@ Extract.OverARead* @@ payload/payload_writer.cpp @@     read_only_lifted lifted(destination);\n    output_file file(destination, true);\n    lifted.written_over(); @@     output_file file(destination, true);
readonly-restored @@ test_payload @@ Extract.OverARead* @@ payload/file_utils.cpp @@     if (lifted_)\n        set_read_only(path_, true); @@     if (!lifted_)\n        set_read_only(path_, true);
coalescing-tick @@ test_installation @@ CoalescingView.* @@ engine/coalescing_view.cpp @@ if (std::chrono::steady_clock::now() - last_flush_ >= flush_interval) @@ if (false)
coalescing-position @@ test_installation @@ Installation.ThePage* @@ engine/coalescing_view.cpp @@ if (percent_ != shown_percent_) { @@ if (false) {
dispatching-wait @@ test_installation @@ Installation.ThePage* @@ support/message_pump.cpp @@ ::MsgWaitForMultipleObjectsEx(1, &object, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE); @@ ::WaitForSingleObject(object, INFINITE);
directx-frozen @@ test_installation @@ Installation.FullRun* @@ engine/directx_setup.cpp @@ if (reason == callback_reason_progress) @@ if (reason == callback_reason_progress + 1000)
progress-bar @@ test_installation @@ Installation.ThePage* @@ ui/dlg_install.cpp @@ PBM_SETPOS, WPARAM(percent), 0); @@ PBM_SETPOS, WPARAM(percent / 2), 0);
page-final-flush @@ test_installation @@ Installation.ThePage* @@ engine/installation_sequence.cpp @@         try {\n            view_.flush();\n        } catch (...) { @@         try {\n        } catch (...) {
unmade-link-path @@ test_uninstaller @@ Uninstallation.AnUnmade* @@ demo/uninstaller/log_check.cpp @@ !entry.done && entry.path.empty(); @@ !entry.done;
unmade-link-refused @@ test_uninstaller @@ Uninstallation.AnUnmade* @@ demo/uninstaller/log_check.cpp @@         if (is_unmade_link(entry))\n            continue; @@ 
EOF
}

logs="$build/mutants"
mkdir -p "$logs" && : >"$logs/baseline.log"
saved=$(mktemp)
planted=
restore() {
    # Written anew rather than copied with its time: the next build must see
    # the file as changed and recompile what the fault left behind.
    [ -n "$planted" ] && cat "$saved" >"$planted"
    planted=
}
trap 'restore; rm -f "$saved"' EXIT
trap 'exit 130' INT TERM

plant() { # file original fault: the original must occur exactly once
    python3 - "$@" <<'PY'
import sys
path, original, fault = (sys.argv[1], sys.argv[2].encode().replace(b'\\n', b'\n'),
                         sys.argv[3].encode().replace(b'\\n', b'\n'))
text = open(path, 'rb').read()
found = text.count(original)
if found != 1:
    sys.exit(f'{path}: the original text occurs {found} times')
open(path, 'wb').write(text.replace(original, fault))
PY
}

# The whole entry through ctest; with a filter, its program directly in the
# entry's prefix and folder, since an entry may set a filter of its own.
run() { # entry filter exe
    if [ "$2" = - ]; then
        (cd "$build" && xvfb-run -a -s "-screen 0 1280x1024x24" \
            ctest -R "^${1//./\\.}\$" --no-tests=error --output-on-failure)
    else
        local status=0
        (cd "$build/tests" && WINEPREFIX="$build/wineprefix" WINEDEBUG=-all VT_TEST_BIN="$build" \
            timeout -k 10 300 xvfb-run -a -s "-screen 0 1280x1024x24" \
            sh "$root/tests/wine-run.sh" "./$3" --gtest_filter="$2") || status=$?
        # The next run must not meet this run's server on its way out.
        WINEPREFIX="$build/wineprefix" sh "$root/tools/wine-server.sh" stop
        return $status
    fi
}

# A fault counts only where its entry passes without it: each entry and
# filter is run once unchanged first.
declare -A baseline
passes_unchanged() { # entry filter exe
    local key="$1 $2"
    if [ -z "${baseline[$key]:-}" ]; then
        cmake --build "$build" --target "${3%.exe}" -j 2 >>"$logs/baseline.log" 2>&1 &&
            run "$1" "$2" "$3" >>"$logs/baseline.log" 2>&1 && baseline[$key]=yes || baseline[$key]=no
    fi
    [ "${baseline[$key]}" = yes ]
}

caught=0 missed=0 failed=0 broken=0
while IFS= read -r line; do
    line=${line//' @@ '/$'\x1f'}
    IFS=$'\x1f' read -r name entry filter file original fault <<<"$line"
    [ -n "$only" ] && [[ $name != *$only* ]] && continue
    log="$logs/$name.log"
    exe=$(cd "$build" && ctest -N -V -R "^${entry//./\\.}\$" | grep -o '[A-Za-z0-9_]*\.exe' | head -n 1)
    cp "$root/$file" "$saved"
    if [ -z "$exe" ] || ! passes_unchanged "$entry" "$filter" "$exe"; then
        outcome="fails unchanged"; broken=$((broken + 1))
    elif ! plant "$root/$file" "$original" "$fault" >"$log" 2>&1; then
        outcome="not applied"; broken=$((broken + 1))
    else
        planted="$root/$file"
        if ! cmake --build "$build" --target "${exe%.exe}" -j 2 >>"$log" 2>&1; then
            outcome="build failed"; failed=$((failed + 1))
        else
            if run "$entry" "$filter" "$exe" >>"$log" 2>&1; then
                outcome=missed; missed=$((missed + 1))
            else
                outcome=caught; caught=$((caught + 1))
            fi
        fi
        restore
    fi
    printf '%-13s %-30s %s\n' "$outcome" "$name" "$entry"
done < <(faults)
# A test program's build also rebuilt the programs it starts, with the fault
# in them: build everything again from the restored code.
cmake --build "$build" -j 2 >"$logs/rebuild.log" 2>&1 || echo "the build of the restored code failed"
echo "total: $caught caught, $missed missed, $failed build failed, $broken not applied or failing unchanged"
[ $((missed + failed + broken)) -eq 0 ]
