// Temporary placeholders (delete each line once the real function exists) so the program links while modules are written.
#include "discovery/install_dir.h"
#include "removal/installed_files.h"
#include "removal/registry.h"
#include "removal/startmenu.h"
#define WEAK
