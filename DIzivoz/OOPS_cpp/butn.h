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
