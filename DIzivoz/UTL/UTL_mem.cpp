#include "DIzivoz/UTL/UTL_mem.h"

#include <malloc.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/UTL/UTL_log.h"
#include "DIzivoz/UTL/UTL_stats.h"

#ifdef VENTORA_MIMALLOC
#include <mimalloc.h>
#endif

// ---------------------------------------------------------------------------
// Allocation

namespace {
inline void* mem_alloc(std::size_t n, bool array)
{
#if defined(VENTORA_SANITIZED)
	// The sanitizer's own operators, so that its delete matches.
	return array ? ::operator new[](n, std::nothrow) : ::operator new(n, std::nothrow);
#elif defined(VENTORA_MIMALLOC)
	return mi_malloc(n);
#else
	return std::malloc(n);
#endif
}

inline void* mem_alloc_aligned(std::size_t n, std::size_t align, bool array)
{
#if defined(VENTORA_SANITIZED)
	return array ? ::operator new[](n, std::align_val_t(align), std::nothrow)
	             : ::operator new(n, std::align_val_t(align), std::nothrow);
#elif defined(VENTORA_MIMALLOC)
	// Some releases of the allocator return a power-of-two sized block without
	// the asked alignment (256 bytes aligned to 256); one byte more takes the
	// path that honours it. A block is never handed out misaligned.
	for (std::size_t extra = 0; extra < 2; ++extra) {
		void* p = mi_malloc_aligned(n + extra, align);
		if (!p || (uintptr_t)p % align == 0) return p;
		mi_free(p);
	}
	return nullptr;
#else
	void* p = nullptr;
	if (align < sizeof(void*)) align = sizeof(void*);
	return posix_memalign(&p, align, n) == 0 ? p : nullptr;
#endif
}

inline void mem_free(void* p, bool array = false)
{
#if defined(VENTORA_SANITIZED)
	if (array) ::operator delete[](p);
	else ::operator delete(p);
#elif defined(VENTORA_MIMALLOC)
	mi_free(p);
#else
	std::free(p);
#endif
}

// The throwing loop: ask the new-handler for room until it gives up.
void* alloc_or_throw(std::size_t n, std::size_t align, bool array = false)
{
	if (n == 0) n = 1;
	for (;;) {
		void* p = align ? mem_alloc_aligned(n, align, array) : mem_alloc(n, array);
		if (p) return p;
		std::new_handler h = std::get_new_handler();
		if (!h) throw std::bad_alloc();
		h();
	}
}

void* alloc_or_null(std::size_t n, std::size_t align, bool array = false) noexcept
{
	try {
		return alloc_or_throw(n, align, array);
	} catch (const std::bad_alloc&) {
		return nullptr;
	}
}
}  // namespace

void* operator new(std::size_t n, const char*, int) { return alloc_or_throw(n, 0); }
void* operator new[](std::size_t n, const char*, int) { return alloc_or_throw(n, 0, true); }
void* operator new(std::size_t n, const std::nothrow_t&, const char*, int) noexcept
{
	return alloc_or_null(n, 0);
}
void* operator new[](std::size_t n, const std::nothrow_t&, const char*, int) noexcept
{
	return alloc_or_null(n, 0, true);
}
// Called when a constructor throws after a tagged new.
void operator delete(void* p, const char*, int) noexcept { ::operator delete(p); }
void operator delete[](void* p, const char*, int) noexcept { ::operator delete[](p); }
void operator delete(void* p, const std::nothrow_t&, const char*, int) noexcept { ::operator delete(p); }
void operator delete[](void* p, const std::nothrow_t&, const char*, int) noexcept { ::operator delete[](p); }

