#pragma once
// The engine's two questions drawn by the shell: modal loops over sub-windows
// 996 (modified or vanished file) and 997 (cancel the installation).
// install_shell_questions() installs both as the engine's askers.
#include "Installer-f/utils.h"
#include "Installer-f/utils_dirs.h"

#include <functional>
#include <string>
#include <vector>

// Where the modified-file question's buttons go: the question's columns
// (buttons of one x) widened to their longest label (as `measure` gives
// its width) plus a margin at each end, placed side by side from the left.
std::vector<select_alert_button> select_alert_layout(const select_alert_question& q,
                                                     const std::function<float(const std::string&)>& measure);

int shell_select_alert(const select_alert_question& q);
int shell_abort_alert(const abort_question& q);
void install_shell_questions();
