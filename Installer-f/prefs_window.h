#pragma once
// The installer's preferences window: platform, logging, beta, download
// streams and the proxy, edited live in the installer's settings.

// Opens the window and runs its frames until the user closes it.
void handle_prefs();

// One frame of the window's contents (no shell frame): the panels and the
// controls over stg and http. handle_prefs calls it once per frame.
void prefs_draw_frame();
