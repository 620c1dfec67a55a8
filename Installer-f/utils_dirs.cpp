#include "Installer-f/utils_dirs.h"

int make_dirs() { return 0; }
void make_dir_error(std::string, int) {}
void delete_files() {}
void add_folder_chain(const std::string&, std::set<std::string>&) {}
void delete_empty_folders(const std::set<std::string>&) {}
static abort_alert_handler g_abort_handler;
void set_abort_alert_handler(abort_alert_handler handler) { g_abort_handler = std::move(handler); }
int abort_alert(std::string message, std::string caption1, std::string text1, std::string caption2,
                std::string text2)
{
	if (!g_abort_handler) return 3;
	return g_abort_handler(abort_question{message, caption1, text1, caption2, text2});
}
