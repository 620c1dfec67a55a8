#include "DIzivoz/UTL/UTL_debug.h"

#include <dlfcn.h>
#include <elfutils/libdwfl.h>
#include <unistd.h>

#include <cctype>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

namespace {
struct map_region {
	uintptr_t start, end;
	bool read, write;
};

// The process's memory map, lowest address first.
std::vector<map_region> read_map()
{
	std::vector<map_region> out;
	FILE* f = std::fopen("/proc/self/maps", "r");
	if (!f) return out;
	char line[4096];
	while (std::fgets(line, sizeof(line), f)) {
		unsigned long long s = 0, e = 0;
		char perms[8] = {0};
		if (std::sscanf(line, "%llx-%llx %7s", &s, &e, perms) != 3) continue;
		out.push_back(map_region{(uintptr_t)s, (uintptr_t)e, perms[0] == 'r', perms[1] == 'w'});
		// Lines longer than the buffer: skip their rest.
		while (!std::strchr(line, '\n') && std::fgets(line, sizeof(line), f)) {
		}
	}
	std::fclose(f);
	return out;
}

// Every byte of [p, p+len) in mapped regions with the asked access.
bool range_ok(const std::vector<map_region>& map, uintptr_t p, uintptr_t len, int need_read,
              int need_write)
{
	if (len == 0 || p + len <= p) return true;
	uintptr_t at = p, stop = p + len;
	while (at < stop) {
		const map_region* r = nullptr;
		for (const map_region& m : map)
			if (m.end > at) {
				r = &m;
				break;
			}
		if (!r || r->start > at) return false;
		if ((need_read && !r->read) || (need_write && !r->write)) return false;
		at = r->end;
	}
	return true;
}

std::mutex dwfl_lock;
Dwfl* dwfl_session = nullptr;
char* debuginfo_path = nullptr;

// The loaded modules of this process; rebuilt when an address is not found
// (a library may have been loaded since).
Dwfl* process_dwfl(bool refresh)
{
	if (dwfl_session && !refresh) return dwfl_session;
	if (dwfl_session) dwfl_end(dwfl_session);
	static Dwfl_Callbacks callbacks;
	callbacks.find_elf = dwfl_linux_proc_find_elf;
	callbacks.find_debuginfo = dwfl_standard_find_debuginfo;
	callbacks.section_address = nullptr;
	callbacks.debuginfo_path = &debuginfo_path;
	dwfl_session = dwfl_begin(&callbacks);
	if (!dwfl_session) return nullptr;
	if (dwfl_linux_proc_report(dwfl_session, getpid()) != 0 ||
	    dwfl_report_end(dwfl_session, nullptr, nullptr) != 0) {
		dwfl_end(dwfl_session);
		dwfl_session = nullptr;
	}
	return dwfl_session;
}

const char* base_name(const char* path)
{
	const char* b = path;
	for (const char* c = path; *c; ++c)
		if (*c == '/' || *c == '\\') b = c + 1;
	return b;
}

void copy_text(char* dst, const char* src)
{
	std::snprintf(dst, 1024, "%s", src ? src : "");
}
}  // namespace

void UTL_debug_init() { std::signal(SIGPIPE, SIG_IGN); }

int UTL_get_debug_symbol(void* addr, symbol_info* info)
{
	info->image[0] = info->symbol[0] = info->file[0] = 0;
	info->image_base = info->symbol_addr = nullptr;
	info->line = -1;

	Dl_info dl;
	if (!dladdr(addr, &dl)) return 0;
	copy_text(info->image, dl.dli_fname);
	info->image_base = dl.dli_fbase;
	copy_text(info->symbol, dl.dli_sname);
	info->symbol_addr = dl.dli_sname ? dl.dli_saddr : nullptr;

	// The full symbol table and the line table: function, file and line.
	std::lock_guard<std::mutex> g(dwfl_lock);
	Dwarf_Addr a = (Dwarf_Addr)(uintptr_t)addr;
	Dwfl* dw = process_dwfl(false);
	Dwfl_Module* mod = dw ? dwfl_addrmodule(dw, a) : nullptr;
	if (!mod && (dw = process_dwfl(true))) mod = dwfl_addrmodule(dw, a);
	if (!mod) return 1;

	GElf_Off offset = 0;
	GElf_Sym sym;
	const char* name = dwfl_module_addrinfo(mod, a, &offset, &sym, nullptr, nullptr, nullptr);
	if (name && *name) {
		copy_text(info->symbol, name);
		info->symbol_addr = (void*)(uintptr_t)(a - offset);
	}
	if (Dwfl_Line* ln = dwfl_module_getsrc(mod, a)) {
		int lineno = -1;
		const char* src = dwfl_lineinfo(ln, nullptr, &lineno, nullptr, nullptr, nullptr);
		if (src && *src) {
			copy_text(info->file, src);
			info->line = lineno;
		}
	}
	return 1;
}

