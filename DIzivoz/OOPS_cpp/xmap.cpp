// Whole-file read-only mapping, the maker's header check and the text-token
// readers. The mapping carries no terminating NUL: every scan stops at end.
#include "DIzivoz/OOPS_cpp/xmap.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "DIzivoz/Thread/hl_report.h"
#include "DIzivoz/GenH/hl_globals.h"

namespace {
const char* const xmap_src = "DIzivoz/OOPS_cpp/xmap";
}

xmap_class::xmap_class(const std::string& path)
{
	if (!path.empty()) retry(path);
}

xmap_class::~xmap_class() { release(); }

void xmap_class::release()
{
	if (begin) munmap(const_cast<char*>(begin), (size_t)map_size_);
	if (fd >= 0) close(fd);
	fd = -1;
	begin = cursor = end = nullptr;
	map_size_ = 0;
}

const char* xmap_class::retry(const std::string& path_in)
{
	const bool is_resource = path_in.compare(0, 9, "RESOURCE:") == 0;
	if (!is_resource) {
		if (!app_path.empty() && path_in.find(app_path) != std::string::npos) {
			__MACIBM_alert(0, "retry: We are getting a file string that is not Skyframe relative!",
			               "This is illegal! All paths must be Skyframe relative!",
			               "The path in question is:", path_in, alert_fatal, xmap_src, 133);
			release();
			return nullptr;
		}
		// Names of our own files use '/' only; a path the user chose may hold
		// any character the file system allows.
		if (path_in.empty() || path_in[0] != '/') {
			if (path_in.find_first_of("\\:") != std::string::npos) {
				__MACIBM_alert(0, "OOPS!", "I got a bad dirchar! I only want '/'!",
				               "The path in question is:", path_in, alert_fatal, xmap_src, 139);
				release();
				return nullptr;
			}
		}
	}
	release();
	std::string path = path_in;
	if (UTL_path_is_resource(path)) path = UTL_resource_get_file(path);
	else set_path_to_full(path);
	if (path.empty()) return nullptr;

	// Non-blocking, so a pipe named like a file cannot stall the reader.
	const int f = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
	if (f < 0) return nullptr;
	struct stat st;
	if (fstat(f, &st) != 0 || !S_ISREG(st.st_mode)) {
		close(f);  // a folder or a device is no file to read
		return nullptr;
	}
	fd = f;
	const off_t size = st.st_size;
	if (size == 0) return nullptr;
	void* m = mmap(nullptr, (size_t)size, PROT_READ, MAP_PRIVATE, fd, 0);
	if (m == MAP_FAILED) {
		const int err = errno;
		xer << "Mem file error.  Err=" << err << ", file=" << path << "\n";
		if (err == ENOMEM) {
			char num[64];
			std::snprintf(num, sizeof(num), "errno=%f", (double)err);
			__MACIBM_alert(0, "Xmapped out of memory", "c_path=", path, num, alert_fatal, xmap_src, 171);
		}
		begin = end = cursor = nullptr;
		return nullptr;
	}
	if (!m) {
		__MACIBM_alert(0, "Xmapped file ran out of memory", "", "", "", alert_fatal, xmap_src, 165);
		return nullptr;
	}
	begin = cursor = (const char*)m;
	end = begin + size;
	map_size_ = (long)size;
	return begin;
}