// The sanitizer builds keep their own allocator behind every new and delete.
#ifndef VENTORA_SANITIZED
void* operator new(std::size_t n) { return alloc_or_throw(n, 0); }
void* operator new[](std::size_t n) { return alloc_or_throw(n, 0); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return alloc_or_null(n, 0); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return alloc_or_null(n, 0); }
void* operator new(std::size_t n, std::align_val_t a) { return alloc_or_throw(n, (std::size_t)a); }
void* operator new[](std::size_t n, std::align_val_t a) { return alloc_or_throw(n, (std::size_t)a); }
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept
{
	return alloc_or_null(n, (std::size_t)a);
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept
{
	return alloc_or_null(n, (std::size_t)a);
}

void operator delete(void* p) noexcept { if (p) mem_free(p); }
void operator delete[](void* p) noexcept { if (p) mem_free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { if (p) mem_free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { if (p) mem_free(p); }
void operator delete(void* p, std::size_t) noexcept { if (p) mem_free(p); }
void operator delete[](void* p, std::size_t) noexcept { if (p) mem_free(p); }
void operator delete(void* p, std::align_val_t) noexcept { if (p) mem_free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { if (p) mem_free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { if (p) mem_free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { if (p) mem_free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { if (p) mem_free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { if (p) mem_free(p); }

int UTL_mem_routing_linked() { return 1; }
#else
int UTL_mem_routing_linked() { return 0; }
#endif

// ---------------------------------------------------------------------------
// Memory report

namespace {
const double k_limit = 1.4 * 1024.0;
const double m_limit = 1.4 * 1024.0 * 1024.0;
const double g_limit = 14.0 * 1024.0 * 1024.0 * 1024.0;

typedef unsigned long long u64;

// "Key:   1234 kB" lines of a /proc file, as bytes.
u64 proc_field(const std::string& text, const char* key)
{
	std::string k = std::string("\n") + key + ":";
	std::string hay = "\n" + text;
	size_t at = hay.find(k);
	if (at == std::string::npos) return 0;
	u64 v = std::strtoull(hay.c_str() + at + k.size(), nullptr, 10);
	return v * 1024ull;
}

std::string read_whole(const char* path)
{
	std::ifstream in(path);
	std::stringstream ss;
	ss << in.rdbuf();
	return ss.str();
}

struct region {
	u64 start = 0, end = 0;
	u64 priv = 0, shared = 0;  // resident bytes
	int mode = 0;
	std::string image;
};

// Linux has no sharing modes: the nearest name for each kind of mapping.
int sharing_mode(const char* perms, const std::string& path)
{
	if (std::strncmp(perms, "---", 3) == 0) return 3;  // reserved, no access
	if (perms[3] == 's') return 4;
	return path.empty() || path[0] != '/' ? 2 : 1;
}

void add_region(std::vector<region>& out, const std::string& line)
{
	region r;
	char perms[8] = {0};
	unsigned long long s = 0, e = 0;
	int pos = 0;
	if (std::sscanf(line.c_str(), "%llx-%llx %7s %*s %*s %*s%n", &s, &e, perms, &pos) < 3) return;
	std::string path = pos > 0 && (size_t)pos < line.size() ? line.substr(pos) : "";
	size_t first = path.find_first_not_of(' ');
	path = first == std::string::npos ? "" : path.substr(first);
	r.start = s;
	r.end = e;
	r.mode = sharing_mode(perms, path);
	if (!path.empty() && path[0] == '/') r.image = path.substr(path.rfind('/') + 1);
	out.push_back(r);
}

std::vector<region> read_regions()
{
	std::vector<region> out;
	std::ifstream in("/proc/self/smaps");
	bool have_smaps = in.good();
	if (!have_smaps) in.open("/proc/self/maps");
	std::string line;
	while (std::getline(in, line)) {
		if (line.empty()) continue;
		size_t sp = line.find(' ');
		std::string key = line.substr(0, sp);
		if (!key.empty() && key.back() == ':') {
			if (out.empty()) continue;
			u64 v = std::strtoull(line.c_str() + key.size(), nullptr, 10) * 1024ull;
			if (key == "Private_Clean:" || key == "Private_Dirty:") out.back().priv += v;
			else if (key == "Shared_Clean:" || key == "Shared_Dirty:") out.back().shared += v;
			continue;
		}
		add_region(out, line);
	}
	return out;
}

void put(FILE* f, const char* fmt, u64 v)
{
	std::fprintf(f, fmt, mem_to_number(v), mem_to_suffix(v));
}
}  // namespace

unsigned long long mem_to_number(unsigned long long v)
{
	double d = (double)v;
	if (d > g_limit) return v >> 30;
	if (d > m_limit) return v >> 20;
	if (d > k_limit) return v >> 10;
	return v;
}

char mem_to_suffix(unsigned long long v)
{
	double d = (double)v;
	if (d > g_limit) return 'G';
	if (d > m_limit) return 'M';
	if (d > k_limit) return 'K';
	return 'B';
}

const char* sm_string(unsigned char mode)
{
	switch (mode) {
	case 1: return "Copy-on-write";
	case 2: return "Private";
	case 3: return "Empty";
	case 4: return "Shared";
	case 5: return "True-Shared";
	case 6: return "Private-Aliased";
	case 7: return "Shared-Aliased";
	default: return "Unknown";
	}
}

void dump_mem_stats(const char* reason)
{
	static int first_dump = 1;
	if (!reason) reason = "";
	xer << "OK check MemoryLog.txt! I just sent him a dump from " << reason << "\n";

	// Beside the run's log; a folder that takes no file sends it to the
	// user's state folder, never to standard output.
	const std::string folder = UTL_log_folder().empty() ? app_path : UTL_log_folder();
	FILE* f = UTL_open_log_file(folder, "MemoryLog.txt", first_dump ? "w" : "a");
	first_dump = 0;
	if (!f) {
		xer << "MemoryLog.txt could not be written in '" << folder << "' nor in '" << UTL_state_log_folder() << "'.\n";
		return;
	}
	FILE* out = f;

	const std::string status = read_whole("/proc/self/status");
	const std::string meminfo = read_whole("/proc/meminfo");
	u64 page = (u64)sysconf(_SC_PAGESIZE);
	u64 swap_total = proc_field(meminfo, "SwapTotal");
	u64 swap_free = proc_field(meminfo, "SwapFree");

	std::fprintf(out, "dump_mem_stats: %s\n", reason);
	std::fprintf(out, "OS X Info:\n");
	put(out, "    Page size:        %5llu%c      This is the size of one virtual memory page.\n", page);
	put(out, "    Vsize (reported): %5llu%c      This is the total virtual address space used by Ventora (including empty regions).\n",
	    proc_field(status, "VmSize"));
	put(out, "    Rsize:            %5llu%c      This is the total amount of real RAM used by Ventora (virtual pages resident in RAM).\n",
	    proc_field(status, "VmRSS"));
	put(out, "    Free pages:       %5llu%c      This is the total free RAM on the machine.\n",
	    proc_field(meminfo, "MemFree"));
	put(out, "    Active Pages:     %5llu%c      This is the total actively used RAM among all apps - it probably can't be paged out without causing huge performance problems.\n",
	    proc_field(meminfo, "Active"));
	put(out, "    Inactive Pages:   %5llu%c      This is the total inactive RAM from all apps - pages that is elligible to be paged out since it hasn't been used recently.\n",
	    proc_field(meminfo, "Inactive"));
	put(out, "    Wired Pages:      %5llu%c      This is the total wired RAM - pages that are 'wired down' and cannot ever be paged out.\n",
	    proc_field(meminfo, "Unevictable"));
	put(out, "    Total Swap Pages: %5llu%c\n", swap_total);
	put(out, "    Avail Swap Pages: %5llu%c\n", swap_free);
	put(out, "    Used  Swap Pages: %5llu%c\n", swap_total > swap_free ? swap_total - swap_free : 0);

	std::fprintf(out, "    I will now print the entire map of virtual memory.\n");
	std::fprintf(out, "        Address           Size    r-private r-shared sharing-mode (ref count)\n");

	u64 end = 0, total_v = 0, total_r = 0, total_s = 0, total_p = 0;
	u64 largest_free = 0, total_free = 0, largest_gap = 0, total_gap = 0;
	for (const region& r : read_regions()) {
		if (r.start > end) {
			u64 gap = r.start - end;
			std::fprintf(out, "        0x%08llX      %5llu%c               --------\n", end,
			             mem_to_number(gap), mem_to_suffix(gap));
			if (gap > largest_gap) largest_gap = gap;
			total_gap += gap;
		}
		u64 size = r.end - r.start;
		std::fprintf(out, "        0x%08llX      %5llu%c       %5llu%c %5llu%c   %20s (% 3d)       %s\n",
		             r.start, mem_to_number(size), mem_to_suffix(size), mem_to_number(r.priv),
		             mem_to_suffix(r.priv), mem_to_number(r.shared), mem_to_suffix(r.shared),
		             sm_string((unsigned char)r.mode), 1, r.image.c_str());
		if (r.mode == 3) {
			if (size > largest_free) largest_free = size;
			total_free += size;
		} else {
			total_v += size;
		}
		total_p += r.priv;
		total_s += r.shared;
		total_r += r.priv + r.shared;
		end = r.end;
	}

	put(out, "    Total vsize:     %5llu%c      This is the total non-empty virtual address space used by Ventora.\n", total_v);
	put(out, "    Total rsize:     %5llu%c      This is the total amount of real memory used by Ventora (shared and exclusive).\n", total_r);
	put(out, "    Shared rsize:    %5llu%c      This is the total amonut of real memory used by Ventora that is shared with other processes.\n", total_s);
	put(out, "    Private rsize:   %5llu%c      This is the total amount of real memory used by Ventora exclusively (private).\n", total_p);
	put(out, "    Largest free:    %5llu%c      This is the largest empty region in Ventora's address space.\n", largest_free);
	put(out, "    Total free:      %5llu%c      This is the size of all empty regions in Ventora's address space.\n", total_free);
	put(out, "    Largest gap:     %5llu%c      This is the size of the largest unused gap in Ventora's address space.\n", largest_gap);
	put(out, "    Total gap:       %5llu%c      This is the size of all of the gaps in Ventora's address space - that is, total unused address space.\n", total_gap);

	// Allocator figures; those without a counterpart show 0.
	u64 arena = 0, ordblks = 0, hblkhd = 0, usmblks = 0, uordblks = 0, fordblks = 0, keepcost = 0;
#ifdef VENTORA_MIMALLOC
	size_t elapsed = 0, user = 0, sys = 0, rss = 0, peak_rss = 0, commit = 0, peak_commit = 0, faults = 0;
	mi_process_info(&elapsed, &user, &sys, &rss, &peak_rss, &commit, &peak_commit, &faults);
	hblkhd = commit;
	usmblks = peak_commit;
	uordblks = commit;
#else
	struct mallinfo2 mi = mallinfo2();
	arena = mi.arena;
	ordblks = mi.ordblks;
	hblkhd = mi.hblkhd;
	usmblks = mi.usmblks;
	uordblks = mi.uordblks;
	fordblks = mi.fordblks;
	keepcost = mi.keepcost;
#endif
	std::fprintf(out, "NED-MALLOC INFO:\n");
	std::fprintf(out, "    This version of Ventora is using the NED allocator.\n");
	put(out, "    Arena:             %5llu%c     This is the space NED is using that was not created using mmap.\n", arena);
	std::fprintf(out, "    Free Chunks:       %5llu       \n", ordblks);
	put(out, "    Mapped Space:      %5llu%c     This is the space NED has allocated for use via mmap.\n", hblkhd);
	put(out, "    Max Alloc Space:   %5llu%c     This is the most space NED ever had reserved from any source.\n", usmblks);
	put(out, "    Total Alloc Space: %5llu%c     This is the current space NED has reserved now from any source.\n", uordblks);
	put(out, "    Total Free Space:  %5llu%c     This is how much free space NED has in its reserves.\n", fordblks);
	put(out, "    Total Used Space:  %5llu%c     This is how much space Ventora has allocated fmor NED.\n",
	    uordblks > fordblks ? uordblks - fordblks : 0);
	put(out, "    Releasable Space:  %5llu%c     This is how much space NED could give back to the OS if desired.\n", keepcost);

	std::fclose(f);
}

void DumpMemCmd() { dump_mem_stats("Remote Commanded Dump"); }

namespace {
void dump_mem_cmd(void*, int) { DumpMemCmd(); }
}
UTL_remote_cmd dump_mem_now("Dump Memory Info", dump_mem_cmd);

// ---------------------------------------------------------------------------
// Chunk pool

float UTL_lazy_mempool::global_total = 0.0f;
UTL_stat g_memory_used(&UTL_lazy_mempool::global_total, "memory/lazy_pools", stat_memory);

UTL_lazy_mempool::UTL_lazy_mempool() : total(0), wasted(0), chunks(nullptr), spare(nullptr), ready(0) {}

UTL_lazy_mempool::~UTL_lazy_mempool()
{
	while (chunks) {
		void* next = *(void**)chunks;
		// Chunks come from the general allocator and go back to it.
		mem_free(chunks);
		global_total -= 32768.0f;
		chunks = next;
	}
}

void UTL_lazy_mempool::dump()
{
	xer << "Total memory allocated: " << total << "\n";
	xer << "Total wasted memory: " << wasted << "\n";
	xer << "Total ready memory: " << ready << "\n";
}
