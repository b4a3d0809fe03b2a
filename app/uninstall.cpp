#include "app/uninstall.h"

#include "app/messages.h"
#include "app/resource.h"
#include "app/state.h"
#include "discovery/install_dir.h"
#include "log/log.h"
#include "removal/installed_files.h"
#include "removal/registry.h"
#include "removal/startmenu.h"

static const char FILE_EXTENSION_KEY[] = ".vxp";
static const char FILE_TYPE_KEY[] = "Vortax.Configuration.File";
const int EXIT_CANCELLED = 0;

int ConfirmUninstall() {
    LoadText(IDS_CAPTION_UNINSTALLER, g_state.caption, TEXT_CAPACITY);
    LoadText(IDS_CONFIRM_UNINSTALL, g_state.messageText, TEXT_CAPACITY);
    return ShowMessage(g_state.messageText, g_state.caption, MB_OKCANCEL, IDOK);
}

void ReportCompletion() {
    LoadText(IDS_CAPTION_UNINSTALLER, g_state.caption, TEXT_CAPACITY);
    if (g_state.errorCount != 0)
        LoadText(IDS_COMPLETED_WITH_REMAINS, g_state.messageText, TEXT_CAPACITY);
    else if (g_state.isMode)
        return;
    else
        LoadText(IDS_COMPLETED_ALL, g_state.messageText, TEXT_CAPACITY);
    ShowMessage(g_state.messageText, g_state.caption, MB_OK, IDOK);
}

static void AskAndRemoveUserSettings() {
    LoadText(IDS_CAPTION_UNINSTALLER, g_state.caption, TEXT_CAPACITY);
    LoadText(IDS_ASK_DELETE_SETTINGS, g_state.messageText, TEXT_CAPACITY);
    if (g_state.save)
        return;
    if (ShowMessage(g_state.messageText, g_state.caption, MB_YESNO, IDYES) == IDYES)
        RemoveRegistry();
}

static void RunNormalOrder() {
    if (ConfirmUninstall() != IDOK) {
        EndLog();
        ExitProcess(EXIT_CANCELLED);
    }
    GetInstallDirectory();
    AskAndRemoveUserSettings();
    MyRegDeleteKeySub(HKEY_CLASSES_ROOT, FILE_EXTENSION_KEY);
    MyRegDeleteKeySub(HKEY_CLASSES_ROOT, FILE_TYPE_KEY);
    MyRegDeleteKeySub(HKEY_LOCAL_MACHINE, MACHINE_SETTINGS_KEY);
    RemoveShortCut();
    if (g_state.installDirFound) {
        RemoveInstalledFiles(g_state.installDir);
    } else {
        LoadText(IDS_NO_INSTALL_DIR, g_state.messageText, TEXT_CAPACITY);
        ShowWarning(g_state.messageText);
        g_state.errorCount++;
    }
    RemoveInstallInformation();
    ReportCompletion();
}

static void RunInstallShieldOrder() {
    GetInstallDirectory();
    UninstallByIS();
    MyRegDeleteKeySub(HKEY_LOCAL_MACHINE, MACHINE_SETTINGS_KEY);
    RemoveShortCut();
    if (g_state.installDirFound)
        RemoveInstalledFiles(g_state.installDir);
    else
        g_state.errorCount++;
    ReportCompletion();
}

void RunUninstall(int argc, char** argv) {
    ParseOptions(argc, argv);
    if (g_state.isMode)
        RunInstallShieldOrder();
    else
        RunNormalOrder();
}
