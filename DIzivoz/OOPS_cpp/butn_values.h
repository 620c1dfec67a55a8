#pragma once
// Widgets that show and edit a value: digit-wheel number fields, sliders, the
// pop-up text list and the fixed-length character field.
#include <string>

// Number fields: 1 on a frame in which the value changed.
int BTN_flt_range(float x, float y, float* value, int digits, int decimals, float min, float max, std::string label);
int BTN_flt(float x, float y, float* value, int digits, int decimals, int allow_negative, std::string label);
int BTN_int(float x, float y, int* value, int digits, int allow_negative, std::string label);
int BTN_int_range(float x, float y, int* value, int digits, float min, float max, std::string label);
int BTN_dob_range(float x, float y, double* value, int digits, int decimals, float min, float max, std::string label);
int BTN_fltij(int i, int j, float* value, int digits, int decimals, int allow_negative, std::string label);
int BTN_flt_rangeij(int i, int j, float* value, int digits, int decimals, float min, float max, std::string label);
void BTN_display_number(float x, float y, float value, int digits, int decimals, std::string label);

// 1 while the thumb is dragged. Slots 0-3.
int BTN_vert_slider(int slot, float x, float y_bottom, float y_top, int min, int max, int* value);
// 1 on frames in which the value is dragged.
int BTN_horz_slider(float x, float y, float width, int fill_colour, float min, float max, float* value, int editable,
                    std::string label, std::string value_text);
// Items between '-'; 1 on the frame an item was picked.
int BTN_textlist(float x, float y, int* selection, std::string items, std::string label);
void BTN_chars(float x, float y, char* text, int length, std::string label);

// The 38 symbols the character field steps through: blank, digits, capitals, '-'.
extern const char BTN_chars_alphabet[39];
// Next (dir 1) or previous (dir -1) symbol; a character outside steps as a blank.
char BTN_chars_step(char c, int dir);
