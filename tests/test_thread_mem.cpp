#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "DIzivoz/UTL/UTL_mem.h"
#include "DIzivoz/UTL/UTL_stats.h"
#include "tests/support/thread_capture.h"
#include "tools/sanitizer_options.h"

// Huge requests must give null or bad_alloc, not end the process.
// This replaces the built-in options, so it repeats the TLS one.
extern "C" const char* __asan_default_options()
{
	return "allocator_may_return_null=1:" VENTORA_ASAN_TLS_OPTION;
}

namespace {
[[maybe_unused]] void* image_base_of(const void* p)
{
	Dl_info dl;
	return dladdr(p, &dl) ? dl.dli_fbase : nullptr;
}
int new_handler_calls = 0;
}  // namespace

TEST(ThreadMem, ScalingRule)
{
	const unsigned long long GiB = 1ull << 30;
	struct {
		unsigned long long bytes, number;
		char suffix;
	} cases[] = {
	    {0, 0, 'B'},
	    {4096, 4, 'K'},
	    {1433, 1433, 'B'},
	    {1434, 1, 'K'},
	    {1468006, 1433, 'K'},
	    {1468007, 1, 'M'},
	    {14 * GiB, 14336, 'M'},
	    {14 * GiB + 1, 14, 'G'},
	    {1ull << 50, 1ull << 20, 'G'},  // 64-bit figures are not truncated
	};
	for (auto& c : cases) {
		EXPECT_EQ(mem_to_number(c.bytes), c.number) << c.bytes;
		EXPECT_EQ(mem_to_suffix(c.bytes), c.suffix) << c.bytes;
	}
}

TEST(ThreadMem, SharingModeNames)
{
	const char* names[] = {"Unknown", "Copy-on-write", "Private", "Empty", "Shared",
	                       "True-Shared", "Private-Aliased", "Shared-Aliased", "Unknown"};
	for (int m = 0; m < 9; ++m) EXPECT_STREQ(sm_string((unsigned char)m), names[m]) << m;
	EXPECT_STREQ(sm_string(255), "Unknown");
}

TEST(ThreadMem, AllocationForms)
{
	// Zero bytes still give distinct blocks.
	char* a = new char[0];
	char* b = new char[0];
	void* c = ::operator new(0);  // NOLINT
	ASSERT_NE(a, nullptr);
	ASSERT_NE(b, nullptr);
	EXPECT_NE(a, b);
	EXPECT_NE(c, nullptr);
	delete[] a;
	delete[] b;
	::operator delete(c);

	volatile size_t huge = (size_t)1 << 62;
	EXPECT_EQ(new (std::nothrow) char[huge], nullptr);
	EXPECT_EQ(::operator new(huge, std::nothrow), nullptr);
	EXPECT_EQ(::operator new(huge, std::nothrow, "file", 1), nullptr);
#ifndef VENTORA_SANITIZED  // the sanitizer's own new reports and ends the process
	EXPECT_THROW((void)::operator new(huge), std::bad_alloc);
#endif
	EXPECT_THROW(::operator new[](huge, "file", 2), std::bad_alloc);

	// Tagged and aligned forms.
	int* t = new ("src/file", 12) int(7);
	EXPECT_EQ(*t, 7);
	delete t;
	struct alignas(256) wide {
		char c[3];
	};
	wide* w = new wide[3];
	EXPECT_EQ((uintptr_t)w % 256, 0u);
	delete[] w;
	for (int i = 0; i < 8; ++i) {
		wide* wn = new (std::nothrow) wide;
		EXPECT_EQ((uintptr_t)wn % 256, 0u);
		delete wn;
	}

	// Deleting null does nothing, in every form.
	delete (int*)nullptr;
	delete[] (int*)nullptr;
	::operator delete(nullptr, std::nothrow);
	::operator delete[](nullptr, std::nothrow);
	::operator delete(nullptr, (size_t)8);
	::operator delete(nullptr, std::align_val_t(64));
}

