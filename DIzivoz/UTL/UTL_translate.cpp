#include "DIzivoz/UTL/UTL_translate.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <set>
#include <unordered_map>

#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OOPS_cpp/xmap.h"
#include "DIzivoz/UTL/UTL_cmdline.h"

const lang_info_struct kLangInfo[] = {
	{"|English", "English/", nullptr, "en", 9, 1},
	{"|Francais", "French/", "RESOURCE:French.txt", "fr", 12, 0},
	{"|Deutsch", "German/", "RESOURCE:German.txt", "de", 7, 1},
	{nullptr, nullptr, nullptr, nullptr, 0, 0},
};

namespace {

const int k_lang_count = 3;

// Translation state, built on first use so that no unit's static
// initialisation can find it unbuilt.
struct translation_state {
	std::unordered_map<std::string, std::string> dictionary;
	std::set<std::string> logged;
	int has_translation = 0;
	int log_missing = 0;
	int plural_zero = 1;
};

translation_state& state()
{
	static translation_state* st = new translation_state;
	return *st;
}

bool valid_lang(int lang) { return lang >= 0 && lang < k_lang_count; }

inline bool is_blank(char c) { return c == ' ' || c == '\t'; }
inline bool is_eoln(char c) { return c == '\r' || c == '\n' || c == 0; }

// The number right after a '%': leading white space and a sign allowed,
// digits up to the first other character, as atoi reads it (saturated
// instead of overflowing).
long long read_number(const std::string& s, size_t pos)
{
	while (pos < s.size() && (s[pos] == ' ' || (s[pos] >= '\t' && s[pos] <= '\r'))) ++pos;
	bool neg = false;
	if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) neg = s[pos++] == '-';
	long long v = 0;
	while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
		if (v < INT_MAX) v = v * 10 + (s[pos] - '0');
		++pos;
	}
	if (v > INT_MAX) v = INT_MAX;
	return neg ? -v : v;
}

// Finds the placeholder whose '%' is at or after `from`: sets pct and
// close and returns the number read after the '%'. Returns false when no
// further '%' exists; a '%' without a later ':' and '%' gives close npos.
bool next_placeholder(const std::string& s, size_t from, size_t& pct, size_t& close, long long& n)
{
	pct = s.find('%', from);
	if (pct == std::string::npos) return false;
	close = std::string::npos;
	size_t colon = s.find(':', pct);
	if (colon == std::string::npos) return true;
	close = s.find('%', colon);
	if (close == std::string::npos) return true;
	n = read_number(s, pct + 1);
	return true;
}

bool utf8_structure_ok(const std::string& s)
{
	size_t i = 0, n = s.size();
	while (i < n) {
		unsigned char c = (unsigned char)s[i];
		int follow;
		if (c < 0x80) follow = 0;
		else if ((c & 0xE0) == 0xC0) follow = 1;
		else if ((c & 0xF0) == 0xE0) follow = 2;
		else if ((c & 0xF8) == 0xF0) follow = 3;
		else return false;
		++i;
		for (int k = 0; k < follow; ++k, ++i)
			if (i >= n || ((unsigned char)s[i] & 0xC0) != 0x80) return false;
	}
	return true;
}

void add_entry(const std::string& entry)
{
	translation_state& st = state();
	size_t split = entry.find("====");
	if (split == std::string::npos) {
		xer << "ERROR: language file line " << entry << " missing ==== splitter.\n";
		return;
	}
	std::string key = entry.substr(0, split);
	std::string text = entry.substr(split + 4);
	if (text.empty()) {
		xer << "ERROR: language file line " << entry << " missing right side translation.\n";
		return;
	}
	STR_unescape(key);
	STR_unescape(text);

	std::vector<int> key_nums, text_nums;
	UTL_string_check(key, key_nums);
	UTL_string_check(text, text_nums);
	std::sort(key_nums.begin(), key_nums.end());
	std::sort(text_nums.begin(), text_nums.end());
	if (key_nums != text_nums)
		xer << "ERROR: language line '" << entry << "' has incorrect translated parameters.\n";
	if (!utf8_structure_ok(entry))
		xer << "ERROR: language line '" << entry << "' contains invalid UTF8 characters.\n";

	auto found = st.dictionary.find(key);
	if (found != st.dictionary.end()) {
		xer << "ERROR: language line " << entry << " is a second translation of " << found->first
		    << "====" << found->second << "\n";
		return;
	}
	st.dictionary.emplace(std::move(key), std::move(text));
}

}  // namespace