void print_symbol(FILE* f, void* addr)
{
	symbol_info info;
	UTL_get_debug_symbol(addr, &info);
	const long off_sym = (long)((char*)addr - (char*)info.symbol_addr);
	if (info.symbol[0] && info.symbol_addr)
		std::fprintf(f, "%s + %ld", info.symbol, off_sym);
	else if (info.symbol[0])
		std::fprintf(f, "0x%08lx", (unsigned long)(uintptr_t)addr);
	else if (info.symbol_addr)
		std::fprintf(f, "0x%08lx + %ld", (unsigned long)(uintptr_t)info.symbol_addr, off_sym);
	else
		std::fprintf(f, "0x%08lx", (unsigned long)(uintptr_t)addr);

	if (info.file[0]) std::fprintf(f, " (%s:%d)", base_name(info.file), info.line);

	const long off_img = (long)((char*)addr - (char*)info.image_base);
	if (info.image[0] && info.image_base)
		std::fprintf(f, " (%s + %ld)\n", base_name(info.image), off_img);
	else if (!info.image[0] && info.image_base)
		std::fprintf(f, " (0x%08lx + %ld)\n", (unsigned long)(uintptr_t)info.image_base, off_img);
	else
		std::fprintf(f, " (?\?\?)\n");
}

// Reads other functions' frame records, which the address checker would see
// as foreign stack memory.
__attribute__((noinline, no_sanitize_address)) void UTL_dump_stack(FILE* f, stack_frame* start,
                                                                      void* pc)
{
	int i = 0;
	if (pc) {
		std::fprintf(f, " % 2d) ", 0);
		print_symbol(f, pc);
		i = 1;
	}
	stack_frame* cur = start ? start : (stack_frame*)__builtin_frame_address(0);
	const std::vector<map_region> map = read_map();
	while (cur) {
		uintptr_t at = (uintptr_t)cur;
		if (at % alignof(stack_frame) != 0) break;
		if (!range_ok(map, at, sizeof(stack_frame), 1, 1)) break;
		if (i > 99) break;
		if ((uintptr_t)cur->prev <= at) break;
		std::fprintf(f, " % 2d) ", i);
		print_symbol(f, cur->return_addr);
		cur = cur->prev;
		++i;
	}
}

void dump_hex(FILE* f, void* data, int n)
{
	const unsigned char* p = (const unsigned char*)data;
	while (n > 0) {
		std::fputc(' ', f);
		for (int i = 0; i < 16; ++i) {
			if (i == 4 || i == 8 || i == 12) std::fputc(' ', f);
			if (i < n) std::fprintf(f, "%02X", p[i]);
			else std::fputs("  ", f);
		}
		std::fputs("     ", f);
		for (int i = 0; i < 16; ++i) {
			if (i == 4 || i == 8 || i == 12) std::fputc(' ', f);
			if (i < n) std::fputc(std::isprint(p[i]) ? p[i] : '.', f);
			else std::fputc(' ', f);
		}
		std::fputc('\n', f);
		n -= 16;
		p += 16;
	}
}

int UTL_valid_memory(void* p, unsigned int len, int need_read, int need_write)
{
	return range_ok(read_map(), (uintptr_t)p, len, need_read, need_write) ? 1 : 0;
}
