// The installer's preferences window. It stores nothing itself: every control
// edits stg or http directly, and the preference writer saves them at exit.
#include "Installer-f/prefs_window.h"

#include <string>

#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/GenH/hl_string.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/butn_text.h"
#include "DIzivoz/OOPS_cpp/butn_values.h"
#include "DIzivoz/OOPS_cpp/http.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "DIzivoz/UTL/UTL_log.h"
#include "DIzivoz/UTL/UTL_translate.h"

namespace {
const int k_prefs_window = 2;
const int k_proxy_max_chars = 65;
const float k_proxy_field_width = 455;
}  // namespace

void prefs_draw_frame()
{
	OGL_plot_back_col();
	BTN_fillwin(1, 21);

	float next_y = 0;
	BTN_subwin(0, 13, -1, -1, -1, 70, UTL_translate_string("Proxy (if you are behind a firewall with a Proxy)"),
	           nullptr, &next_y);
	BTN_subwin(0, 13, -1, next_y, -1, -1, UTL_translate_string("General Preferences"), nullptr, nullptr);

	// The list is 0-based, the setting 1-based.
	int platform = stg.platform - 1;
	BTN_textlist(200, 310, &platform, UTL_translate_string("Macintosh-Windows-Linux"),
	             UTL_translate_string("Operating System to download Ventora for:|(Install and copy the entire "
	                                  "Ventora folder to another computer if you like)"));
	stg.platform = platform + 1;

	BTN_bool(30, 265, &stg.log_actions,
	         UTL_translate_string("|log installer actions... turn this on to output the installer file downloads "
	                              "and stuff to the file log.txt."),
	         0);
	BTN_bool(30, 190, &stg.get_beta,
	         UTL_translate_string("|get the new beta as a demo if available.  Leave this off unless you want to "
	                              "participate in the Ventora beta program!"),
	         0);

	int manual_streams = stg.stream_count != 0;
	BTN_bool(30, 150, &manual_streams,
	         UTL_translate_string("|manually set the number of download streams... typically leave this OFF, and "
	                              "the installer will find the best number of streams for you."),
	         0);
	if (manual_streams) BTN_int_range(400, 150, &stg.stream_count, 1, 1, 4, "");
	else stg.stream_count = 0;

	BTN_enterstring(85, 40, &http.proxy_host, k_proxy_max_chars, UTL_translate_string("-proxy host"),
	                k_proxy_field_width, 1);
	BTN_enterstring(85, 20, &http.proxy_port_text, k_proxy_max_chars, UTL_translate_string("-proxy port"),
	                k_proxy_field_width, 1);
	// A cleared text keeps the last port; text that is no number gives -1,
	// which the client treats as no proxy.
	if (!http.proxy_port_text.empty()) http.proxy_port = str_to_int(http.proxy_port_text);
}

void prefs_sync_proxy_port()
{
	const int port = http.proxy_port;
	http.proxy_port_text = port >= 1 && port <= 65535 ? std::to_string(port) : std::string();
}

void handle_prefs()
{
	prefs_sync_proxy_port();
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
