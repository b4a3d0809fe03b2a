// Resolves the Programs folders as the uninstaller does and traces the answers into
// the log, then asks for the product folder in the user's one: run under another
// Windows version to see that version's lookup.
#include "app/state.h"
#include "log/log.h"
#include "removal/startmenu.h"

#include <windows.h>

static const char* Shown(const char* folder) {
    return folder != NULL ? folder : "(none)";
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    InitLog(LOG_FILE_NAME);
    const char* system = getAppFolderLocation(SYSTEM);
    const char* user = getAppFolderLocation(USER);
    LogMessage("probe: SYSTEM [%s]\n", Shown(system));
    LogMessage("probe: USER [%s]\n", Shown(user));
    LogMessage("probe: isExistGroup(USER) = %d\n", isExistGroup(USER, "VORTA-X"));
    EndLog();
    return 0;
}
