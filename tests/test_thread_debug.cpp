#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "DIzivoz/UTL/UTL_debug.h"

namespace {
std::string read_all(FILE* f)
{
	std::string s;
	std::rewind(f);
	char buf[4096];
	size_t n;
	while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) s.append(buf, n);
	std::fclose(f);
	return s;
}

std::vector<std::string> lines_of(const std::string& s)
{
	std::vector<std::string> out;
	std::istringstream in(s);
	std::string l;
	while (std::getline(in, l)) out.push_back(l);
	return out;
}

std::string dumped;
}  // namespace

// Each on one line, so the return address into it maps to that line.
extern "C" __attribute__((noinline)) void chain_level3() { FILE* f = std::tmpfile(); UTL_dump_stack(f, nullptr, nullptr); dumped = read_all(f); asm volatile(""); }
static const int line_level3 = __LINE__ - 1;
extern "C" __attribute__((noinline)) void chain_level2() { chain_level3(); asm volatile(""); }
static const int line_level2 = __LINE__ - 1;
extern "C" __attribute__((noinline)) void chain_level1() { chain_level2(); asm volatile(""); }
static const int line_level1 = __LINE__ - 1;

TEST(ThreadDebug, DumpOfKnownCallChainNamesFunctionsAndLines)
{
	chain_level1();
	auto lines = lines_of(dumped);
	ASSERT_GE(lines.size(), 3u) << dumped;
	ASSERT_LE(lines.size(), 100u);
	struct {
		const char* fn;
		int line;
	} want[] = {{"chain_level3", line_level3}, {"chain_level2", line_level2}, {"chain_level1", line_level1}};
	for (int i = 0; i < 3; ++i) {
		std::regex re(std::string("^  ") + std::to_string(i) + "\\) " + want[i].fn +
		              " \\+ [0-9]+ \\(test_thread_debug\\.cpp:" + std::to_string(want[i].line) +
		              "\\) \\(test_thread_debug \\+ [0-9]+\\)$");
		EXPECT_TRUE(std::regex_match(lines[i], re)) << lines[i];
	}
}

TEST(ThreadDebug, SymbolOfFunctionStartAndOfUnknownAddress)
{
	FILE* f = std::tmpfile();
	print_symbol(f, (void*)&chain_level2);
	EXPECT_TRUE(std::regex_match(
	    read_all(f), std::regex("chain_level2 \\+ 0 \\(test_thread_debug\\.cpp:" +
	                            std::to_string(line_level2) + "\\) \\(test_thread_debug \\+ [0-9]+\\)\n")));

	symbol_info info;
	EXPECT_EQ(UTL_get_debug_symbol((void*)&chain_level1, &info), 1);
	EXPECT_STREQ(info.symbol, "chain_level1");
	EXPECT_EQ(info.symbol_addr, (void*)&chain_level1);
	EXPECT_EQ(info.line, line_level1);
	EXPECT_NE(std::strstr(info.file, "test_thread_debug.cpp"), nullptr);

	void* page = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
	ASSERT_NE(page, MAP_FAILED);
	EXPECT_EQ(UTL_get_debug_symbol(page, &info), 0);
	EXPECT_EQ(info.line, -1);
	EXPECT_STREQ(info.symbol, "");
	f = std::tmpfile();
	print_symbol(f, page);
	char want[64];
	std::snprintf(want, sizeof(want), "0x%08lx (?\?\?)\n", (unsigned long)page);
	EXPECT_EQ(read_all(f), want);
	munmap(page, 4096);
}

