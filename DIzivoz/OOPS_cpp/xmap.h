#pragma once
// Read-only mapping of a whole file with a read cursor, the check of the
// maker's file header and the text-token readers built on it.
#include <string>

#include "DIzivoz/Files/io_utils.h"

// Character classes shared by every text reader.
inline bool TXT_is_blank(char c) { return c == '\t' || c == ' '; }
inline bool TXT_is_eoln(char c) { return c == 0 || c == '\r' || c == '\n'; }
inline bool TXT_is_white(char c) { return TXT_is_blank(c) || TXT_is_eoln(c); }

class xmap_class {
public:
	explicit xmap_class(const std::string& path = std::string());
	~xmap_class();
	xmap_class(const xmap_class&) = delete;
	xmap_class& operator=(const xmap_class&) = delete;

	const char* retry(const std::string& path);
	int check_file(int type, const int* versions, const char* keyword, std::string* rest);
	void TXT_str_scan_space(std::string* out);
	void TXT_str_scan_eoln(std::string* out);
	void read_n_rev(long destination, long count);
	int io_file_open(int mode, std::string path, int* versions, int type);
	void io_file_close();
	void TXT_xer_line();

	int swap = 0;                  // 1: binary words are big-endian
	int io_mode = 0;               // 0 read, 1 write
	const char* begin = nullptr;   // null when nothing is mapped
	const char* cursor = nullptr;
	const char* end = nullptr;     // one past the last byte
	int fd = -1;                   // -1: no descriptor

private:
	void release();
	long map_size_ = 0;
};

// ouf_open (the header writer) is declared in io_utils.h.
