#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OOPS_cpp/xmap.h"
#include "tests/support/files_tmp.h"

namespace {

struct alert_capture {
	alert_capture()
	{
		MACIBM_set_alert_sink([this](const alert_record& r) { seen.push_back(r); });
	}
	~alert_capture() { MACIBM_set_alert_sink(nullptr); }
	std::vector<alert_record> seen;
};

std::string rest_of(const xmap_class& m) { return std::string(m.cursor, m.end); }

}  // namespace

TEST(FilesXmap, TextHeaders)
{
	const int v9002[] = {9002, 0};
	const int v900[] = {840, 900, 0};
	const int none[] = {0};
	const struct {
		const char* what;
		std::string bytes;
		const int* versions;
		const char* keyword;
		int result;
		std::string after;  // what follows the cursor
		std::string rest;
	} cases[] = {
	    {"LF prefs", "I\n9002 version\nkey value\n", v9002, nullptr, 9002, "key value\n", "version"},
	    {"CR", "I\r9002 version\rkey value\r", v9002, nullptr, 9002, "key value\r", "version"},
	    {"CR LF with keyword", "A\r\n\r\n900 version (c) x\r\nINSTALLER\r\nDIR a\r\n", v900, "INSTALLER",
	     900, "DIR a\r\n", "version (c) x"},
	    {"keyword must end at white", "A\r\n\r\n900 version\r\nINSTALLER\r\nDIR a\r\n", v900, "INSTALL", 0,
	     "INSTALLER\r\nDIR a\r\n", "version"},
	    {"keyword at end of file", "I\n900\n  SERVERS", v900, "SERVERS", 900, "", ""},
	    {"junk after the letter", "I junk\n\t 840 version\nX", v900, nullptr, 840, "X", "version"},
	    {"version not listed", "I\n901 version\nX", v900, nullptr, 0, "X", "version"},
	    {"empty list", "I\n900 version\nX", none, nullptr, 0, "X", "version"},
	    {"version zero", "I\n0 version\nX", none, nullptr, 0, "X", "version"},
	    {"negative", "I\n-+900 version\nX", v900, nullptr, 900, "X", "version"},
	    {"wrong letter", "i\n900 version\nX", v900, nullptr, 0, "i\n900 version\nX", ""},
	    {"ends inside the number", "I\n90", v900, nullptr, 0, "", ""},
	    {"only the letter", "I", v900, "INSTALLER", 0, "", ""},
	};
	files_tmp t;
	for (const auto& c : cases) {
		t.write("h.txt", c.bytes);
		xmap_class m(t("h.txt"));
		ASSERT_NE(m.begin, nullptr) << c.what;
		std::string rest = "unset";
		EXPECT_EQ(m.check_file(file_type_text, c.versions, c.keyword, &rest), c.result) << c.what;
		EXPECT_EQ(rest_of(m), c.after) << c.what;
		if (c.bytes[0] == 'I' || c.bytes[0] == 'A') {
			EXPECT_EQ(rest, c.rest) << c.what;
		}
	}
}

TEST(FilesXmap, MissingEmptyAndOtherThanFilesMapNothing)
{
	files_tmp t;
	t.write("empty", "");
	t.mkdir("dir");
	ASSERT_EQ(mkfifo(t("pipe").c_str(), 0600), 0);  // must not wait for a writer
	const int v[] = {900, 0};
	alert_capture alerts;
	for (const char* rel : {"missing", "empty", "dir", "pipe"}) {
		xmap_class m(t(rel));
		EXPECT_EQ(m.begin, nullptr) << rel;
		EXPECT_EQ(m.check_file(file_type_text, v, nullptr, nullptr), 0) << rel;
		EXPECT_EQ(m.io_file_open(0, t(rel), const_cast<int*>(v), file_type_text), 0) << rel;
		std::string tok = "x";
		m.TXT_str_scan_space(&tok);
		EXPECT_EQ(tok, "");
		m.TXT_str_scan_eoln(&tok);
		EXPECT_EQ(tok, "");
	}
	EXPECT_TRUE(alerts.seen.empty());
}

