#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <stdexcept>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_string.h"

namespace {

std::string int_text(int value, int min_digits, int plus)
{
	char buf[16];
	std::memset(buf, 'x', sizeof(buf));
	int_to_str(value, buf, min_digits, plus);
	return buf;
}

std::string flt_text(float value, int width, int decimals, int pad_sign)
{
	std::string s = "stale";
	flt_to_str(value, &s, width, decimals, pad_sign);
	return s;
}

utf16_string u16(std::initializer_list<unsigned short> units)
{
	return units.size() ? utf16_string(units.begin(), units.end()) : utf16_string();
}

struct alert_capture {
	std::vector<alert_record> seen;
	alert_capture()
	{
		MACIBM_set_alert_sink([this](const alert_record& r) { seen.push_back(r); });
	}
	~alert_capture() { MACIBM_set_alert_sink(nullptr); }
};

}  // namespace

TEST(FoundNumbers, IntToStrPadsSignsAndLimitsDigits)
{
	struct {
		int value, min_digits, plus;
		const char* want;
	} cases[] = {
		{0, 0, 0, "0"},
		{7, 0, 1, "+7"},
		{0, 0, 1, "+0"},
		{-7, 3, 0, "-007"},
		{-7, 3, 1, "-007"},
		{42, 1, 0, "42"},
		{1234, 2, 0, "1234"},
		{5, 12, 0, "0000000005"},  // never more than ten digits
		{INT_MAX, 0, 0, "2147483647"},
		{INT_MAX, 0, 1, "+2147483647"},
		{INT_MIN, 0, 0, "-2147483648"},
		{1000000000, 0, 0, "1000000000"},
	};
	for (const auto& c : cases)
		EXPECT_EQ(int_text(c.value, c.min_digits, c.plus), c.want)
		    << c.value << " min " << c.min_digits << " plus " << c.plus;
}

TEST(FoundNumbers, StrToIntAcceptsOnlySignedShortDecimals)
{
	struct {
		const char* text;
		int want;
	} cases[] = {
		{"0", 0},
		{"42", 42},
		{"+42", 42},
		{"-42", -42},
		{"-1", -1},
		{"007", 7},
		{"123456789", 123456789},
		{"-123456789", -123456789},
		{"1234567890", -1},  // ten digits
		{"+1234567890", -1},
		{"", -1},
		{"+", -1},
		{"-", -1},
		{"4a", -1},
		{" 4", -1},
		{"4 ", -1},
		{"1.5", -1},
		// A sign anywhere but in front makes the text not a number.
		{"1-2", -1},
		{"1+2", -1},
		{"--5", -1},
		{"+-5", -1},
		{"12-", -1},
	};
	for (const auto& c : cases) EXPECT_EQ(str_to_int(c.text), c.want) << "\"" << c.text << "\"";
}

TEST(FoundNumbers, FltToStrRoundsAndPads)
{
	struct {
		float value;
		int width, decimals, pad_sign;
		const char* want;
	} cases[] = {
		{2.5f, 3, 1, 0, " 2.5"},
		{12.34f, 3, 1, 0, "12.3"},
		{-2.5f, 3, 1, 0, "- 2.5"},
		{0.04f, 3, 1, 0, " 0.0"},
		{-0.04f, 3, 1, 0, "- 0.0"},
		{9.96f, 3, 1, 0, "10.0"},
		{2.5f, 3, 1, 1, "  2.5"},
		{0.25f, 1, 1, 0, "0.3"},     // halves away from zero
		{-0.25f, 1, 1, 0, "-0.3"},
		{99.5f, 3, 0, 0, "100"},
		{3.0f, 5, 0, 0, "    3"},
		{1.5f, 4, 2, 0, " 1.50"},
		{123.456f, 2, 2, 0, "123.46"},  // wider than asked
		{0.0f, 1, 0, 0, "0"},
	};
	for (const auto& c : cases)
		EXPECT_EQ(flt_text(c.value, c.width, c.decimals, c.pad_sign), c.want)
		    << c.value << " w" << c.width << " d" << c.decimals << " p" << c.pad_sign;
}

TEST(FoundNumbers, FltToStrSurvivesValuesBeyondTenDigits)
{
	// Callers never pass these; the result only has to be sane text.
	EXPECT_EQ(flt_text(1e20f, 3, 1, 0), "2147483647.0");
	EXPECT_EQ(flt_text(-1e20f, 3, 1, 0), "-2147483647.0");
	EXPECT_EQ(flt_text(1.5f, 3, 20, 0), flt_text(1.5f, 3, 9, 0));
}

TEST(FoundText, CopyToChrCopiesUpTo499AndAlertsBeyond)
{
	alert_capture cap;
	char buf[chr_buf_size];

	std::memset(buf, 'x', sizeof(buf));
	copy_to_chr("", buf);
	EXPECT_STREQ(buf, "");

	const std::string fits(499, 'a');
	copy_to_chr(fits, buf);
	EXPECT_EQ(std::string(buf), fits);
	EXPECT_TRUE(cap.seen.empty());

	std::strcpy(buf, "unchanged");
	const std::string too_long(500, 'b');
	copy_to_chr(too_long, buf);
	EXPECT_STREQ(buf, "unchanged");
	ASSERT_EQ(cap.seen.size(), 1u);
	const alert_record& a = cap.seen[0];
	EXPECT_EQ(a.kind, alert_fatal);
	EXPECT_EQ(a.line1, "String too long!");
	EXPECT_EQ(a.line2, too_long);
	EXPECT_EQ(a.line3, "");
	EXPECT_EQ(a.line4, "");
	EXPECT_EQ(a.source_file, "DIzivoz/GenH/hl_string");
	EXPECT_EQ(a.source_line, 137);
}

