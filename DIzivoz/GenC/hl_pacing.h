#pragma once
// Frame pacing: how long the frame loop waits before each frame, whether a
// frame has anything new to draw, and the page's work around the drawing.
// The loop (MACIBM_event_proc) calls these in this order each frame.

// The wait before the next frame: at once after busy work, a tick after
// input or animation, ever longer while the window idles.
void pacing_wait_for_frame();
// An event the pump took this frame.
void pacing_count_event();
// Nothing new since the last drawn frame: it is skipped (pacing_skip_frame).
bool pacing_frame_unchanged();
void pacing_skip_frame();
// The page's work after the drawing; true when work ran (its swap is then
// timed with pacing_swap_took).
bool pacing_work_after_drawing();
void pacing_swap_took(unsigned long long us);
// The frame is out of date once drawn (MACIBM_frame_superseded): no swap.
bool pacing_frame_superseded();
// Counts the drawn frame as quiet or not.
void pacing_end_frame();
// Forgets everything (a new window, a test).
void pacing_reset();