int xmap_class::check_file(int type, const int* versions, const char* keyword, std::string* rest)
{
	if (type != file_type_binary && type != file_type_text) {
		__MACIBM_alert(0, "Bad check_file type!", "", "", "", alert_fatal, xmap_src, 13);
		return 0;
	}
	if (!begin || begin == end) return 0;
	cursor = begin;
	int version = 0;
	if (type == file_type_binary) {
		const char letter = *cursor++;
		if (letter == 'a') swap = 1;
		else if (letter == 'i') swap = 0;
		else return 0;
		if (end - cursor >= 4) {
			unsigned char b[4];
			std::memcpy(b, cursor, 4);
			cursor += 4;
			const uint32_t v = swap ? ((uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 | (uint32_t)b[2] << 8 | b[3])
			                        : ((uint32_t)b[3] << 24 | (uint32_t)b[2] << 16 | (uint32_t)b[1] << 8 | b[0]);
			version = (int)v;
		}
	} else {
		const char letter = *cursor;
		if (letter != 'I' && letter != 'A') return 0;
		++cursor;
		while (cursor < end && TXT_is_blank(*cursor)) ++cursor;
		while (cursor < end && !TXT_is_eoln(*cursor)) ++cursor;
		while (cursor < end && TXT_is_white(*cursor)) ++cursor;

		while (cursor < end && TXT_is_blank(*cursor)) ++cursor;
		bool negative = false;
		if (cursor < end && *cursor == '-') { negative = true; ++cursor; }
		if (cursor < end && *cursor == '+') { negative = false; ++cursor; }
		unsigned value = 0;  // wraps on absurd lengths instead of overflowing
		while (cursor < end && !TXT_is_white(*cursor)) value = value * 10u + (unsigned)(*cursor++ - '0');
		version = (int)(negative ? 0u - value : value);
		while (cursor < end && TXT_is_blank(*cursor)) ++cursor;
		const char* rest_start = cursor;
		while (cursor < end && !TXT_is_eoln(*cursor)) ++cursor;
		if (rest) rest->assign(rest_start, cursor);
		while (cursor < end && TXT_is_white(*cursor)) ++cursor;
	}
	int match = 0;
	for (const int* v = versions; v && *v; ++v)
		if (*v == version) { match = *v; break; }
	if (!match) return 0;
	if (!keyword) return match;

	while (cursor < end && TXT_is_blank(*cursor)) ++cursor;
	const char* mark = cursor;
	const char* p = cursor;
	for (const char* k = keyword; *k; ++k, ++p) {
		if (p >= end || (unsigned char)*k >= 128 || *p != *k) {
			cursor = mark;
			return 0;
		}
	}
	if (p < end && !TXT_is_white(*p)) {
		cursor = mark;
		return 0;
	}
	cursor = p;
	while (cursor < end && TXT_is_blank(*cursor)) ++cursor;
	while (cursor < end && !TXT_is_eoln(*cursor)) ++cursor;
	while (cursor < end && TXT_is_white(*cursor)) ++cursor;
	return match;
}

void xmap_class::TXT_str_scan_space(std::string* out)
{
	while (cursor < end && TXT_is_blank(*cursor)) ++cursor;
	const char* start = cursor;
	while (cursor < end && !TXT_is_white(*cursor)) ++cursor;
	if (out) {
		if (start) out->assign(start, cursor);
		else out->clear();
	}
}

void xmap_class::TXT_str_scan_eoln(std::string* out)
{
	while (cursor < end && TXT_is_blank(*cursor)) ++cursor;
	const char* start = cursor;
	while (cursor < end && !TXT_is_eoln(*cursor)) ++cursor;
	if (out) {
		if (start) out->assign(start, cursor);
		else out->clear();
	}
	while (cursor < end && TXT_is_white(*cursor)) ++cursor;
}

void xmap_class::read_n_rev(long destination, long count)
{
	if (count < 0 || (count > 0 && (!cursor || end - cursor < count))) {
		__MACIBM_alert(0, "Invalid read_n_rev read!", "", "", "", alert_fatal, xmap_src, 54);
		return;
	}
	if (count == 0) return;
	char* dst = reinterpret_cast<char*>(destination);
	std::memcpy(dst, cursor, (size_t)count);
	cursor += count;
	if (swap)
		for (long w = 0; w + 4 <= count; w += 4) {
			std::swap(dst[w], dst[w + 3]);
			std::swap(dst[w + 1], dst[w + 2]);
		}
}

int xmap_class::io_file_open(int mode, std::string path, int* versions, int type)
{
	io_mode = mode;
	if (mode == 0) return (retry(path) && check_file(type, versions, nullptr, nullptr)) ? 1 : 0;
	if (mode == 1) return ouf_open(path, type, versions ? versions[0] : 0, "no-copyright-string");
	return 0;
}

void xmap_class::io_file_close()
{
	if (io_mode == 1) ouf.close();
}

void xmap_class::TXT_xer_line()
{
	int crs = 1, lfs = 1;
	const char* line_start = begin;
	for (const char* p = begin; p && p < cursor; ++p) {
		if (*p == '\r') { ++crs; line_start = p + 1; }
		if (*p == '\n') { ++lfs; line_start = p + 1; }
	}
	const char* line_end = cursor;
	while (line_end && line_end < end && *line_end != '\r' && *line_end != '\n') ++line_end;
	const std::string text = line_start ? std::string(line_start, line_end) : std::string();
	xer << (crs > lfs ? crs : lfs) << " \"" << text << "\"\n";
	xer.flush();
}