TEST(FoundText, MenuNumberListCode)
{
	struct {
		std::string in, want;
	} cases[] = {
		{"1 200", std::string("\x01\x02\x02\x4a", 4)},
		{"0", std::string("\x01\x01", 2)},
		{"126 127", std::string("\x01\x7f\x02\x01", 4)},
		{"  5\t6 ", std::string("\x01\x06\x01\x07", 4)},
		{"1234", std::string("\x01\x7c\x01\x05", 4)},  // cut into 123 and 4
		{"+2", std::string("\x01\x0d", 2)},           // '+' counts as 1
		{"ab", std::string("\x01\x01", 2)},           // other characters count as 0
		{"1 3-", std::string("\x01\x02\x01\x1e", 4)}, // 3 then -1: 29
		{"5 0-", std::string("\x01\x06", 2)},         // 0 then -1: negative, dropped
		{"-1 2", "-1 2"},
		{"=x", "=x"},
		{"", ""},
	};
	for (const auto& c : cases) {
		std::string s = c.in;
		char_string_to_int_string(&s);
		EXPECT_EQ(s, c.want) << "\"" << c.in << "\"";
	}
	// Each call encodes only its own argument.
	std::string a = "1", b = "2";
	char_string_to_int_string(&a);
	char_string_to_int_string(&b);
	EXPECT_EQ(b, std::string("\x01\x03", 2));
}

TEST(FoundUtf, ConvertsBothWaysIncludingFourByteCharacters)
{
	struct {
		std::string utf8;
		utf16_string utf16;
	} cases[] = {
		{"", u16({})},
		{"Abc", u16({'A', 'b', 'c'})},
		{"\xC3\xA9", u16({0xE9})},                       // e acute
		{"\xE2\x82\xAC", u16({0x20AC})},                 // euro sign
		{"\xF0\x9F\x98\x80", u16({0xD83D, 0xDE00})},     // U+1F600
		{"\xF4\x8F\xBF\xBF", u16({0xDBFF, 0xDFFF})},     // U+10FFFF
		{"a\xF0\x90\x80\x80z", u16({'a', 0xD800, 0xDC00, 'z'})},
		{"\xEF\xBF\xBF", u16({0xFFFF})},
	};
	for (const auto& c : cases) {
		utf16_string got16 = u16({1, 2});
		string_utf_8_to_16(c.utf8, got16);
		EXPECT_EQ(got16, c.utf16) << c.utf8;
		std::string got8 = "stale";
		string_utf_16_to_8(c.utf16, got8);
		EXPECT_EQ(got8, c.utf8);
	}
}

TEST(FoundUtf, BadAndTruncatedInputNeverReadsPastTheEnd)
{
	struct {
		std::string utf8;
		utf16_string want;
	} cases[] = {
		{"\x80" "a", u16({0, 'a'})},          // stray continuation where a character starts
		{"a\xBF\xBF" "b", u16({'a', 'b'})},    // stray continuations after a character are dropped
		{"\xF8" "a", u16({0, 'a'})},
		{"\xFF", u16({0})},
		{"\xC3\xA9\xA9" "x", u16({0xE9, 'x'})},  // extra continuation dropped
		// Cut short by the end of the text.
		{"a\xC3", u16({'a', 0})},
		{"a\xE2\x82", u16({'a', 0})},
		{"\xF0\x9F\x98", u16({0})},
		{"\xF0", u16({0})},
		// Above U+10FFFF: kept, the high unit holds ten bits.
		{"\xF7\xBF\xBF\xBF", u16({(unsigned short)(0xD800 + (((0x1FFFFF - 0x10000) >> 10) & 0x3FF)), 0xDFFF})},
	};
	for (const auto& c : cases) {
		// An exact-size heap copy lets the sanitizer build catch a read past the end.
		std::string exact(c.utf8.data(), c.utf8.size());
		exact.shrink_to_fit();
		utf16_string got;
		string_utf_8_to_16(exact, got);
		EXPECT_EQ(got, c.want);
	}

	struct {
		utf16_string utf16;
		std::string want;
	} back[] = {
		{u16({0xDC00}), "\xED\xB0\x80"},          // lone low surrogate: three bytes
		{u16({0xD83D}), "\xF0\x9F\x90\x80"},      // high half last: its partner counts as 0
		{u16({0xD800, 'A'}), "\xF0\x90\x81\x81"}, // the unit after a high half is taken whatever it is
		{u16({0x7F, 0x80, 0x7FF, 0x800}), "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80"},
	};
	for (const auto& c : back) {
		std::string got;
		string_utf_16_to_8(c.utf16, got);
		EXPECT_EQ(got, c.want);
	}
}
