#include "DIzivoz/GenH/hl_string.h"

#include <cmath>
#include <cstring>
#include <climits>

#include "DIzivoz/Thread/hl_report.h"

void int_to_str(int value, char* buf, int min_digits, int plus)
{
	char* p = buf;
	// Unsigned magnitude, so the most negative int prints as well.
	unsigned int mag = (unsigned int)value;
	if (value < 0) {
		*p++ = '-';
		mag = 0u - mag;
	} else if (plus) {
		*p++ = '+';
	}
	unsigned int place = 1000000000u;
	for (int exponent = 9; exponent >= 1; --exponent, place /= 10)
		if (mag >= place || min_digits > exponent) *p++ = (char)('0' + (mag / place) % 10);
	*p++ = (char)('0' + mag % 10);
	*p = 0;
}

int str_to_int(const std::string& text)
{
	if (text.empty()) return -1;
	for (char c : text)
		if (c != '+' && c != '-' && (c < '0' || c > '9')) return -1;
	size_t start = 0;
	int sign = 1;
	if (text[0] == '+' || text[0] == '-') {
		sign = text[0] == '-' ? -1 : 1;
		start = 1;
	}
	const size_t len = text.size() - start;
	if (len < 1 || len > 9) return -1;
	int value = 0;
	for (size_t i = start; i < text.size(); ++i) {
		// A sign is only allowed in front.
		if (text[i] < '0' || text[i] > '9') return -1;
		value = value * 10 + (text[i] - '0');
	}
	return sign * value;
}

void flt_to_str(float value, std::string* out, int width, int decimals, int pad_sign)
{
	if (decimals < 0) decimals = 0;
	if (decimals > 9) decimals = 9;
	long long scale = 1;
	for (int i = 0; i < decimals; ++i) scale *= 10;
	double scaled = (double)value * (double)scale;
	if (std::isnan(scaled)) scaled = 0;
	// Keep the whole part within what int_to_str can write.
	const double limit = (double)INT_MAX * (double)scale;
	if (scaled > limit) scaled = limit;
	if (scaled < -limit) scaled = -limit;
	const long long n = std::llround(scaled);  // halves away from zero
	const long long whole = n / scale;
	const long long fraction = n % scale;

	char left[16], right[16];
	int_to_str((int)(whole < 0 ? -whole : whole), left, width - decimals, 0);
	int_to_str((int)(fraction < 0 ? -fraction : fraction), right, decimals, 0);
	const size_t left_len = std::strlen(left);
	for (size_t i = 0; i + 1 < left_len && left[i] == '0'; ++i) left[i] = ' ';

	std::string s;
	if (value < 0)
		s = "-";
	else if (pad_sign)
		s = " ";
	s += left;
	if (decimals > 0) {
		s += ".";
		s += right;
	}
	*out = s;
}

void copy_to_chr(const std::string& text, char* buf)
{
	if (text.size() > chr_buf_size - 1) {
		__MACIBM_alert(0, "String too long!", text, "", "", alert_fatal, "DIzivoz/GenH/hl_string", 137);
		return;
	}
	std::memcpy(buf, text.c_str(), text.size() + 1);
}

void char_string_to_int_string(std::string* text)
{
	if (text->empty() || (*text)[0] == '-' || (*text)[0] == '=') return;
	std::string result;
	const std::string& s = *text;
	size_t i = 0;
	while (i < s.size()) {
		if (s[i] == ' ' || s[i] == '\t') {
			++i;
			continue;
		}
		int number = 0;
		for (int k = 0; k < 3 && i < s.size() && s[i] != ' ' && s[i] != '\t'; ++k, ++i) {
			const char c = s[i];
			int digit = 0;
			if (c >= '0' && c <= '9')
				digit = c - '0';
			else if (c == '+')
				digit = 1;
			else if (c == '-')
				digit = -1;
			number = number * 10 + digit;
		}
		if (number >= 0) {
			result += (char)(number / 127 + 1);
			result += (char)(number % 127 + 1);
		}
	}
	*text = result;
}

void string_utf_8_to_16(const std::string& in, utf16_string& out)
{
	out.clear();
	const size_t n = in.size();
	size_t i = 0;
	while (i < n) {
		const unsigned char lead = (unsigned char)in[i++];
		unsigned int cp = 0;
		int follow = 0;
		if (lead < 0x80) {
			cp = lead;
		} else if ((lead & 0xE0) == 0xC0) {
			cp = lead & 0x1F;
			follow = 1;
		} else if ((lead & 0xF0) == 0xE0) {
			cp = lead & 0x0F;
			follow = 2;
		} else if ((lead & 0xF8) == 0xF0) {
			cp = lead & 0x07;
			follow = 3;
		}
		if (follow > 0 && n - i < (size_t)follow) {
			// Cut short by the end of the text: never read past it; the
			// broken character becomes 0 like any other bad sequence.
			cp = 0;
			i = n;
		} else {
			for (int k = 0; k < follow; ++k) cp = (cp << 6) | ((unsigned char)in[i++] & 0x3F);
		}
		while (i < n && ((unsigned char)in[i] & 0xC0) == 0x80) ++i;
		if (cp < 0x10000) {
			out.push_back((unsigned short)cp);
		} else {
			const unsigned int v = cp - 0x10000;
			out.push_back((unsigned short)(0xD800 + ((v >> 10) & 0x3FF)));
			out.push_back((unsigned short)(0xDC00 + (cp & 0x3FF)));
		}
	}
}

void string_utf_16_to_8(const utf16_string& in, std::string& out)
{
	out.clear();
	const size_t n = in.size();
	for (size_t i = 0; i < n; ++i) {
		const unsigned int u = in[i];
		if (u < 0x80) {
			out += (char)u;
		} else if (u < 0x800) {
			out += (char)(0xC0 | (u >> 6));
			out += (char)(0x80 | (u & 0x3F));
		} else if (u >= 0xD800 && u <= 0xDBFF) {
			const unsigned int low = (i + 1 < n) ? in[++i] : 0;
			const unsigned int cp = 0x10000 + ((u & 0x3FF) << 10) + (low & 0x3FF);
			out += (char)(0xF0 | (cp >> 18));
			out += (char)(0x80 | ((cp >> 12) & 0x3F));
			out += (char)(0x80 | ((cp >> 6) & 0x3F));
			out += (char)(0x80 | (cp & 0x3F));
		} else {
			out += (char)(0xE0 | (u >> 12));
			out += (char)(0x80 | ((u >> 6) & 0x3F));
			out += (char)(0x80 | (u & 0x3F));
		}
	}
}
