// Sizes, times and rates as the wizard pages say them, the disk report and
// the cancel question of the disc installation pages.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/OGL/OGL_font.h"
#include "DIzivoz/OOPS_cpp/butn_layout.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "DIzivoz/UTL/UTL_translate.h"
#include "Installer-f/utils.h"
#include "Installer-f/utils_dirs.h"
#include "Installer-f/utils_tasks.h"
#include "Installer-f/wizard.h"
#include "Installer-f/wizard_faults.h"

namespace {
std::string fmt256(const char* fmt, double v)
{
	char buf[256];
	std::snprintf(buf, sizeof buf, fmt, v);
	return buf;
}
// Integer part of a float without undefined behaviour: NaN counts as 0, and
// values beyond int are held at its ends.
int int_part(double v)
{
	if (std::isnan(v)) return 0;
	if (v >= 2147483647.0) return 2147483647;
	if (v <= -2147483648.0) return -2147483647 - 1;
	return (int)v;
}
}  // namespace

std::string size_string(float kb)
{
	// Units and the decimal mark as the language writes them ("56,9 Go"); the
	// text wrap keeps the number and its unit on one line.
	if (kb > 1024000) {
		const std::string n = fmt256("%.1f", kb / 1048576.0);
		const size_t dot = n.find('.');
		const std::string number =
		    dot == std::string::npos
		        ? n
		        : UTL_string_sub(UTL_translate_string("%1:units%.%2:tenths%"), n.substr(0, dot), n.substr(dot + 1));
		return UTL_string_sub(UTL_translate_string("%1:size% GB"), number);
	}
	if (kb > 1024) return UTL_string_sub(UTL_translate_string("%1:size% MB"), fmt256("%.0f", kb / 1024.0));
	return UTL_string_sub(UTL_translate_string("%1:size% KB"), fmt256("%.0f", kb));
}

std::string int_str(int n)
{
	char buf[256];
	std::snprintf(buf, sizeof buf, "%d", n);
	return buf;
}

std::string flt_str(const char* fmt, float v) { return fmt256(fmt, v); }

std::string time_str(float s)
{
	int n;
	const char *one, *many;
	if (s < 120) {
		n = int_part(s);
		one = "%1:seconds% second";
		many = "%1:seconds% seconds";
	} else if (s >= 7200 || std::isnan(s)) {
		n = int_part(s / 3600.0);
		one = "%1:hours% hour";
		many = "%1:hours% hours";
	} else {
		n = int_part(s / 60.0);
		one = "%1:minutes% minute";
		many = "%1:minutes% minutes";
	}
	return UTL_string_sub(UTL_translate_plural(n, one, many), int_str(n));
}

float install_seconds_left(float download_total_kb, float downloaded_kb, float install_total_kb, float installed_kb,
                           float elapsed)
{
	if (!(elapsed >= 1)) elapsed = 1;
	const float to_download = download_total_kb - downloaded_kb;
	const float to_install = install_total_kb - installed_kb;
	if (!(to_download > 0) && !(to_install > 0)) return 0;
	float left = 0;
	// Downloading at the rate so far.
	if (to_download > 0 && downloaded_kb > 0) left = to_download / (downloaded_kb / elapsed);
	// Installed files lag behind the download (they are extracted after it):
	// the share installed, the one the bar shows, at its own pace.
	if (install_total_kb > 0 && installed_kb > 0 && to_install > 0)
		left = std::max(left, elapsed * to_install / installed_kb);
	// Whole seconds, never "0 seconds" while work remains.
	return std::max(1.0f, std::ceil(left));
}

std::string rate_str(float kb_per_s)
{
	const int n = int_part(kb_per_s);
	return UTL_string_sub(UTL_translate_plural(n, "%1:rate% kilobyte/second", "%1:rate% kilobytes/second"), int_str(n));
}

disk_report UTIL_disk_report(const std::string& enough_text, const std::string& short_text)
{
	disk_report r;
	uint64_t total = 0, free_bytes = 0;
	// The destination folder may not exist yet: the volume is that of the
	// nearest folder that does, which may be a volume of its own (a disk
	// mounted there). The free-space query measures the folder holding the
	// last component of what it is given, so it is given a name inside it.
	std::string where = dest_dir_path;
	while (!where.empty() && where != "/" && !dir_exists(where)) {
		std::string t = where;
		if (t.back() == '/') t.pop_back();
		size_t cut = t.find_last_of('/');
		where = cut == std::string::npos ? std::string() : t.substr(0, cut + 1);
	}
	if (!where.empty() && where.back() != '/') where += '/';
	if (where.empty() || get_free_space(where + ".", &total, &free_bytes) != 0) return r;
	const float total_kb = (float)(total / 1000), free_kb = (float)(free_bytes / 1000);
	const float need = stg.total_install_kb;
	const std::string status = need > free_kb ? short_text : enough_text;
	r.ok = 1;
	r.text = UTL_string_sub(
	    UTL_translate_string("Disk size: %1:total disk space%\nFree disk space: %2:free disk space%\nDisk space needed to "
	                         "install: %3:required disk space%\n\n%4:status message%"),
	    size_string(total_kb), size_string(free_kb), size_string(need), status);
	r.enough = free_kb > need ? 1 : 0;
	return r;
}

int UTIL_disk_space(const std::string& enough_text, const std::string& short_text, int beside_steps)
{
	disk_report r = UTIL_disk_report(enough_text, short_text);
	if (!r.ok) return 1;
	// Too little space is a problem the user was told of (support reads the log).
	if (!r.enough) page_notice(r.text);
	if (beside_steps)
		OGL_string(45, 30, wizard_steps_bottom() - 24, r.text, 160, charset_regular, 0);
	else {
		// A report that wraps to many lines (a long status in German) rises
		// to keep its last line on the panel.
		const float lines = (float)OGL_wrap_lines(r.text, 540, charset_regular);
		const float lowest = 50 + kPanelMargin + std::ceil(OGL_font_get(charset_regular)->descent) + 1;
		OGL_string(45, 230, std::max(130.0f, lowest + (lines - 1) * OGL_line_step(charset_regular)), r.text, 540,
		           charset_regular, 0);
	}
	return r.enough;
}

int UTIL_cancel_install(std::string head, std::string tail, std::string caption1, std::string text1,
                        std::string caption2, std::string text2)
{
	std::string message;
	const int code = install_files_get_error(message);
	const std::string detail = message + " (" + error_str(code) + ")";
	return abort_alert(head + "\n\n" + detail + "\n\n" + tail, caption1, text1, caption2, text2,
	                   UTL_translate_string("Installation Error"));
}
