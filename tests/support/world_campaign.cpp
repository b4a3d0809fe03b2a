// The campaign's side of the worlds: a world laid, run, judged and cleaned up, the time of
// each phase, and the machine made ready for worlds and proved clean after each.
#include "world_parts.h"

#include "install.h"

#include <shlobj.h>

#include <stdio.h>
#include <string.h>

namespace wintest {

namespace {

const char* const PHASE_NAMES[PHASES] = {"sample", "lay",     "pictures", "run",
                                         "judge",  "cleanup", "check"};

// The picture that a world's cleanup is held to: the machine as prepare_machine left it,
// then as the last check found it.
Snapshot g_baseline;

} // namespace

const char* phase_name(int phase) {
    return phase >= 0 && phase < PHASES ? PHASE_NAMES[phase] : "?";
}

std::string describe_times(const Verdict& verdict) {
    std::string text;
    for (int phase = 0; phase < PHASES; phase++) {
        if (phase == PHASE_CHECK && verdict.seconds[phase] == 0)
            continue;
        char part[64];
        sprintf(part, "%s%s %.2f s", text.empty() ? "" : ", ", PHASE_NAMES[phase],
                verdict.seconds[phase]);
        text += part;
        if (phase == PHASE_PICTURES)
            text += " (" + std::to_string(verdict.items) + " items)";
    }
    return text;
}

Verdict run_world(const World& world) {
    Verdict verdict;
    PhaseClock clock(&verdict);
    Laid laid = lay_world(world, clock);
    for (const std::string& problem : laid.problems)
        verdict.violations.push_back("could not lay " + problem);

    RunOptions options;
    options.args = world.args;
    options.windows_version = world.windows;
    options.japanese = world.japanese;
    options.any_boxes = true;
    options.picks = world.picks;
    lay_temp(world, laid, &options.temp_dir);
    options.current_dir = laid.cwd;
    // A mutation may have taken the install folder, and the copy in it, away.
    laid.started_from_install = !laid.own_file.empty() && exists(laid.own_file);
    if (laid.started_from_install)
        options.program_path = from_utf8(laid.own_file, laid.codepage);
    if (world.chain == 0)
        options.env.push_back({"IS_STANDIN_REMOVE",
                               installshield_root(world) == HKEY_CURRENT_USER ? "HKCU" : "HKLM"});
    set_windows_version("vxwipe.exe", world.windows);
    clock.mark(PHASE_LAY);

    Snapshot before = take_snapshot();
    clock.mark(PHASE_PICTURES);
    RunResult run = run_program(options);
    for (HANDLE file : laid.held)
        CloseHandle(file);
    laid.held.clear();
    clock.mark(PHASE_RUN);
    Snapshot after = take_snapshot();
    verdict.items = (int)after.items.size();
    clock.mark(PHASE_PICTURES);

    judge(world, laid, run, before, after, verdict);
    verdict.summary =
        "exit code " + testing::PrintToString(run.exit_code) + ", " + describe_boxes(run.boxes);
    clock.mark(PHASE_JUDGE);
    clean_up(laid);
    clock.mark(PHASE_CLEANUP);
    return verdict;
}

void prepare_machine() {
    CreateDirectoryA("C:\\wt", NULL);
    char path[MAX_PATH];
    SHGetSpecialFolderPathA(NULL, path, CSIDL_PROGRAMS, TRUE);
    SHGetSpecialFolderPathA(NULL, path, CSIDL_COMMON_PROGRAMS, TRUE);
    programs_folder(0);
    programs_folder(1);
    remove_product_keys();
    for (const char* program : {"vxwipe.exe", "vxsample.exe"}) {
        set_windows_version(program, "winxp");
        set_windows_version(program, "");
    }
    // Worlds put keys below it; Wine's fresh prefix has it only under HKLM.
    add_key(HKEY_CURRENT_USER, std::string(UNINSTALL_LIST).substr(0, strlen(UNINSTALL_LIST) - 1));
    g_baseline = take_snapshot();
}

std::vector<std::string> leftovers_of_world() {
    std::vector<std::string> left;
    Snapshot now = take_snapshot();
    for (const Change& change : diff_snapshots(g_baseline, now))
        if (!wine_own_change(change.item))
            left.push_back(describe_change(change));
    g_baseline = now;
    return left;
}

} // namespace wintest
