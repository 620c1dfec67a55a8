#pragma once
// The shell's calls into the drawing, texture, widget and keyboard layers, in
// one place. Each forwards to the layer; on a scripted window system (no
// OpenGL behind the context) the drawing is skipped and the two widgets the
// shell's loops need keep their hit test, so the loops run in unit tests.
// The movie recorder has not landed: its call is a marked stand-in.
#include <string>

struct EventRecord;

// Drawing (text and 2-D, viewport, buffer swap).
void shell_pix_specs();                       // OGL_pix_specs(0)
void shell_viewport_2d();                     // OGL_viewport mode 2, scale 1
void shell_sbuff();                           // OGL_sbuff()
void shell_flush();                           // starts rendering what was drawn
void shell_plot_back_col();                   // OGL_plot_back_col()
void shell_nrml_colors();                     // OGL_nrml_colors()
void shell_string(int colour, float x, float y, const std::string& text, float wrap, int font, int align);
void shell_fillrect(int colour, float alpha, float x, float y, float w, float h);
float shell_str_dx(const std::string& text);  // str_dx
// Wrapped text at (x, y) in the regular font; the y a following line starts
// at (10 units a line; a scripted window system guesses 7 units a character).
float shell_string_y(int colour, float x, float y, const std::string& text, float wrap);
void shell_line(int colour, float alpha, float x1, float y1, float x2, float y2);
void shell_cursor_quad(float x, float y, float u0, float v0, float u1, float v1);  // OGL_2dquad on 392
void shell_setstate_second_window();          // OGL_setstate(1, 0, 3, 4, 9, 11)
int shell_init_entry_points();                // glExt.init_entry_points()
void shell_init_extensions();                 // glExt.init_extensions()
void shell_default_gl_state(int aa_level);    // the context's default drawing state
void shell_alert_reset_gl();                  // leftover drawing state before the drawn alert

// Widgets and artwork.
void shell_frame1(int style, float cx, float y, float w);
void shell_frame2(int style, float x, float y, float w, float h, const std::string& title);
void shell_util_element(float x, float y, float cx, float cy, float w, float h);
void shell_fillwin(int style, int inner);
void shell_subwin_alert();                    // BTN_subwin(0, 13, -1, 35, -1, -1, "", &wx, &wy)
int shell_action(float x, float y, float w, const std::string& label);  // BTN_action
int shell_is_int(float x, float y, int* var, int value, const std::string& label);
void shell_begin_focus_ring();
void shell_zap_boxes();

// Textures.
int shell_load_interface_textures();          // the three start-up loads; 0 when none ran
void shell_reset_bind();
// Texture-load failure flags: 0 scenery, 1 aircraft, 2 installation.
int shell_tex_fail(int which);
void shell_tex_mute(int which);
void shell_tex_fail_set_for_test(int which, int on);  // stand-in flags only

// Keyboard.
void shell_handle_key_raw(EventRecord* e);
void shell_run_repeat_keys();
void shell_keys_save();                       // keys.keys_io(1)

// Movie recorder: nonzero when it swapped the buffers itself this frame.
int shell_mov_per_frame();
// Shutdown: finishes a movie and ends the compressor thread.
void shell_mov_stop_thread();
