#pragma once
// The installer's preferences window: platform, logging, beta, download
// streams and the proxy, edited live in the installer's settings.

// Opens the window and runs its frames until the user closes it.
void handle_prefs();

// Where the window's controls go (GUI units of the 600 x 380 window), for
// the texts of the current language: each label keeps clear of its
// control, and no label runs past the panels.
struct prefs_layout {
	float platform_x = 200, platform_y = 310;          // pop-up list (BTN_textlist's x, y)
	float log_x = 30, log_y = 265;                     // check boxes
	float beta_x = 30, beta_y = 190;
	float streams_x = 30, streams_y = 150;
	float streams_field_x = 400, streams_field_y = 150;  // one-digit number field
	float proxy_field_x = 85;                          // both proxy fields start here
	float proxy_host_y = 40, proxy_port_y = 20;
	float proxy_field_width = 455;
};
prefs_layout prefs_window_layout();

// One frame of the window's contents (no shell frame): the panels and the
// controls over stg and http. handle_prefs calls it once per frame.
void prefs_draw_frame();