void UTL_lang_get_languages(std::vector<int>& out) { out = {0, 1, 2}; }

std::string UTL_lang_get_folder(int lang)
{
	return valid_lang(lang) ? kLangInfo[lang].folder : std::string();
}

std::string UTL_lang_get_button(int lang)
{
	return valid_lang(lang) ? kLangInfo[lang].button : std::string();
}

std::vector<std::string> UTL_lang_system_preferences()
{
	std::vector<std::string> raw;
	if (const char* list = std::getenv("LANGUAGE")) {
		std::string s(list);
		size_t start = 0;
		while (start <= s.size()) {
			size_t colon = s.find(':', start);
			if (colon == std::string::npos) colon = s.size();
			raw.push_back(s.substr(start, colon - start));
			start = colon + 1;
		}
	}
	for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"})
		if (const char* v = std::getenv(var)) raw.push_back(v);

	// Linux writes "fr_FR.UTF-8" where a bare "fr" is wanted.
	std::vector<std::string> out;
	for (const std::string& r : raw) {
		if (r.empty() || r == "C" || r == "POSIX") continue;
		std::string code = r.substr(0, r.find_first_of("_.@-"));
		if (!code.empty()) out.push_back(code);
	}
	return out;
}

int UTL_lang_match_preferences(const std::vector<std::string>& prefs)
{
	for (const std::string& p : prefs)
		for (int lang = 0; lang < k_lang_count; ++lang)
			if (p == kLangInfo[lang].code) return lang;
	return -1;
}

int UTL_get_default_language()
{
	std::vector<int> langs;
	UTL_lang_get_languages(langs);
	if (langs.empty()) return -1;
	if (langs.size() == 1) return langs[0];

	if (cmdline.has_option("--lang")) {
		std::string want = cmdline.get_option("--lang");
		for (int lang : langs)
			if (want == kLangInfo[lang].code) return lang;
	}
	return UTL_lang_match_preferences(UTL_lang_system_preferences());
}

void UTL_translate_clear()
{
	translation_state& st = state();
	st.dictionary.clear();
	st.logged.clear();
	st.has_translation = 0;
	st.log_missing = 0;
	st.plural_zero = 1;
}

void UTL_translate_load(int lang, const std::string& /*path*/)
{
	translation_state& st = state();
	st.dictionary.clear();
	st.logged.clear();
	st.has_translation = 0;
	st.log_missing = 0;
	if (!valid_lang(lang) || !kLangInfo[lang].file) {
		// English has no file: nothing to load.
		if (valid_lang(lang)) st.plural_zero = kLangInfo[lang].zero_is_plural;
		return;
	}
	st.plural_zero = kLangInfo[lang].zero_is_plural;
	const std::string file = kLangInfo[lang].file;

	xmap_class map(file);
	if (!map.begin) {
		xer << "Could not find translation file: " << file << "; using English.\n";
		return;
	}
	static const int versions[] = {900, 0};
	if (map.check_file(file_type_text, versions, "TRANSLATION", nullptr) != 900) {
		xer << "Translation path " << file << " is not version 900 or has a bad header.\n";
		return;
	}

	const char* p = map.cursor;
	const char* end = map.end;
	while (p < end) {
		while (p < end && is_blank(*p)) ++p;
		const char* word = p;
		bool entry = (size_t)(end - word) > 7 && std::string(word, 6) == "STRING" && is_blank(word[6]);
		if (entry) {
			const char* text = word + 7;
			const char* stop = text;
			while (stop < end && !is_eoln(*stop)) ++stop;
			add_entry(std::string(text, stop));
			p = stop;
		} else {
			while (p < end && !is_eoln(*p)) ++p;
		}
		while (p < end && (is_blank(*p) || is_eoln(*p))) ++p;
	}

	st.has_translation = 1;
	st.log_missing = cmdline.has_option("--missing_strings") ? 1 : 0;
}

