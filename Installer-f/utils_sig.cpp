// A file's signature, kept small: see file_sig in utils.h.
#include <cstring>
#include <utility>

#include "Installer-f/utils.h"

namespace {

int hex_value(char c)
{
	if (c >= '0' && c <= '9') return c - '0';
	if (c >= 'a' && c <= 'f') return c - 'a' + 10;
	return -1;  // upper case too: the checksum pass writes lower case only
}

}  // namespace

file_sig::file_sig(std::string_view text)
{
	if (text.empty()) return;
	if (text == "GONE") {
		kind_ = kind::gone;
		return;
	}
	if (text == "NONE") {
		kind_ = kind::none;
		return;
	}
	bool hex = text.size() == 32;
	for (size_t i = 0; hex && i < 32; ++i) hex = hex_value(text[i]) >= 0;
	if (hex) {
		for (size_t i = 0; i < 16; ++i) md5_[i] = (uint8_t)(hex_value(text[2 * i]) * 16 + hex_value(text[2 * i + 1]));
		kind_ = kind::md5;
		return;
	}
	text_ = new std::string(text);
	kind_ = kind::text;
}

file_sig::file_sig(const file_sig& other) : kind_(other.kind_)
{
	if (kind_ == kind::text)
		text_ = new std::string(*other.text_);
	else
		std::memcpy(md5_, other.md5_, sizeof(md5_));
}

file_sig::file_sig(file_sig&& other) noexcept { *this = std::move(other); }

file_sig& file_sig::operator=(const file_sig& other)
{
	if (this != &other) *this = file_sig(other);
	return *this;
}

file_sig& file_sig::operator=(file_sig&& other) noexcept
{
	if (this != &other) {
		clear();
		kind_ = other.kind_;
		if (kind_ == kind::text)
			text_ = other.text_;  // taken over
		else
			std::memcpy(md5_, other.md5_, sizeof(md5_));
		other.kind_ = kind::empty;
	}
	return *this;
}

file_sig::~file_sig() { clear(); }

void file_sig::clear()
{
	if (kind_ == kind::text) delete text_;
	kind_ = kind::empty;
}

std::string file_sig::str() const
{
	switch (kind_) {
	case kind::empty: return std::string();
	case kind::gone: return "GONE";
	case kind::none: return "NONE";
	case kind::text: return *text_;
	case kind::md5: break;
	}
	static const char digits[] = "0123456789abcdef";
	std::string out(32, '0');
	for (size_t i = 0; i < 16; ++i) {
		out[2 * i] = digits[md5_[i] >> 4];
		out[2 * i + 1] = digits[md5_[i] & 15];
	}
	return out;
}

bool operator==(const file_sig& a, const file_sig& b)
{
	if (a.kind_ != b.kind_) return false;
	if (a.kind_ == file_sig::kind::md5) return std::memcmp(a.md5_, b.md5_, sizeof(a.md5_)) == 0;
	if (a.kind_ == file_sig::kind::text) return *a.text_ == *b.text_;
	return true;
}
