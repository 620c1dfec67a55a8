// The install registry: every simulator folder the installer installed or was
// pointed to, one per line in the preferences folder, and the copy picker.
#include <sys/types.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_url.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "DIzivoz/UTL/UTL_log.h"
#include "DIzivoz/UTL/UTL_translate.h"
#include "Installer-f/utils.h"
#include "Installer-f/wizard.h"

std::vector<std::string> all_skyframes;

namespace {
const char* const registry_name = "ventora_install.txt";
// Copies whose install began and has not finished (a quit or a killed run),
// kept apart so the registry stays one folder per line for every reader.
const char* const unfinished_name = "ventora_install_unfinished.txt";
const char* const wizard_src = "Installer-f/wizard_registry";

std::string registry_folder()
{
	std::string p;
	get_OS_abs_path(os_dir_prefs, p);
	return p;
}

// Reads the registry's lines, each entry ending at its first CR, LF or NUL
// (a NUL ends the entry, not the line); false when the file does not open.
bool read_lines(const std::string& path, std::vector<std::string>& out)
{
	std::FILE* f = std::fopen(path.c_str(), "rb");
	if (!f) return false;
	char* buf = nullptr;
	size_t cap = 0;
	ssize_t n;
	while ((n = getline(&buf, &cap, f)) > 0) {
		size_t len = 0;
		while (len < (size_t)n && buf[len] != '\r' && buf[len] != '\n' && buf[len] != '\0') ++len;
		out.emplace_back(buf, len);
	}
	std::free(buf);
	std::fclose(f);
	return true;
}

// True when the file is empty, missing or ends in a line feed, so an appended
// line stays a line of its own.
bool ends_in_line_feed(const std::string& path)
{
	std::FILE* f = std::fopen(path.c_str(), "rb");
	if (!f) return true;
	int last = '\n';
	if (std::fseek(f, -1, SEEK_END) == 0) last = std::fgetc(f);
	std::fclose(f);
	return last == '\n';
}
}  // namespace

void locate_all_ventoras()
{
	all_skyframes.clear();
	const std::string p = registry_folder();
	if (p.empty()) {
		xer << "WARNING: registration of this skyframe folder failed!\n";
		return;
	}
	std::vector<std::string> lines;
	if (!read_lines(p + registry_name, lines)) return;
	for (const std::string& l : lines)
		if (!l.empty() && dir_exists(l)) all_skyframes.push_back(l);
}

namespace {
void append_once(const char* name, const std::string& folder)
{
	const std::string p = registry_folder();
	if (p.empty()) {
		xer << "WARNING: registration of this skyframe folder failed!\n";
		return;
	}
	const std::string path = p + name;
	std::vector<std::string> lines;
	if (read_lines(path, lines))
		for (const std::string& l : lines)
			if (l == folder) return;
	std::FILE* f = std::fopen(path.c_str(), "ab");
	if (!f) {
		xer << "WARNING: could not append registration file: " << path << "\n";
		return;
	}
	const bool whole = ends_in_line_feed(path);
	std::fprintf(f, "%s%s\n", whole ? "" : "\n", folder.c_str());
	std::fclose(f);
}

// Rewrites the file without the lines naming folder; every other line stays
// byte for byte. The new file replaces the old one whole, so a run killed
// meanwhile leaves one or the other.
void remove_lines(const char* name, const std::string& folder)
{
	const std::string p = registry_folder();
	if (p.empty()) return;
	const std::string path = p + name;
	std::FILE* in = std::fopen(path.c_str(), "rb");
	if (!in) return;
	std::string all;
	char buf[4096];
	for (size_t n; (n = std::fread(buf, 1, sizeof buf, in)) > 0;) all.append(buf, n);
	std::fclose(in);
	std::string text;
	bool found = false;
	for (size_t at = 0; at < all.size();) {
		size_t end = all.find('\n', at);
		end = end == std::string::npos ? all.size() : end + 1;
		const std::string line = all.substr(at, end - at);
		at = end;
		// The entry as the readers see it: up to its first CR, LF or NUL.
		if (line.substr(0, line.find_first_of(std::string("\r\n\0", 3))) == folder) {
			found = true;
			continue;
		}
		text += line;
	}
	if (!found) return;
	const std::string fresh = path + ".new";
	std::FILE* f = std::fopen(fresh.c_str(), "wb");
	bool ok = f && std::fwrite(text.data(), 1, text.size(), f) == text.size();
	if (f) ok = std::fclose(f) == 0 && ok;
	if (!ok || std::rename(fresh.c_str(), path.c_str()) != 0) {
		std::remove(fresh.c_str());
		xer << "WARNING: could not rewrite registration file: " << path << "\n";
	}
}
}  // namespace

