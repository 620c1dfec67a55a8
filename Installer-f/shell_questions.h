#pragma once
// The engine's two questions drawn by the shell: modal loops over sub-windows
// 996 (modified or vanished file) and 997 (cancel the installation).
// install_shell_questions() installs both as the engine's askers.
#include "Installer-f/utils.h"
#include "Installer-f/utils_dirs.h"

int shell_select_alert(const select_alert_question& q);
int shell_abort_alert(const abort_question& q);
void install_shell_questions();
