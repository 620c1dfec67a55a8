#include "DIzivoz/UTL/UTL_mem.h"

#include <cstdlib>

void* operator new(std::size_t n, const char*, int)
{
	void* p = std::malloc(n ? n : 1);
	if (!p) throw std::bad_alloc();
	return p;
}
void* operator new[](std::size_t n, const char* f, int l) { return operator new(n, f, l); }
void* operator new(std::size_t n, const std::nothrow_t&, const char*, int) noexcept
{
	return std::malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t& t, const char* f, int l) noexcept
{
	return operator new(n, t, f, l);
}

void dump_mem_stats(const char*) {}
void DumpMemCmd() { dump_mem_stats("Remote Commanded Dump"); }
unsigned long long mem_to_number(unsigned long long b) { return b; }
char mem_to_suffix(unsigned long long) { return 'B'; }
const char* sm_string(unsigned char) { return "Unknown"; }
int UTL_mem_routing_linked() { return 0; }

float UTL_lazy_mempool::global_total = 0.0f;
UTL_lazy_mempool::UTL_lazy_mempool() : total(0), wasted(0), chunks(nullptr), spare(nullptr), ready(0) {}
UTL_lazy_mempool::~UTL_lazy_mempool() {}
void UTL_lazy_mempool::dump() {}