void register_new_ventora() { append_once(registry_name, dest_dir_path); }

void unregister_ventora(const std::string& folder)
{
	remove_lines(registry_name, folder);
	remove_lines(unfinished_name, folder);
}

void install_started(const std::string& folder) { append_once(unfinished_name, folder); }
void install_finished(const std::string& folder) { remove_lines(unfinished_name, folder); }

bool install_unfinished(const std::string& folder)
{
	const std::string p = registry_folder();
	std::vector<std::string> lines;
	if (p.empty() || !read_lines(p + unfinished_name, lines)) return false;
	return std::find(lines.begin(), lines.end(), folder) != lines.end();
}

std::string unfinished_copy_text(const std::string& install_folder, const std::string& parent_dir)
{
	return UTL_string_sub(UTL_translate_string("The folder '%1:install name%' inside the folder '%2:parent folder%' holds "
	                                           "an installation that did not finish.\n\nNext finishes it and keeps the "
	                                           "files already installed."),
	                      install_folder, parent_dir);
}

void discard_partial_install()
{
	recursive_delete_folder(dest_dir_path);
	unregister_ventora(dest_dir_path);
	locate_all_ventoras();
}

int path_is_to_a_sim()
{
	if (dest_dir_path.empty() || dest_dir_path.back() != '/') return 0;
	std::vector<std::string> names;
	std::vector<int> types;
	if (opensave_getitems(dest_dir_path, ftype_any, names, types) <= 0 || names.empty()) return 0;
	bool a = false, i = false, o = false, r = false;
	for (size_t k = 0; k < names.size() && k < types.size(); ++k) {
		if (types[k] != ftype_folder) continue;
		const std::string& n = names[k];
		a = a || n.find("Airfoils") != std::string::npos;
		i = i || n.find("Instructions") != std::string::npos;
		o = o || n.find("Output") != std::string::npos;
		r = r || n.find("Resources") != std::string::npos;
	}
	return a && i && o && r ? 1 : 0;
}

namespace {
// The parent folder of a folder path ending in '/', also ending in '/'; empty when none.
std::string parent_of(const std::string& p)
{
	if (p.size() <= 1) return std::string();
	std::string t = p.substr(0, p.size() - 1);
	const size_t cut = t.find_last_of('/');
	if (cut == std::string::npos) return std::string();
	return t.substr(0, cut + 1);
}
}  // namespace

void UTIL_pick_install()
{
	if (all_skyframes.size() == 1 && dest_dir_path.empty()) dest_dir_path = all_skyframes[0];
	const int n = (int)all_skyframes.size();
	for (int i = 0; i < n; ++i) {
		const float y = 400.0f - 25.0f * i;
		OGL_string(45, 280, y, all_skyframes[i], 490, charset_regular, 0);
		int ticked = dest_dir_path == all_skyframes[i] ? 1 : 0;
		BTN_bool(250, y, &ticked, "", 1);
		if (ticked && dest_dir_path != all_skyframes[i]) dest_dir_path = all_skyframes[i];
	}
	const std::string question = UTL_translate_string("Is the copy of Ventora 9 you're looking for missing from this list?");
	OGL_string(45, 230, 400.0f - 25.0f * n, question, 400, charset_regular, 0);
	// The button starts 12 units after the question's longest line.
	const float qw = std::min(str_dx(question), 400.0f);
	const float bx = 230 + qw + 12 + 50;
	if (!BTN_action(bx, 403.0f - 25.0f * n, 100, 0, 1, UTL_translate_string("Find It"), "-")) return;

	const std::string before = dest_dir_path;
	std::string chosen = dest_dir_path;
	if (!GetFilePathFromUser(2, UTL_translate_string("Please select your Ventora 9 folder."), UTL_translate_string("Select"), 0,
	                         dest_dir_path, chosen))
		return;
	if (chosen != "/") chosen += '/';
	dest_dir_path = chosen;
	while (!path_is_to_a_sim()) {
		const std::string up = parent_of(dest_dir_path);
		if (dest_dir_path == "/" || up.empty()) {
			__MACIBM_alert(0, UTL_translate_string("You selected the folder path:"), chosen,
			               UTL_translate_string("But it does not appear to be an installed copy of Ventora 9."),
			               UTL_translate_string("Please be sure to select the folder that contains the Ventora application."),
			               alert_warning, wizard_src, 120);
			dest_dir_path = before;
			return;
		}
		dest_dir_path = up;
	}
	register_new_ventora();
	locate_all_ventoras();
}
