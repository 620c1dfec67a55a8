#pragma once
// The installer's preferences window: platform, logging, beta, download
// streams and the proxy, edited live in the installer's settings.

// Opens the window and runs its frames until the user closes it.
void handle_prefs();

// One frame of the window's contents (no shell frame): the panels and the
// controls over stg and http. handle_prefs calls it once per frame.
void prefs_draw_frame();

// The port text becomes the port number in use (empty when there is none),
// so the field shows, and the preferences file keeps, the port the client
// uses. Called when the preferences are read and when the window opens and
// closes.
void prefs_sync_proxy_port();