TEST(FilesXmap, BinaryHeadersOfBothByteOrders)
{
	files_tmp t;
	const int v[] = {900, 0};
	// "a": big-endian words, swapped on reading.
	t.write("big.bin", std::string("a\x00\x00\x03\x84" "\x01\x02\x03\x04\x05\x06", 11));
	xmap_class m(t("big.bin"));
	EXPECT_EQ(m.check_file(file_type_binary, v, nullptr, nullptr), 900);
	EXPECT_EQ(m.swap, 1);
	unsigned char block[6] = {0};
	m.read_n_rev((long)block, 6);
	EXPECT_EQ(std::memcmp(block, "\x04\x03\x02\x01\x05\x06", 6), 0);  // one whole word only
	EXPECT_EQ(m.cursor, m.end);

	t.write("little.bin", std::string("i\x84\x03\x00\x00\x01\x02\x03\x04", 9));
	m.retry(t("little.bin"));
	EXPECT_EQ(m.check_file(file_type_binary, v, nullptr, nullptr), 900);
	EXPECT_EQ(m.swap, 0);
	m.read_n_rev((long)block, 4);
	EXPECT_EQ(std::memcmp(block, "\x01\x02\x03\x04", 4), 0);

	alert_capture alerts;
	m.read_n_rev((long)block, 1);  // past the end
	ASSERT_EQ(alerts.seen.size(), 1u);
	EXPECT_EQ(alerts.seen[0].line1, "Invalid read_n_rev read!");
	EXPECT_EQ(alerts.seen[0].source_file, "DIzivoz/OOPS_cpp/xmap");
	EXPECT_EQ(alerts.seen[0].source_line, 54);

	for (const std::string& bytes : {std::string("i\x84", 2), std::string("x\x84\x03\x00\x00", 5)}) {
		t.write("short.bin", bytes);
		m.retry(t("short.bin"));
		EXPECT_EQ(m.check_file(file_type_binary, v, nullptr, nullptr), 0);
	}

	EXPECT_EQ(m.check_file(7, v, nullptr, nullptr), 0);
	ASSERT_EQ(alerts.seen.size(), 2u);
	EXPECT_EQ(alerts.seen[1].line1, "Bad check_file type!");
	EXPECT_EQ(alerts.seen[1].source_line, 13);
}

TEST(FilesXmap, TokenScanners)
{
	files_tmp t;
	t.write("s.txt", "  one two\n  three  four five  \r\n\r\nsix");
	xmap_class m(t("s.txt"));
	std::string tok;
	m.TXT_str_scan_space(&tok);
	EXPECT_EQ(tok, "one");
	EXPECT_EQ(*m.cursor, ' ');
	m.TXT_str_scan_eoln(&tok);
	EXPECT_EQ(tok, "two");
	m.TXT_str_scan_eoln(&tok);
	EXPECT_EQ(tok, "three  four five  ");
	EXPECT_EQ(rest_of(m), "six");
	m.TXT_str_scan_space(&tok);
	EXPECT_EQ(tok, "six");
	EXPECT_EQ(m.cursor, m.end);
	m.TXT_str_scan_space(&tok);
	EXPECT_EQ(tok, "");
	m.TXT_str_scan_eoln(nullptr);
	EXPECT_EQ(m.cursor, m.end);

	// On a line end the token is empty and the cursor stays.
	t.write("e.txt", "\nx");
	m.retry(t("e.txt"));
	m.TXT_str_scan_space(&tok);
	EXPECT_EQ(tok, "");
	EXPECT_EQ(m.cursor, m.begin);
}

TEST(FilesXmap, ScannersStopAtTheEndOfAPageSizedFile)
{
	// The mapping has no terminating byte: a token that runs to the very end
	// of a file filling whole pages must stop there.
	const long page = sysconf(_SC_PAGESIZE);
	const std::string head = "I\n900 version\nKEY ";
	std::string bytes = head + std::string((size_t)page * 2 - head.size(), 'v');
	files_tmp t;
	t.write("p.txt", bytes);
	xmap_class m(t("p.txt"));
	ASSERT_EQ(m.end - m.begin, page * 2);
	const int v[] = {900, 0};
	EXPECT_EQ(m.check_file(file_type_text, v, "KEY", nullptr), 900);
	EXPECT_EQ(m.cursor, m.end);  // the rest of the keyword line ran to the end

	m.cursor = m.begin + head.size();
	std::string tok;
	m.TXT_str_scan_space(&tok);
	EXPECT_EQ(tok.size(), bytes.size() - head.size());
	m.cursor = m.begin + head.size();
	m.TXT_str_scan_eoln(&tok);
	EXPECT_EQ(tok.size(), bytes.size() - head.size());
	m.TXT_xer_line();

	// A header cut inside the version number.
	bytes = "I\n" + std::string((size_t)page - 2, '9');
	t.write("v.txt", bytes);
	m.retry(t("v.txt"));
	std::string rest = "unset";
	EXPECT_EQ(m.check_file(file_type_text, v, "KEY", &rest), 0);
	EXPECT_EQ(rest, "");
}

TEST(FilesXmap, EchoOfTheCurrentLine)
{
	files_tmp t;
	t.write("l.txt", "first\r\nsecond\r\nthird line\r\nfourth");
	xmap_class m(t("l.txt"));
	const std::string log = t("log.txt");
	xer.open(log);
	m.cursor = m.begin + std::strlen("first\r\nsecond\r\nthi");
	m.TXT_xer_line();
	m.cursor = m.end;
	m.TXT_xer_line();
	m.cursor = m.begin;
	m.TXT_xer_line();
	xer.close();
	EXPECT_EQ(t.read("log.txt"), "3 \"third line\"\n4 \"fourth\"\n1 \"first\"\n");
}

