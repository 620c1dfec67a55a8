// Entry point of the maker's release builder. With a display it opens the
// application window through the shell: progress shows in a strip along the
// window's bottom, 'q' stops the build, alerts are drawn. Without one,
// progress goes to standard output and alerts to standard error. A fatal
// alert ends the program with status 1.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_init.h"
#include "DIzivoz/GenC/hl_shell_calls.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_string.h"
#include "DIzivoz/Thread/hl_thread.h"
#include "DIzivoz/UTL/UTL_cmdline.h"
#include "Installer-f/make_installer.h"
#include "Platform/plat_shell.h"

namespace {

const char* const usage =
    "Usage: ventora_maker [options]\n"
    "Builds the release manifest, the disc identity file and the per-file archives\n"
    "from a master folder into the disc masters.\n"
    "  --master=FOLDER     master folder (default \"/Ventora 9.00/\")\n"
    "  --output=FOLDER     root of the disc masters (default \"/DVD_Masters/\"); its\n"
    "                      disk_0 folder must not exist yet\n"
    "  --previous=FILE     previous release's manifest, read for build type 0\n"
    "                      (default \"/directory.txt\")\n"
    "  --build_type=N      0 product with change log, 1 product (default),\n"
    "                      2 Mars scenery, 3 Moon scenery\n"
    "  --disc_limit_kb=N   KB of archives per disc before the next one (default 630000)\n"
    "  -h, --help          show this text\n"
    "With a display the progress shows in a window, where 'q' stops the build;\n"
    "without one it goes to standard output.\n";

std::string absolute(std::string path)
{
	if (!path.empty() && path[0] != '/') {
		char cwd[PATH_MAX];
		if (getcwd(cwd, sizeof(cwd))) path = std::string(cwd) + "/" + path;
	}
	return path;
}

std::string as_folder(std::string path)
{
	path = absolute(path);
	if (!path.empty() && path.back() != '/') path += '/';
	return path;
}

}  // namespace

int main(int argc, char** argv)
{
	// A mistyped option must not send the build to the default folders.
	for (int i = 1; i < argc; ++i) {
		const std::string arg = argv[i];
		const std::string key = arg.substr(0, arg.find('='));
		if (key != "--master" && key != "--output" && key != "--previous" && key != "--build_type" && key != "-h" &&
		    key != "--disc_limit_kb" &&
		    key != "--help") {
			std::fprintf(stderr, "ventora_maker: unknown option \"%s\".\n%s", arg.c_str(), usage);
			return 2;
		}
	}
	cmdline.parse_unix(argc, const_cast<const char**>(argv));
	if (cmdline.has_option("-h") || cmdline.has_option("--help")) {
		std::fputs(usage, stdout);
		return 0;
	}

	std::string master = maker_default_src_fold;
	std::string output = maker_default_dst_fold_base;
	std::string previous = maker_default_old_dir_path;
	if (cmdline.has_option("--master")) master = as_folder(cmdline.get_option("--master"));
	if (cmdline.has_option("--output")) output = as_folder(cmdline.get_option("--output"));
	if (cmdline.has_option("--previous")) previous = absolute(cmdline.get_option("--previous"));
	if (cmdline.has_option("--build_type")) {
		const std::string text = cmdline.get_option("--build_type");
		const int type = str_to_int(text);
		if (type < 0 || type > 3) {
			std::fprintf(stderr, "ventora_maker: --build_type must be 0, 1, 2 or 3, not \"%s\".\n%s", text.c_str(), usage);
			return 2;
		}
		build_type = type;
	}
	if (cmdline.has_option("--disc_limit_kb")) {
		const std::string text = cmdline.get_option("--disc_limit_kb");
		const bool digits = !text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos;
		if (!digits || std::stol(text) <= 0) {
			std::fprintf(stderr, "ventora_maker: --disc_limit_kb must be a positive number of KB, not \"%s\".\n%s",
			             text.c_str(), usage);
			return 2;
		}
		maker_disc_limit_kb = (double)std::stol(text);
	}
	if (master.empty() || output.empty() || previous.empty()) {
		std::fprintf(stderr, "ventora_maker: a folder or file option is empty.\n%s", usage);
		return 2;
	}

	// The shell makes the program's folder the working folder: the options
	// were made absolute above.
	const bool windowed = PLAT().video_init();
	if (!windowed) {
		// The same without the shell: a failed build's stack dump and memory
		// report go beside the program, never into the folder it was started
		// from (which may be the master).
		std::string app_folder;
		MACIBM_set_app_path(&app_folder, 0);
		if (!app_folder.empty() && chdir(app_folder.c_str()) != 0) {
		}
	}
	if (windowed) {
		MACIBM_init(argc, argv);
		stls[stls_entry_alert_button] = "OK";  // as the installer labels its alerts' button
		// Both buffers get the background, so each strip changes only its own rows.
		for (int i = 0; i < 2; ++i) {
			shell_plot_back_col();
			shell_sbuff();
		}
	}

	// Every derived path follows the options.
	maker_set_folders(master, output, previous);
	build_install();
	app_done = 1;
	if (windowed) {
		// The installer's preferences and key settings are not the maker's to write.
		THREAD_shutdown();
		MACIBM_finishup(0);
	}
	return 0;
}
