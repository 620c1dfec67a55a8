#include "DIzivoz/UTL/UTL_debug.h"

#include <csignal>
#include <cstring>

void UTL_debug_init() { std::signal(SIGPIPE, SIG_IGN); }

int UTL_get_debug_symbol(void* addr, symbol_info* info)
{
	info->image[0] = info->symbol[0] = info->file[0] = 0;
	info->image_base = info->symbol_addr = nullptr;
	info->line = -1;
	return 0;
}

void print_symbol(FILE* f, void* addr) { std::fprintf(f, "0x%08lx (???)\n", (unsigned long)addr); }
void UTL_dump_stack(FILE*, stack_frame*, void*) {}
void dump_hex(FILE*, void*, int) {}
int UTL_valid_memory(void*, unsigned int, int, int) { return 0; }
