#include "Installer-f/utils_dirs.h"

#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "DIzivoz/Files/io_archive.h"
#include "DIzivoz/Files/io_beneath.h"
#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/UTL/UTL_translate.h"
#include "Installer-f/utils.h"

namespace {
const char* const kSource = "Installer-f/utils";

const char* const kUserFolders[] = {
	"Output", "Output/FMS plans", "Output/logbooks", "Output/movies",
	"Output/situations", "Resources", "Resources/preferences",
};

abort_alert_handler g_abort_handler;

// Dropped files of this run still on disk, by path.
std::set<std::string> g_undeleted;

// Renames folder + from to folder + to unless that entry is a symbolic link;
// a missing entry changes nothing.
void rename_unless_link(const std::string& folder, const char* from, const char* to)
{
	beneath_rename(dest_dir_path, folder, from, to, true);
}
}  // namespace

int delete_dropped_file(const std::string& destination)
{
	int err = beneath_unlink(dest_dir_path, destination);
	// Nothing there (or a file where its folder was): nothing left to delete.
	if (err == ENOENT || err == ENOTDIR) return err;
	if (err) {
		xer << "Could not delete the dropped file " << destination << ": " << error_str(err) << " (error " << err
		    << ").\n";
		g_undeleted.insert(destination);
	} else {
		g_undeleted.erase(destination);
	}
	return err;
}

int undeleted_file_count() { return (int)g_undeleted.size(); }

std::string undeleted_files_text()
{
	const int n = undeleted_file_count();
	if (n == 0) return std::string();
	return "\n\n" + UTL_string_sub(UTL_translate_plural(n,
	                                                      "I could not remove %1:count% old file. The log names it "
	                                                      "and why; the next update will try again.",
	                                                      "I could not remove %1:count% old files. The log names "
	                                                      "them and why; the next update will try again."),
	                                 std::to_string(n));
}

void make_dir_error(std::string folder, int code)
{
	__MACIBM_alert(0,
	               UTL_translate_string("I am unable to install or update Ventora. An error occurred while creating "
	                                    "new folders. Make sure you are installing to a directory that you have "
	                                    "access to!"),
	               UTL_translate_string("Error: ") + error_str(code),
	               UTL_translate_string("Install Location: ") + dest_dir_path,
	               UTL_translate_string("Install Path:") + folder, alert_warning, kSource, 2478);
}

int make_dirs()
{
	g_undeleted.clear();
	// The destination chain, parents first.
	std::string chain = dest_dir_path;
	if (!chain.empty() && chain.back() == '/') chain.pop_back();
	if (chain.empty()) {
		make_dir_error(dest_dir_path, 2);
		return 2;
	}
	std::vector<std::string> to_make;
	for (size_t p = chain.find('/', 1); p != std::string::npos; p = chain.find('/', p + 1))
		to_make.push_back(chain.substr(0, p));
	to_make.push_back(chain);
	for (const std::string& folder : to_make) {
		int err = make_folder(folder);
		if (show_make_dir_err(err)) {
			make_dir_error(folder, err);
			return err;
		}
	}

	// Every folder a file to install needs; the set sorts parents first.
	std::set<std::string> needed;
	for (int f = 0; f < (int)sim_info.size(); ++f) {
		const file_version_struct& v = sim_info[f].back();
		if (!v.install || !want_this_f(f, (int)sim_info[f].size() - 1)) continue;
		std::string rel = v.path;
		trim_dest_folder(rel);
		if (!dest_relative_path_ok(rel)) continue;  // never made outside the destination
		for (size_t cut = rel.rfind('/'); cut != std::string::npos && cut > 0; cut = rel.rfind('/')) {
			rel.erase(cut);
			needed.insert(rel);
		}
	}
	for (const std::string& folder : needed) {
		std::string full = dest_dir_path + folder;
		int err = beneath_mkdir(dest_dir_path, full);
		if (err == err_archive_escape) {
			// Its files are refused when they come; the rest installs.
			xer << "WARNING: not making the folder " << full << ": a link on its way leads out of the copy.\n";
			continue;
		}
		if (show_make_dir_err(err)) {
			make_dir_error(full, err);
			return err;
		}
	}

	// The simulator's own user folders: a failure is reported, not fatal.
	for (const char* folder : kUserFolders) {
		std::string full = dest_dir_path + folder;
		int err = beneath_mkdir(dest_dir_path, full);
		if (show_make_dir_err(err)) make_dir_error(full, err);
	}

	const std::string plugins = dest_dir_path + "Resources/plugins/";
	rename_unless_link(plugins + "VNTM.framework/Versions/", "Current", "_Current");
	rename_unless_link(plugins + "VNTWidgets.framework/Versions/", "Current", "_Current");
	rename_unless_link(plugins + "VNTM.framework/", "Resources", "_Resources");
	rename_unless_link(plugins + "VNTWidgets.framework/", "Resources", "_Resources");
	return 0;
}

void add_folder_chain(const std::string& path, std::set<std::string>& folders)
{
	size_t slash = path.rfind('/');
	if (slash == std::string::npos) return;
	std::string folder = path.substr(0, slash + 1);
	while (folder.size() > dest_dir_path.size()) {
		folders.insert(folder);
		folder.pop_back();
		slash = folder.rfind('/');
		if (slash == std::string::npos) break;
		folder.erase(slash + 1);
	}
}

