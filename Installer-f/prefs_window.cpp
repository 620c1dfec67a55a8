// The installer's preferences window. It stores nothing itself: every control
// edits stg or http directly, and the preference writer saves them at exit.
#include "Installer-f/prefs_window.h"

#include <algorithm>
#include <string>

#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/GenH/hl_string.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/butn_layout.h"
#include "DIzivoz/OOPS_cpp/butn_text.h"
#include "DIzivoz/OOPS_cpp/butn_values.h"
#include "DIzivoz/OOPS_cpp/http.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "DIzivoz/UTL/UTL_log.h"
#include "DIzivoz/UTL/UTL_translate.h"

namespace {
const int k_prefs_window = 2;
const int k_proxy_max_chars = 65;
int port_at_open = -1;  // the proxy port in use when the window opened
const prefs_layout_t k_layout = {
    200, 310,  // platform
    30,  265,  // log actions
    30,  190,  // beta
    30,  150,  // manual streams
    410, 150,  // streams: clear of the end of its check box's label
    85,  40,   // proxy host
    85,  20,   // proxy port
    455, 90,
};

std::string T(const char* s) { return UTL_translate_string(s); }
std::string platform_items() { return T("Macintosh-Windows-Linux"); }
std::string platform_label()
{
	return T("Operating System to download Ventora for:|(Install and copy the entire Ventora folder to another "
	         "computer if you like)");
}
std::string log_label()
{
	return T("|log installer actions... turn this on to output the installer file downloads and stuff to the file "
	         "log.txt.");
}
std::string beta_label()
{
	return T("|get the new beta as a demo if available.  Leave this off unless you want to participate in the "
	         "Ventora beta program!");
}
std::string streams_label()
{
	return T("|manually set the number of download streams... typically leave this OFF, and the installer will find "
	         "the best number of streams for you.");
}

// Width of a label part as the widgets draw it (one line, or two when broken).
float label_width(const std::string& part, int align)
{
	float w = 0;
	for (const BTN_label_line& l : BTN_label_lines(0, align, part)) w = std::max(w, str_dx(l.text));
	return w;
}
}  // namespace

const prefs_layout_t& prefs_layout() { return k_layout; }

prefs_layout_t prefs_window_layout()
{
	prefs_layout_t l = k_layout;
	// The panels stand at x 10; what is on them keeps clear of their border.
	const float left_edge = 10 + kPanelMargin, right_edge = 580, gap = 12;

	// The pop-up: its left label ends at x - m - 11, 6 units before the
	// list's visible left end; the list moves right when that label needs
	// the room, and left when its right label does.
	std::string left, right, help, items = platform_items();
	BTN_expand_label(platform_label(), left, right, help);
	float widest = 0;
	for (size_t a = 0, b; a <= items.size(); a = b + 1) {
		b = items.find('-', a);
		if (b == std::string::npos) b = items.size();
		widest = std::max(widest, str_dx(items.substr(a, b - a)));
	}
	const float m = (float)(int)widest / 2;
	l.platform_x = std::max(l.platform_x, left_edge + label_width(left, 0) + m + 11);
	l.platform_x = std::min(l.platform_x, right_edge - label_width(right, 2) - m - 31);

	// The streams number: after the longest line of its check box's label.
	BTN_expand_label(streams_label(), left, right, help);
	const float label_end = l.manual_streams_x + 12 + label_width(right, 2);
	l.streams_x = std::max(l.streams_x, label_end + gap + 8);

	// The proxy fields: after the longer of their labels (which end 12 units
	// before the field), ending where they did.
	const float labels = std::max(str_dx(T("-proxy host").substr(1)), str_dx(T("-proxy port").substr(1)));
	const float right_end = l.host_x + l.proxy_w;
	l.host_x = l.port_x = std::max(l.host_x, left_edge + labels + 12);
	l.proxy_w = right_end - l.host_x;
	return l;
}

