// This test program names nothing of the memory unit: the program's own
// operators must still be linked in and serve every form of new and delete.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdint>
#include <new>
#include <sstream>
#include <string>

#ifdef VENTORA_MIMALLOC
#include <mimalloc.h>
#endif

namespace {
[[maybe_unused]] void* image_of(const void* p)
{
	Dl_info dl;
	return dladdr(p, &dl) ? dl.dli_fbase : nullptr;
}
}  // namespace

TEST(ThreadRouting, EveryFormOfNewGoesToTheOneAllocator)
{
#ifndef VENTORA_MIMALLOC
	GTEST_SKIP() << "this build keeps the sanitizer's allocator behind new and delete";
#else
	void* (*plain)(size_t) = &::operator new;
	void* (*aligned)(size_t, std::align_val_t) = &::operator new;
	void (*freeing)(void*) noexcept = &::operator delete;
	const void* here = image_of((const void*)&image_of);
	EXPECT_EQ(image_of((const void*)plain), here);
	EXPECT_EQ(image_of((const void*)aligned), here);
	EXPECT_EQ(image_of((const void*)freeing), here);

	struct alignas(128) wide {
		char c[3];
	};
	int* one = new int(1);
	int* many = new int[100];
	int* quiet = new (std::nothrow) int;
	void* empty = ::operator new(0);
	wide* w = new wide;
	wide* ws = new wide[3];
	wide* wq = new (std::nothrow) wide;
	const void* blocks[] = {one, many, quiet, empty, w, ws, wq};
	for (const void* p : blocks) EXPECT_TRUE(mi_is_in_heap_region(p)) << p;
	for (const wide* p : {w, ws, wq}) EXPECT_EQ((uintptr_t)p % 128, 0u);
	delete one;
	delete[] many;
	delete quiet;
	::operator delete(empty);
	delete w;
	delete[] ws;
	delete wq;

	// Blocks that the C++ library allocates inside its own shared object come
	// from the same allocator, so they can be freed by the program.
	std::ostringstream out;
	out << std::string(100000, 'x');
	std::string text = out.str();
	EXPECT_TRUE(mi_is_in_heap_region(text.data()));
#endif
}