std::string UTL_translate_string(const std::string& text)
{
	translation_state& st = state();
	if (!st.has_translation) return text;
	auto found = st.dictionary.find(text);
	if (found != st.dictionary.end()) return found->second;
	if (st.log_missing && st.logged.insert(text).second) {
		std::string copy = text;
		STR_replace_all(copy, "\r", "\\r");
		STR_replace_all(copy, "\n", "\\n");
		xer << "STRING " << copy << "====" << copy << "\n";
	}
	return text;
}

std::string UTL_translate_plural(int n, const std::string& singular, const std::string& plural)
{
	bool use_plural = state().plural_zero ? (n != 1) : (n > 1);
	return UTL_translate_string(use_plural ? plural : singular);
}

std::string UTL_string_sub_x(const std::string& fmt, int count, const std::string** args)
{
	std::string out = fmt;
	size_t pos = 0, pct, close;
	long long n = 0;
	while (next_placeholder(out, pos, pct, close, n)) {
		pos = pct + 1;
		if (close == std::string::npos) continue;
		if (n >= 1 && n <= count && args[n - 1]) {
			const std::string& arg = *args[n - 1];
			out.replace(pct, close - pct + 1, arg);
			// Carry on after the argument: placeholders inside it stay as they are.
			pos = pct + arg.size();
		}
	}
	return out;
}

std::string UTL_string_sub(const std::string& fmt, const std::string& a1)
{
	const std::string* a[] = {&a1};
	return UTL_string_sub_x(fmt, 1, a);
}
std::string UTL_string_sub(const std::string& fmt, const std::string& a1, const std::string& a2)
{
	const std::string* a[] = {&a1, &a2};
	return UTL_string_sub_x(fmt, 2, a);
}
std::string UTL_string_sub(const std::string& fmt, const std::string& a1, const std::string& a2,
                           const std::string& a3)
{
	const std::string* a[] = {&a1, &a2, &a3};
	return UTL_string_sub_x(fmt, 3, a);
}
std::string UTL_string_sub(const std::string& fmt, const std::string& a1, const std::string& a2,
                           const std::string& a3, const std::string& a4)
{
	const std::string* a[] = {&a1, &a2, &a3, &a4};
	return UTL_string_sub_x(fmt, 4, a);
}
std::string UTL_string_sub(const std::string& fmt, const std::string& a1, const std::string& a2,
                           const std::string& a3, const std::string& a4, const std::string& a5)
{
	const std::string* a[] = {&a1, &a2, &a3, &a4, &a5};
	return UTL_string_sub_x(fmt, 5, a);
}
std::string UTL_string_sub(const std::string& fmt, const std::string& a1, const std::string& a2,
                           const std::string& a3, const std::string& a4, const std::string& a5,
                           const std::string& a6)
{
	const std::string* a[] = {&a1, &a2, &a3, &a4, &a5, &a6};
	return UTL_string_sub_x(fmt, 6, a);
}

void UTL_string_check(const std::string& text, std::vector<int>& numbers)
{
	size_t pos = 0, pct, close;
	long long n = 0;
	while (next_placeholder(text, pos, pct, close, n)) {
		pos = pct + 1;
		if (close == std::string::npos) continue;
		if (n > 0) {
			numbers.push_back((int)n);
			pos = close + 1;
		}
	}
}

void STR_replace_all(std::string& s, const std::string& find, const std::string& replace)
{
	// An empty pattern, or a replacement holding the pattern, would be found
	// again at the same place forever: those carry on after the replacement.
	if (find.empty()) return;
	bool rescan = replace.find(find) == std::string::npos;
	size_t pos = 0;
	while ((pos = s.find(find, pos)) != std::string::npos) {
		s.replace(pos, find.size(), replace);
		if (!rescan) pos += replace.size();
	}
}

void STR_unescape(std::string& s)
{
	STR_replace_all(s, "\\r", "\r");
	STR_replace_all(s, "\\n", "\n");
}
