// Native file dialogs and small platform utilities of the shell.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <vector>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_url.h"
#include "DIzivoz/GenC/hl_init.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OOPS_cpp/butn_files.h"
#include "Platform/plat_shell.h"

extern char** environ;

namespace {
std::map<int, std::string> remembered_folder;

bool folder_exists(const std::string& p)
{
	struct stat st;
	return !p.empty() && stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Runs prog with args, collecting its standard output. -1 when it could not
// be started, else its exit status (255 for a signal).
int run_capture(const std::vector<std::string>& args, std::string& output)
{
	int pipefd[2];
	if (pipe2(pipefd, O_CLOEXEC) != 0) return -1;
	posix_spawn_file_actions_t fa;
	posix_spawn_file_actions_init(&fa);
	posix_spawn_file_actions_adddup2(&fa, pipefd[1], 1);
	std::vector<char*> argv;
	for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
	argv.push_back(nullptr);
	pid_t pid = 0;
	const int err = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ);
	posix_spawn_file_actions_destroy(&fa);
	close(pipefd[1]);
	if (err != 0) {
		close(pipefd[0]);
		return -1;
	}
	char buf[4096];
	for (;;) {
		ssize_t n = read(pipefd[0], buf, sizeof buf);
		if (n > 0) output.append(buf, (size_t)n);
		else if (n == 0 || errno != EINTR) break;
	}
	close(pipefd[0]);
	int status = 0;
	while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
	}
	// A program that could not be executed at all ends with 127 from the child.
	if (WIFEXITED(status)) return WEXITSTATUS(status);
	return 255;
}
}  // namespace

int GetFilePathFromUser(int kind, const std::string& message, const std::string& action_label, int preference_key,
                        const std::string& start_folder, std::string& out)
{
	std::string folder = start_folder;
	if (!folder_exists(folder)) {
		auto it = remembered_folder.find(preference_key);
		folder = it != remembered_folder.end() ? it->second : std::string();
	}
	if (!folder.empty() && folder.back() != '/') folder += '/';
	std::string start = folder;
	if (kind == 1) start += out;

	std::vector<std::string> zenity = {"zenity", "--file-selection", "--title=" + message};
	if (kind == 2) zenity.push_back("--directory");
	if (kind == 1) zenity.push_back("--save");
	if (!start.empty()) zenity.push_back("--filename=" + start);

	std::vector<std::string> kdialog = {"kdialog", "--title", message};
	if (kind == 2) kdialog.push_back("--getexistingdirectory");
	else if (kind == 1) kdialog.push_back("--getsavefilename");
	else kdialog.push_back("--getopenfilename");
	kdialog.push_back(start.empty() ? std::string(".") : start);

	std::string output;
	int rc = run_capture(zenity, output);
	if (rc == -1 || rc == 127) {
		output.clear();
		rc = run_capture(kdialog, output);
		if (rc == -1 || rc == 127) {
			xer << "No file dialog program (zenity or kdialog) could be started.\n";
			xer.flush();
			rc = -1;
		}
	}
	// Without a dialog program a folder is still chosen: in the window itself.
	if (rc == -1 && kind == 2 && ogl_inited) {
		xer << "The folder is chosen in the window's own dialog.\n";
		xer.flush();
		std::string picked;
		const int ok = BTN_choose_folder(message, action_label, folder, &picked);
		PLAT().flush_events();
		if (!ok) {
			xer << "The folder choice was cancelled.\n";
			xer.flush();
			return 0;
		}
		xer << "Folder chosen: " << picked << "\n";
		xer.flush();
		// Callers take a folder without its final '/', as the dialog programs give it.
		out = picked.size() > 1 ? picked.substr(0, picked.size() - 1) : picked;
		remembered_folder[preference_key] = out;
		return 1;
	}
	// Keys and clicks made while the dialog was up belong to it, not the frame.
	PLAT().flush_events();
	if (rc != 0) return 0;
	if (!output.empty() && output.back() == '\n') output.pop_back();
	if (output.empty()) return 0;
	out = output;
	const std::string chosen_folder = kind == 2 ? output : output.substr(0, output.rfind('/') + 1);
	if (!chosen_folder.empty()) remembered_folder[preference_key] = chosen_folder;
	return 1;
}

void DoUserAlert(const char* text) { MACIBM_native_alert(text ? text : "", "", "", ""); }

int16_t EndianFlipShort(int16_t* p)
{
	const uint16_t v = (uint16_t)*p;
	*p = (int16_t)(uint16_t)((v >> 8) | (v << 8));
	return *p;
}

int32_t EndianFlipLong(int32_t* p)
{
	const uint32_t v = (uint32_t)*p;
	*p = (int32_t)((v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24));
	return *p;
}