TEST(FilesXmap, PathChecksAndResources)
{
	files_tmp t;
	t.mkdir("a:b");
	t.write("a:b/f.txt", "I\n900 version\n");
	alert_capture alerts;
	xmap_class m(t("a:b/f.txt"));  // an absolute path may hold ':'
	EXPECT_NE(m.begin, nullptr);
	EXPECT_TRUE(alerts.seen.empty());

	for (const char* bad : {"Resources\\f.txt", "Resources:f.txt"}) {
		EXPECT_EQ(m.retry(bad), nullptr);
		ASSERT_FALSE(alerts.seen.empty());
		EXPECT_EQ(alerts.seen.back().line1, "OOPS!");
		EXPECT_EQ(alerts.seen.back().line2, "I got a bad dirchar! I only want '/'!");
		EXPECT_EQ(alerts.seen.back().line3, "The path in question is:");
		EXPECT_EQ(alerts.seen.back().kind, alert_fatal);
		EXPECT_EQ(alerts.seen.back().line4, bad);
		EXPECT_EQ(alerts.seen.back().source_line, 139);
	}
	EXPECT_EQ(alerts.seen.size(), 2u);

	// While the application folder is set, a path that already holds it is refused.
	app_path = t.root;
	EXPECT_EQ(m.retry(t("a:b/f.txt")), nullptr);
	EXPECT_EQ(m.begin, nullptr);
	app_path.clear();
	ASSERT_EQ(alerts.seen.size(), 3u);
	EXPECT_EQ(alerts.seen.back().line1, "retry: We are getting a file string that is not Skyframe relative!");
	EXPECT_EQ(alerts.seen.back().line2, "This is illegal! All paths must be Skyframe relative!");
	EXPECT_EQ(alerts.seen.back().line3, "The path in question is:");
	EXPECT_EQ(alerts.seen.back().line4, t("a:b/f.txt"));
	EXPECT_EQ(alerts.seen.back().source_line, 133);

	UTL_set_resource_root(t("a:b"));
	const int v[] = {900, 0};
	EXPECT_EQ(m.io_file_open(0, "RESOURCE:f.txt", const_cast<int*>(v), file_type_text), 1);
	EXPECT_EQ(m.retry("RESOURCE:none.txt"), nullptr);
	UTL_set_resource_root("");
	EXPECT_EQ(alerts.seen.size(), 3u);

	// Writing through the same object.
	int wv[] = {9002, 0};
	ASSERT_EQ(m.io_file_open(1, t("w.txt"), wv, file_type_text), 1);
	ouf << "k v\n";
	m.io_file_close();
	EXPECT_EQ(t.read("w.txt"), "I\n9002 version\nk v\n");
}

TEST(FilesXmap, DescriptorZeroIsAnOrdinaryDescriptor)
{
	files_tmp t;
	t.write("f.txt", "I\n900 version\n");
	const int saved = dup(0);
	ASSERT_GE(saved, 0);
	{
		xmap_class none;  // owns no descriptor, so closes none
		EXPECT_EQ(none.fd, -1);
	}
	EXPECT_NE(fcntl(0, F_GETFD), -1);

	close(0);
	{
		xmap_class m(t("f.txt"));
		EXPECT_EQ(m.fd, 0);  // standard input was closed, so the file got 0
		EXPECT_NE(m.begin, nullptr);
	}
	EXPECT_EQ(fcntl(0, F_GETFD), -1);  // released with the object
	dup2(saved, 0);
	close(saved);
}

TEST(FilesXmap, MappingTooLargeForTheAddressSpace)
{
	// A sparse in-memory file larger than any address space: the mapping
	// fails with ENOMEM, which is logged and raised.
	const int mem = memfd_create("huge", MFD_CLOEXEC);
	ASSERT_GE(mem, 0);
	if (ftruncate(mem, (off_t)1 << 48) != 0) {
		close(mem);
		GTEST_SKIP() << "no sparse file of that size here";
	}
	files_tmp t;
	const std::string path = "/proc/self/fd/" + std::to_string(mem);
	xer.open(t("log.txt"));
	alert_capture alerts;
	{
		xmap_class m(path);
		EXPECT_EQ(m.begin, nullptr);
		EXPECT_EQ(m.end, nullptr);
		const int v[] = {900, 0};
		EXPECT_EQ(m.check_file(file_type_text, v, nullptr, nullptr), 0);
	}
	xer.close();
	close(mem);
	EXPECT_EQ(t.read("log.txt"), "Mem file error.  Err=12, file=" + path + "\n");
	ASSERT_EQ(alerts.seen.size(), 1u);
	const alert_record& a = alerts.seen[0];
	EXPECT_EQ(a.line1, "Xmapped out of memory");
	EXPECT_EQ(a.line2, "c_path=");
	EXPECT_EQ(a.line3, path);
	EXPECT_EQ(a.line4, "errno=12.000000");
	EXPECT_EQ(a.kind, alert_fatal);
	EXPECT_EQ(a.source_file, "DIzivoz/OOPS_cpp/xmap");
	EXPECT_EQ(a.source_line, 171);
}
