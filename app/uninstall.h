// The two uninstall sequences.
#pragma once

void RunUninstall(int argc, char** argv);
int ConfirmUninstall();
void ReportCompletion();
