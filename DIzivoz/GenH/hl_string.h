#pragma once
// Conversions between numbers and text, the guarded copy into fixed buffers,
// the menu number-list code, and UTF-8 <-> UTF-16. Free functions, no state.
#include <string>

typedef std::basic_string<unsigned short> utf16_string;

// Decimal text of value into buf (needs 12 bytes): '-' for negative values,
// '+' for the others when plus != 0, at least min_digits digits (at most 10).
void int_to_str(int value, char* buf, int min_digits, int plus);

// Value of decimal text with an optional leading sign and 1..9 digits; -1 for
// anything else (so "-1" and bad text both give -1).
int str_to_int(const std::string& text);

// Fixed-point text of value: whole part blank-padded to width - decimals
// places, decimals 0..9 after the point, "-" (or " " with pad_sign) in front.
void flt_to_str(float value, std::string* out, int width, int decimals, int pad_sign);

// Size of the buffers copy_to_chr fills: 499 characters and the zero.
enum { chr_buf_size = 500 };

// Copies text into a chr_buf_size buffer; longer text is a fatal alert and
// nothing is copied.
void copy_to_chr(const std::string& text, char* buf);

// Replaces a text of blank-separated small numbers by two bytes per number
// (n / 127 + 1, n % 127 + 1); text that is empty or starts with '-' or '='
// is left as it is.
void char_string_to_int_string(std::string* text);

void string_utf_8_to_16(const std::string& in, utf16_string& out);
void string_utf_16_to_8(const utf16_string& in, std::string& out);
