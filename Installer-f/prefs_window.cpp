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
#include "DIzivoz/UTL/UTL_translate.h"

namespace {
const int k_prefs_window = 2;
const int k_proxy_max_chars = 65;
const prefs_layout_t k_layout = {
    200, 310,  // platform
    30,  265,  // log actions
    30,  190,  // beta
    30,  150,  // manual streams
    400, 150,  // streams
    85,  40,   // proxy host
    85,  20,   // proxy port
    455,
};
}  // namespace

const prefs_layout_t& prefs_layout() { return k_layout; }

void prefs_draw_frame()
{
	const prefs_layout_t& L = k_layout;
	OGL_plot_back_col();
	BTN_fillwin(1, 21);

	float next_y = 0;
	BTN_subwin(0, 13, -1, -1, -1, 70, UTL_translate_string("Proxy (if you are behind a firewall with a Proxy)"),
	           nullptr, &next_y);
	BTN_subwin(0, 13, -1, next_y, -1, -1, UTL_translate_string("General Preferences"), nullptr, nullptr);

	// The list is 0-based, the setting 1-based.
	int platform = stg.platform - 1;
	BTN_textlist(L.platform_x, L.platform_y, &platform, UTL_translate_string("Macintosh-Windows-Linux"),
	             UTL_translate_string("Operating System to download Ventora for:|(Install and copy the entire "
	                                  "Ventora folder to another computer if you like)"));
	stg.platform = platform + 1;

	BTN_bool(L.log_x, L.log_y, &stg.log_actions,
	         UTL_translate_string("|log installer actions... turn this on to output the installer file downloads "
	                              "and stuff to the file log.txt."),
	         0);
	BTN_bool(L.beta_x, L.beta_y, &stg.get_beta,
	         UTL_translate_string("|get the new beta as a demo if available.  Leave this off unless you want to "
	                              "participate in the Ventora beta program!"),
	         0);

	int manual_streams = stg.stream_count != 0;
	BTN_bool(L.manual_streams_x, L.manual_streams_y, &manual_streams,
	         UTL_translate_string("|manually set the number of download streams... typically leave this OFF, and "
	                              "the installer will find the best number of streams for you."),
	         0);
	if (manual_streams) BTN_int_range(L.streams_x, L.streams_y, &stg.stream_count, 1, 1, 4, "");
	else stg.stream_count = 0;

	BTN_enterstring(L.host_x, L.host_y, &http.proxy_host, k_proxy_max_chars, UTL_translate_string("-proxy host"),
	                L.proxy_w, 1);
	BTN_enterstring(L.port_x, L.port_y, &http.proxy_port_text, k_proxy_max_chars, UTL_translate_string("-proxy port"),
	                L.proxy_w, 1);
	// A cleared text keeps the last port; text that is no number gives -1,
	// which the client treats as no proxy.
	if (!http.proxy_port_text.empty()) http.proxy_port = str_to_int(http.proxy_port_text);
}

void handle_prefs()
{
	MACIBM_startwind(k_prefs_window, 0);
	// Quit from the wizard cannot run while this window is up: the shell
	// quits only from the main screen, and the close box returns to it.
	while (mnw.wind_type == k_prefs_window && !app_done) {
		prefs_draw_frame();
		MACIBM_event_proc();
	}
}