// Frame chains built by hand: the dump must stop quietly wherever the chain breaks.
TEST(ThreadDebug, BrokenFrameChainsEndTheDumpQuietly)
{
	const long pg = sysconf(_SC_PAGESIZE);
	enum { to_read_only, to_unmapped, not_climbing, misaligned, endless, with_pc };
	struct {
		int kind;
		size_t lines;
	} cases[] = {{to_read_only, 2}, {to_unmapped, 2}, {not_climbing, 1},
	             {misaligned, 2},   {endless, 100},    {with_pc, 2}};
	for (auto& c : cases) {
		char* mem = (char*)mmap(nullptr, 2 * pg, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
		ASSERT_NE(mem, MAP_FAILED);
		stack_frame* rec = (stack_frame*)mem;
		const int n = (int)(pg / sizeof(stack_frame));
		for (int i = 0; i < n - 1; ++i) rec[i] = stack_frame{&rec[i + 1], (void*)&chain_level1};
		rec[n - 1] = stack_frame{nullptr, (void*)&chain_level1};
		char* upper = mem + pg;
		switch (c.kind) {
		case to_read_only:
			rec[1].prev = (stack_frame*)upper;
			mprotect(upper, pg, PROT_READ);
			break;
		case to_unmapped:
			rec[1].prev = (stack_frame*)upper;
			munmap(upper, pg);
			break;
		case not_climbing: rec[1].prev = &rec[0]; break;
		case misaligned: rec[1].prev = (stack_frame*)((char*)&rec[3] + 1); break;
		case endless: break;
		case with_pc: rec[1].prev = nullptr; break;
		}
		FILE* f = std::tmpfile();
		UTL_dump_stack(f, rec, c.kind == with_pc ? (void*)&chain_level2 : nullptr);
		auto lines = lines_of(read_all(f));
		EXPECT_EQ(lines.size(), c.lines) << "case " << c.kind;
		for (size_t i = 0; i < lines.size(); ++i) {
			char num[16];
			std::snprintf(num, sizeof(num), " % 2d) ", (int)i);
			EXPECT_EQ(lines[i].rfind(num, 0), 0u) << lines[i];
			const char* fn = c.kind == with_pc && i == 0 ? "chain_level2 + 0" : "chain_level1 + 0";
			EXPECT_NE(lines[i].find(fn), std::string::npos) << lines[i];
		}
		munmap(mem, 2 * pg);
	}
}

TEST(ThreadDebug, HexDumpLayout)
{
	unsigned char data[20];
	for (int i = 0; i < 20; ++i) data[i] = (unsigned char)('A' + i);
	data[17] = 0x01;
	FILE* f = std::tmpfile();
	dump_hex(f, data, 20);
	EXPECT_EQ(read_all(f),
	          " 41424344 45464748 494A4B4C 4D4E4F50     ABCD EFGH IJKL MNOP\n"
	          " 51015354                                Q.ST               \n");
	f = std::tmpfile();
	dump_hex(f, data, 0);
	EXPECT_EQ(read_all(f), "");
}

TEST(ThreadDebug, ValidMemoryFollowsTheMap)
{
	const long pg = sysconf(_SC_PAGESIZE);
	char* m = (char*)mmap(nullptr, 3 * pg, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
	ASSERT_NE(m, MAP_FAILED);
	mprotect(m + pg, pg, PROT_READ);  // two adjacent regions with different access
	munmap(m + 2 * pg, pg);
	struct {
		char* p;
		unsigned int len;
		int r, w, ok;
	} cases[] = {
	    {m, (unsigned)(2 * pg), 1, 0, 1},      // spans two readable regions
	    {m, (unsigned)(2 * pg), 1, 1, 0},      // second is not writable
	    {m, (unsigned)pg, 1, 1, 1},
	    {m + pg - 4, 8, 1, 0, 1},
	    {m, (unsigned)(3 * pg), 1, 0, 0},      // runs into the hole
	    {m + 2 * pg, 1, 0, 0, 0},              // inside the hole
	    {m + 2 * pg, 0, 1, 1, 1},              // empty range
	    {(char*)~(uintptr_t)0, 16, 1, 1, 1},   // wraps: empty
	};
	for (auto& c : cases)
		EXPECT_EQ(UTL_valid_memory(c.p, c.len, c.r, c.w), c.ok) << (void*)c.p << " " << c.len;
	munmap(m, 2 * pg);
}

TEST(ThreadDebug, BrokenPipeIsIgnoredAfterInit)
{
	UTL_debug_init();
	int fds[2];
	ASSERT_EQ(pipe(fds), 0);
	close(fds[0]);
	EXPECT_EQ(write(fds[1], "x", 1), -1);  // an error, not the end of the process
	EXPECT_EQ(errno, EPIPE);
	close(fds[1]);
}
