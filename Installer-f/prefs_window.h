#pragma once
// The installer's preferences window: platform, logging, beta, download
// streams and the proxy, edited live in the installer's settings.

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
	float proxy_w;                 // width of both proxy fields
};
const prefs_layout_t& prefs_layout();
// Where they are drawn for the texts of the current language: as in
// English, but a control moves where its label needs the room, so every
// label keeps clear of its control and of the panels' edges.
prefs_layout_t prefs_window_layout();

// One frame of the window's contents (no shell frame): the panels and the
// controls over stg and http. handle_prefs calls it once per frame.
void prefs_draw_frame();
