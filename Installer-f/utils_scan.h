#pragma once
// A cursor over the body of a file with the maker's text header (the
// manifest, the server list): blanks, words, lines and numbers as both read
// them.
#include <cstring>
#include <string>

#include "DIzivoz/OOPS_cpp/xmap.h"

struct text_scanner {
	const char* p;
	const char* e;

	bool at_end() const { return p >= e; }
	void skip_blanks()
	{
		while (p < e && TXT_is_blank(*p)) ++p;
	}
	void skip_white()
	{
		while (p < e && TXT_is_white(*p)) ++p;
	}
	void skip_line()
	{
		while (p < e && !TXT_is_eoln(*p)) ++p;
		skip_white();
	}
	// Blanks, then the run up to the next white character.
	std::string token()
	{
		skip_blanks();
		const char* s = p;
		while (p < e && !TXT_is_white(*p)) ++p;
		return std::string(s, p);
	}
	// Blanks, then the rest of the line kept whole; then every white character.
	std::string rest_of_line()
	{
		skip_blanks();
		const char* s = p;
		while (p < e && !TXT_is_eoln(*p)) ++p;
		std::string out(s, p);
		skip_white();
		return out;
	}
	// Blanks, then the rest of the line up to its end ("\r", "\n" or "\r\n"),
	// which is taken too: an empty line is still a line of a record.
	std::string line()
	{
		skip_blanks();
		const char* s = p;
		while (p < e && *p != '\r' && *p != '\n') ++p;
		std::string out(s, p);
		if (p < e && *p == '\r') ++p;
		if (p < e && *p == '\n') ++p;
		return out;
	}
	// The word at the cursor, ending at white or the end of the body: taken.
	bool keyword(const char* word)
	{
		const size_t n = std::strlen(word);
		if ((size_t)(e - p) < n || std::strncmp(p, word, n) != 0) return false;
		if (p + n < e && !TXT_is_white(p[n])) return false;
		p += n;
		return true;
	}
	// The header's number form: optional '-', optional '+', then every
	// character up to a blank or line end counts as a digit. Wraps instead of
	// overflowing on absurd input.
	int number()
	{
		skip_blanks();
		bool neg = false;
		if (p < e && *p == '-') {
			neg = true;
			++p;
		}
		if (p < e && *p == '+') ++p;
		unsigned int v = 0;
		while (p < e && !TXT_is_white(*p)) {
			v = v * 10u + (unsigned int)((int)(unsigned char)*p - '0');
			++p;
		}
		if (neg) v = 0u - v;
		return (int)v;
	}
};
