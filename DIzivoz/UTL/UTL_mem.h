#pragma once
// Memory routing (every global new and delete goes to one allocator), the
// memory report "MemoryLog.txt" and the chunk pool.
#include <cstddef>
#include <new>

void* operator new(std::size_t n, const char* file, int line);
void* operator new[](std::size_t n, const char* file, int line);
void* operator new(std::size_t n, const std::nothrow_t&, const char* file, int line) noexcept;
void* operator new[](std::size_t n, const std::nothrow_t&, const char* file, int line) noexcept;

void dump_mem_stats(const char* reason);
void DumpMemCmd();
unsigned long long mem_to_number(unsigned long long bytes);
char mem_to_suffix(unsigned long long bytes);
const char* sm_string(unsigned char mode);

// Nonzero when the global operators are the program's own (links the unit in).
int UTL_mem_routing_linked();

class UTL_lazy_mempool {
public:
	UTL_lazy_mempool();
	~UTL_lazy_mempool();
	void dump();

	static float global_total;  // bytes held in chunks by all pools

	int total;
	int wasted;
	void* chunks;   // chunks of 32768 bytes, linked through their first word
	void* spare;
	int ready;
};