void prefs_draw_frame()
{
	const prefs_layout_t L = prefs_window_layout();
	OGL_plot_back_col();
	BTN_fillwin(1, 21);

	float next_y = 0;
	BTN_subwin(0, 13, -1, -1, -1, 70, UTL_translate_string("Proxy (if you are behind a firewall with a Proxy)"),
	           nullptr, &next_y);
	BTN_subwin(0, 13, -1, next_y, -1, -1, UTL_translate_string("General Preferences"), nullptr, nullptr);

	// The list is 0-based, the setting 1-based.
	int platform = stg.platform - 1;
	BTN_textlist(L.platform_x, L.platform_y, &platform, platform_items(), platform_label());
	stg.platform = platform + 1;

	BTN_bool(L.log_x, L.log_y, &stg.log_actions, log_label(), 0);
	BTN_bool(L.beta_x, L.beta_y, &stg.get_beta, beta_label(), 0);

	int manual_streams = stg.stream_count != 0;
	BTN_bool(L.manual_streams_x, L.manual_streams_y, &manual_streams, streams_label(), 0);
	if (manual_streams) BTN_int_range(L.streams_x, L.streams_y, &stg.stream_count, 1, 1, 4, "");
	else stg.stream_count = 0;

	BTN_enterstring(L.host_x, L.host_y, &http.proxy_host, k_proxy_max_chars, UTL_translate_string("-proxy host"),
	                L.proxy_w, 1);
	BTN_enterstring(L.port_x, L.port_y, &http.proxy_port_text, k_proxy_max_chars, UTL_translate_string("-proxy port"),
	                L.port_w, 1);
	// Only a port number is taken: a cleared text, or one that is no port,
	// keeps the last port in use, and the note beside the field says so.
	const int typed = port_number(http.proxy_port_text);
	if (typed) http.proxy_port = typed;
	// Typing "70000" passes 7000 on its way: a text that ends as no port
	// leaves the port that was in use when the window opened.
	else if (!http.proxy_port_text.empty() && port_at_open >= 0) http.proxy_port = port_at_open;
	const bool in_use = port_number(std::to_string(http.proxy_port)) != 0;
	std::string note = T("From 1 to 65535.");
	int colour = 45;
	if (!typed && !http.proxy_port_text.empty()) {
		colour = 69;
		note = in_use ? UTL_string_sub(T("Use a port from 1 to 65535; port %1:port% stays in use."),
		                               std::to_string(http.proxy_port))
		              : T("Use a port from 1 to 65535; no proxy is in use.");
	} else if (!in_use && !http.proxy_host.empty()) {
		colour = 69;
		note = T("Use a port from 1 to 65535; no proxy is in use.");
	}
	const float note_x = L.port_x + L.port_w + 12;
	OGL_string(colour, note_x, L.port_y, note, 588 - note_x, charset_regular, 0);
	static std::string said;
	if (note != said) {
		said = note;
		xer << "Preferences note: " << note << "\n" << std::flush;
	}
}

int port_number(const std::string& text)
{
	if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return 0;
	const int n = std::stoi(text);
	return n >= 1 && n <= 65535 ? n : 0;
}

void prefs_sync_proxy_port()
{
	const int port = http.proxy_port;
	http.proxy_port_text = port >= 1 && port <= 65535 ? std::to_string(port) : std::string();
}

void handle_prefs()
{
	prefs_sync_proxy_port();
	port_at_open = http.proxy_port;
	MACIBM_startwind(k_prefs_window, 0);
	xer << "Preferences window opened\n" << std::flush;
	// Quit from the wizard cannot run while this window is up: the shell
	// quits only from the main screen, and the close box returns to it.
	while (mnw.wind_type == k_prefs_window && !app_done) {
		prefs_draw_frame();
		MACIBM_event_proc();
	}
	// A cleared field keeps the last port: the text says so again.
	prefs_sync_proxy_port();
	xer << "Preferences window closed: proxy " << http.proxy_host << " port " << http.proxy_port << "\n" << std::flush;
}