TEST(ThreadMem, NewHandlerIsAskedUntilItGivesUp)
{
#ifdef VENTORA_SANITIZED
	GTEST_SKIP() << "the sanitizer's allocator runs its own loop";
#endif
	volatile size_t huge = (size_t)1 << 62;
	std::set_new_handler([] {
		if (++new_handler_calls == 2) std::set_new_handler(nullptr);
	});
#ifndef VENTORA_SANITIZED  // the sanitizer's own new reports and ends the process
	EXPECT_THROW((void)::operator new(huge), std::bad_alloc);
#endif
	EXPECT_EQ(new_handler_calls, 2);

	new_handler_calls = 0;
	std::set_new_handler([] {
		if (++new_handler_calls == 3) throw std::bad_alloc();
	});
	EXPECT_EQ(::operator new(huge, std::nothrow, "f", 1), nullptr);
	EXPECT_EQ(new_handler_calls, 3);
	std::set_new_handler(nullptr);
}

TEST(ThreadMem, GlobalOperatorsAreTheProgramsOwn)
{
#ifdef VENTORA_SANITIZED
	GTEST_SKIP() << "the sanitizer's allocator serves new and delete";
#else
	EXPECT_EQ(UTL_mem_routing_linked(), 1);
	void* (*plain_new)(size_t) = &::operator new;
	void (*plain_delete)(void*) noexcept = &::operator delete;
	void* here = image_base_of((const void*)&image_base_of);
	EXPECT_EQ(image_base_of((const void*)plain_new), here);
	EXPECT_EQ(image_base_of((const void*)plain_delete), here);
#endif
}

TEST(ThreadMem, ReportFileReplacedThenAppended)
{
	char old_dir[4096];
	ASSERT_NE(getcwd(old_dir, sizeof(old_dir)), nullptr);
	std::string dir = ::testing::TempDir() + "ventora_memlog_XXXXXX";
	ASSERT_NE(mkdtemp(&dir[0]), nullptr);
	ASSERT_EQ(chdir(dir.c_str()), 0);
	{
		FILE* f = std::fopen("MemoryLog.txt", "w");
		std::fputs("stale report of an earlier run\n", f);
		std::fclose(f);
	}
	log_capture log(dir + "/log.txt");
	dump_mem_stats("first reason");
	dump_mem_stats("second reason");
	const std::string text = slurp_file("MemoryLog.txt");
	ASSERT_EQ(chdir(old_dir), 0);

	EXPECT_EQ(text.find("stale"), std::string::npos);
	EXPECT_EQ(text.rfind("dump_mem_stats: first reason\nOS X Info:\n    Page size:         ", 0), 0u)
	    << text.substr(0, 200);
	size_t second = text.find("dump_mem_stats: second reason\n");
	ASSERT_NE(second, std::string::npos);
	const std::string one = text.substr(0, second);
	for (const char* s :
	     {"    Vsize (reported): ", "    Used  Swap Pages: ",
	      "    I will now print the entire map of virtual memory.\n"
	      "        Address           Size    r-private r-shared sharing-mode (ref count)\n"
	      "        0x00000000      ",  // gap line for the unmapped start
	      "    Total vsize:     ", "    Largest gap:     ", "NED-MALLOC INFO:\n",
	      "    This version of Ventora is using the NED allocator.\n", "    Free Chunks:       ",
	      "    Releasable Space:  "})
		EXPECT_NE(one.find(s), std::string::npos) << s;
	// A region of this test program, named by its image file.
	char exe[4096];
	ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
	ASSERT_GT(n, 0);
	exe[n] = 0;
	std::string image = std::string(exe).substr(std::string(exe).rfind('/') + 1);
	EXPECT_NE(one.find("       " + image + "\n"), std::string::npos);
	EXPECT_NE(one.find("Copy-on-write"), std::string::npos);

	const std::string logged = log.text();
	EXPECT_NE(logged.find("OK check MemoryLog.txt! I just sent him a dump from first reason\n"),
	          std::string::npos);
	EXPECT_NE(logged.find("OK check MemoryLog.txt! I just sent him a dump from second reason\n"),
	          std::string::npos);
}

