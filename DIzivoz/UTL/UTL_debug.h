#pragma once
// Stack dumps and debug symbols.
#include <cstdio>

struct symbol_info {
	char image[1024];
	void* image_base;
	char symbol[1024];
	void* symbol_addr;
	char file[1024];
	int line;
};

struct stack_frame {
	stack_frame* prev;
	void* return_addr;
};

void UTL_debug_init();
int UTL_get_debug_symbol(void* addr, symbol_info* info);
void print_symbol(FILE* f, void* addr);
// start null: from this routine's own frame; pc null: no separate first address.
void UTL_dump_stack(FILE* f, stack_frame* start, void* pc);
void dump_hex(FILE* f, void* data, int n);
int UTL_valid_memory(void* p, unsigned int len, int need_read, int need_write);
