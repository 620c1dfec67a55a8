#pragma once
// The installer's preferences window: platform, logging, beta, download
// streams and the proxy, edited live in the installer's settings.
#include <string>

// Opens the window and runs its frames until the user closes it.
void handle_prefs();

// Where the controls are drawn in English: the point each widget is given,
// in GUI units of the window (origin bottom left). Window tests aim their
// clicks from it.
struct prefs_layout_t {
	float platform_x, platform_y;  // pop-up list of platforms
	float log_x, log_y;            // check boxes
	float beta_x, beta_y;
	float manual_streams_x, manual_streams_y;
	float streams_x, streams_y;    // one-digit number field
	float host_x, host_y;          // proxy text fields
	float port_x, port_y;
	float proxy_w;                 // width of the host field
	float port_w;                  // width of the port field; its note follows it
};
const prefs_layout_t& prefs_layout();
// Where they are drawn for the texts of the current language: as in
// English, but a control moves where its label needs the room, so every
// label keeps clear of its control and of the panels' edges.
prefs_layout_t prefs_window_layout();

// One frame of the window's contents (no shell frame): the panels and the
// controls over stg and http. handle_prefs calls it once per frame.
void prefs_draw_frame();

// The port text becomes the port number in use (empty when there is none),
// so the field shows, and the preferences file keeps, the port the client
// uses. Called when the preferences are read and when the window opens and
// closes.
void prefs_sync_proxy_port();

// The port a text names: 1..65535 written in digits, else 0.
int port_number(const std::string& text);