TEST(ThreadMem, ReportGoesToTheStateFolderWhenTheProgramFolderTakesNoFile)
{
	char old_dir[4096];
	ASSERT_NE(getcwd(old_dir, sizeof(old_dir)), nullptr);
	std::string dir = ::testing::TempDir() + "ventora_memlog_XXXXXX";
	ASSERT_NE(mkdtemp(&dir[0]), nullptr);
	ASSERT_EQ(chdir(dir.c_str()), 0);
	ASSERT_EQ(mkdir("MemoryLog.txt", 0700), 0);  // a folder in the way
	const char* old_state = std::getenv("XDG_STATE_HOME");
	const std::string saved_state = old_state ? old_state : "";
	setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);
	::testing::internal::CaptureStdout();
	DumpMemCmd();
	const std::string out = ::testing::internal::GetCapturedStdout();
	const std::string text = slurp_file(dir + "/state/ventora/MemoryLog.txt");
	// Neither folder takes it: nothing is written anywhere, still nothing on standard output.
	ASSERT_EQ(unlink((dir + "/state/ventora/MemoryLog.txt").c_str()), 0);
	ASSERT_EQ(mkdir((dir + "/state/ventora/MemoryLog.txt").c_str(), 0700), 0);
	::testing::internal::CaptureStdout();
	DumpMemCmd();
	const std::string out2 = ::testing::internal::GetCapturedStdout();
	if (old_state) setenv("XDG_STATE_HOME", saved_state.c_str(), 1);
	else unsetenv("XDG_STATE_HOME");
	ASSERT_EQ(chdir(old_dir), 0);
	EXPECT_EQ(out, "");
	EXPECT_EQ(out2, "");
	EXPECT_EQ(text.rfind("dump_mem_stats: Remote Commanded Dump\nOS X Info:\n", 0), 0u) << text.substr(0, 200);
	EXPECT_NE(text.find("    Releasable Space:  "), std::string::npos);
}

TEST(ThreadMem, LazyPoolDumpAndChunkRelease)
{
	log_capture log(::testing::TempDir() + "thread_mem_pool_log.txt");
	const float before = UTL_lazy_mempool::global_total;
	{
		UTL_lazy_mempool pool;
		pool.dump();
		// Two chunks from the general allocator, linked through their first
		// word, as the allocating side keeps them.
		for (int i = 0; i < 2; ++i) {
			void* chunk = ::operator new(32768);
			*(void**)chunk = pool.chunks;
			pool.chunks = chunk;
			UTL_lazy_mempool::global_total += 32768.0f;
		}
		pool.total = 1000;
		pool.wasted = 24;
		pool.ready = 300;
		pool.dump();
	}
	EXPECT_EQ(UTL_lazy_mempool::global_total, before);
	EXPECT_EQ(log.text(),
	          "Total memory allocated: 0\nTotal wasted memory: 0\nTotal ready memory: 0\n"
	          "Total memory allocated: 1000\nTotal wasted memory: 24\nTotal ready memory: 300\n");
}

TEST(ThreadMem, RemoteCommandAndStatisticAreRegistered)
{
	bool found_cmd = false;
	for (UTL_remote_cmd* c = UTL_remote_cmd::cmd_list; c; c = c->next)
		if (std::string(c->name) == "Dump Memory Info") found_cmd = true;
	EXPECT_TRUE(found_cmd);
	bool found_stat = false;
	for (UTL_stat* s = UTL_stat_waiting(); s; s = s->next)
		if (std::string(s->name) == "memory/lazy_pools") {
			found_stat = true;
			EXPECT_EQ(s->target, &UTL_lazy_mempool::global_total);
			EXPECT_EQ(s->type, stat_memory);
		}
	EXPECT_TRUE(found_stat);
}