void delete_empty_folders(const std::set<std::string>& folders)
{
	std::vector<std::string> names;
	std::vector<int> types;
	for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
		if (opensave_getitems(*it, 0, names, types) != 0) continue;
		int err = beneath_unlink(dest_dir_path, *it);
		if (stg.log_actions) xer << "cleanup: DELETING  file " << *it << ", with result=" << err << ".\n";
	}
}

void delete_files()
{
	std::set<std::string> folders;
	for (int f = 0; f < (int)sim_info.size(); ++f) {
		file_version_struct& v = sim_info[f].back();
		if (!v.remove) continue;
		std::string rel = v.path;
		trim_dest_folder(rel);
		if (!dest_relative_path_ok(rel)) continue;  // never delete outside the destination
		const std::string destination = dest_dir_path + rel;
		stg.action = 0;
		int err = delete_dropped_file(destination);
		if (stg.log_actions) xer << "DELETING  file " << destination << ", with result=" << err << ".\n";
		add_folder_chain(destination, folders);
		crash_point("delete-done", destination);
		if (err && show_del_err(err))
			__MACIBM_alert(0, "Could not delete a file that I no longer want to have!", error_str(err), destination,
			               "", alert_fatal, kSource, 2571);
		if (err && err != ENOENT && err != ENOTDIR) continue;  // still there: not counted as deleted
		v.sig_have = "NONE";
		v.have_is_want = 0;
	}
	add_gone_folders(folders);
	delete_empty_folders(folders);
}

void add_gone_folders(std::set<std::string>& folders)
{
	// Folders that hold a file of the release, or that the simulator keeps
	// for its user, stay even when empty.
	std::set<std::string> kept, gone;
	for (const char* folder : kUserFolders) kept.insert(dest_dir_path + folder + "/");
	for (const file_history_struct& h : sim_info) {
		const file_version_struct& v = h.back();
		std::string rel = v.path;
		trim_dest_folder(rel);
		if (!dest_relative_path_ok(rel)) continue;
		add_folder_chain(dest_dir_path + rel, v.sig_want == "GONE" ? gone : kept);
	}
	for (const std::string& folder : gone)
		if (!kept.count(folder)) folders.insert(folder);
}

void remove_extract_leftovers()
{
	std::set<std::string> folders;
	for (const file_history_struct& h : sim_info) {
		std::string rel = h.back().path;
		trim_dest_folder(rel);
		if (!dest_relative_path_ok(rel)) continue;
		const std::string path = dest_dir_path + rel;
		folders.insert(path.substr(0, path.rfind('/') + 1));
	}
	for (const std::string& folder : folders) {
		// Listed and removed beneath the copy: a folder reached through a
		// link out of it is not the copy's.
		int dir = -1;
		if (folder.size() <= dest_dir_path.size()) {
			dir = open(dest_dir_path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
		} else {
			std::string leaf;
			int parent = -1;
			if (beneath_open_parent(dest_dir_path, folder, parent, &leaf) == 0)
				dir = openat(parent, leaf.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
			if (parent >= 0) close(parent);
		}
		if (dir < 0) continue;
		const int list_fd = openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
		DIR* d = list_fd >= 0 ? fdopendir(list_fd) : nullptr;
		if (!d) {
			if (list_fd >= 0) close(list_fd);
			close(dir);
			continue;
		}
		std::vector<std::string> leftovers;
		while (struct dirent* e = readdir(d))
			if (is_extract_temp_name(e->d_name)) leftovers.push_back(e->d_name);
		closedir(d);
		for (const std::string& name : leftovers) {
			const std::string path = folder + name;
			struct stat st;
			// Only what extraction makes: files and links, never a folder.
			if (fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(st.st_mode)) continue;
			const int err = unlinkat(dir, name.c_str(), 0) == 0 ? 0 : errno;
			xer << "Removing what an interrupted extraction left: " << path << ", with result=" << err << ".\n";
		}
		close(dir);
	}
}

int dest_relative_path_ok(const std::string& rel)
{
	if (rel.empty() || rel[0] == '/') return 0;
	if (rel.find('\0') != std::string::npos) return 0;
	size_t start = 0;
	while (start <= rel.size()) {
		size_t end = rel.find('/', start);
		if (end == std::string::npos) end = rel.size();
		const std::string part = rel.substr(start, end - start);
		if (part == ".." || part == ".") return 0;
		start = end + 1;
	}
	return 1;
}

void set_abort_alert_handler(abort_alert_handler handler) { g_abort_handler = std::move(handler); }

int abort_alert(std::string message, std::string caption1, std::string text1, std::string caption2,
                std::string text2, std::string title)
{
	// Without a shell to draw it, the question behaves as a closed window.
	if (!g_abort_handler) return 3;
	abort_question q;
	q.message = message;
	q.caption1 = caption1;
	q.text1 = text1;
	q.caption2 = caption2;
	q.text2 = text2;
	q.title = title.empty() ? UTL_translate_string("Question") : title;
	const int answer = g_abort_handler(q);
	return answer == 1 || answer == 0 ? answer : 3;
}
