#pragma once
// The interface palette `colr`, the command registry `cmnd` and the keyboard
// focus identity shared by the widgets.
#include <string>
#include <vector>

enum { colr_count = 106, colr_spectrum_size = 1000 };

class colr_class {
public:
	colr_class();

	double image_gamma;     // assumed gamma of a PNG without a gamma record
	double display_gamma;   // screen gamma handed to the PNG reader
	int gamma_on;           // display_gamma differs from 1.8
	unsigned char gamma_table[256];
	float rgb[colr_count][3];
	float blink_level;      // caret alpha, set every frame by the frame clock
	float spectrum_lo, spectrum_hi, spectrum_range;
	float spectrum[colr_spectrum_size][3];

	// Stores entry index; an index outside 0..105 is logged and ignored.
	void assign(int index, float r, float g, float b);
	// Raises each channel of entry 105 to at least 0.75.
	void set_lites_for_interface();
	// 0 rainbow, 1 red ramp, 2 green ramp, 3 blue ramp; other types do nothing.
	void spectrum_init(int type);
	// Vertical scale 1000 units tall at (x, y): 250 points and the two end values.
	void spectrum_plotscale(float x, float y, float lo, float hi, int decimals);
};

extern colr_class colr;

// Stops of the rainbow spectrum: red, orange, yellow, green, blue, violet.
extern const float roygbv_rgb_loc[6][3];

class cmnd_class {
public:
	cmnd_class();

	// Appends a command added at run time; returns its number.
	int add_cmd(const std::string& name, const std::string& description);
	// Number of the first command named exactly name; 0 when none is.
	int get_cmnd_by_name(const std::string& name);
	// Next level below prefix of every longer command name, in registry order.
	void get_cmds_in_path(const std::string& prefix, std::vector<std::string>& out);

	void press_one(int index);
	void release_one(int index);
	void single_press(int index);
	void press_always(int index);

	int count() const { return (int)name.size(); }

	std::vector<std::string> symbol;
	std::vector<std::string> name;
	std::vector<std::string> description;
	std::vector<int> kind;         // 3 built in, 2 added at run time
	std::vector<int> press_count;  // outstanding presses
};

extern cmnd_class cmnd;

int get_plane_focus();
void set_plane_focus(int f);

// Keyboard focus: id of the focused widget, 0 none.
extern int focus_id;
void BTN_unfocus_any();

// Set for one frame when Return/Enter, Escape or Backspace/Delete was pressed
// and no focused widget took the key.
extern int return_hit;
extern int escape_hit;
extern int delete_hit;

// ---- Widgets: focus ring, labels, frames and panels, buttons -----------------
#include <functional>

// One entry of the focus ring: a focusable widget drawn this frame and the
// key queue of its kind.
struct focus_info_t {
	int id;
	int* chars;
	int* vkeys;
	int* flags;
	int* ids;
	int* count;
	int queue_size;
	int accept_mask;
};

extern std::vector<focus_info_t> focus_ring;
extern int wind_focus;

// Focus id of a widget at (x, y): (int)y + (int)x * 8192.
int BTN_focus_id_at(float x, float y);
void BTN_begin_focus_ring();
int BTN_register_focus(int id, int* chars, int* vkeys, int* flags, int* ids, int* count,
                       int queue_size, int accept_mask, int want_focus);
int BTN_dispatch_to_focus(int ch, int vkey, int flags);
void BTN_focus_any();
void BTN_window_has_focus();
int BTN_no_focus_yet();

// The key queue a focusable widget kind owns (static lifetime), and the one
// way a widget registers with it and takes its own keys.
enum { BTN_queue_size = 64 };
struct BTN_key_queue {
	int chars[BTN_queue_size];
	int vkeys[BTN_queue_size];
	int flags[BTN_queue_size];
	int ids[BTN_queue_size];
	int count;
};
int BTN_register_queue(BTN_key_queue& q, int id, int accept_mask, int want_focus);
// Hands each queued key of this id (key-ups skipped) to handle, in order, and
// removes it; other ids' keys stay, packed at the front.
void BTN_consume_queue(BTN_key_queue& q, int id, const std::function<void(int ch, int vkey, int flags)>& handle);

// Labels: "left|right{?help".
void BTN_expand_label(const std::string& label, std::string& left, std::string& right, std::string& help);
struct BTN_label_line {
	std::string text;
	float y;
};
// The lines BTN_util_draw_label draws for this text.
std::vector<BTN_label_line> BTN_label_lines(float y, int align, const std::string& text);
void BTN_util_draw_label(float x, float y, int align, const std::string& text, int lit);
// Hover help of the widget under the mouse (string-table entry 1802).
void BTN_set_help(const std::string& help);

// Frames and panels: one drawn piece, position in GUI units (without the
// sub-window origin), texture in atlas pixels.
struct BTN_piece {
	float x0, y0, x1, y1;
	float u0, v0, u1, v1;
};
// The pieces of each frame kind; an unknown style gives none.
std::vector<BTN_piece> BTN_frame1_pieces(int style, float x_centre, float y_centre, float width);
std::vector<BTN_piece> BTN_frame0_pieces(float x_centre, float y_centre, float height);
std::vector<BTN_piece> BTN_frame2_pieces(int style, float x, float y, float w, float h);

void BTN_frame1(int style, float x_centre, float y_centre, float width, int colour);
void BTN_frame0(int style, float x_centre, float y_centre, float height);
void BTN_frame2(int style, float x, float y, float w, float h, std::string title);
void BTN_fillwin(int frame_style_flag, int inner);
void BTN_subwin(float top_margin, int style, float x, float y, float w, float h, std::string title,
                float* next_x, float* next_y);

// File dialog side panels and the preview of the chosen file.
extern float io_dx, io_cx, io_dy, io_cy;
void stand_io_dialog(int window_type, int file_type, std::string path);
// What the preview reads from a file (the texts of an aircraft file, the
// comment of a flight file); ok 0 when the file cannot be read.
struct BTN_preview {
	int ok = 0;
	std::string texts[4];  // aircraft: the texts at 1552, 1052, 2052 and 1012
	std::string comment;   // flight file: the value of its "COMM" line
};
BTN_preview BTN_read_acf_preview(const std::string& path);
BTN_preview BTN_read_fdr_preview(const std::string& path);

// Buttons and choices.
int BTN_action(float x, float y, float width, int lit, int mode, std::string label, std::string side_text);
int BTN_bool(float x, float y, int* var, std::string label, int look);
int BTN_xbol(float x, float y, bool* var, std::string label);
int BTN_xchr(float x, float y, char* var, std::string label);
int BTN_xbyt(float x, float y, unsigned char* var, std::string label);
int BTN_is_int(float x, float y, int* var, int value, std::string label);
int BTN_tab(int column, int row, int* var, int value, std::string label);
void plot_dir(float x, float y, float* heading, int look);
int BTN_zap_boxes(int look);
void BTN_util_element(float x, float y, float u, float v, float half_w, float half_h, int colour);
// Heading of the dial for a mouse at (mx, my) over a dial at (x, y), 0 up,
// clockwise, in 0 .. 360.
float plot_dir_heading(float x, float y, float mx, float my);
// A value in a field-like box with the label's left and right parts beside it
// (charset 0 regular, 1 bold).
void OGL_boxed_string(float x, float y, const std::string& label, const std::string& value, int charset, int colour);
