// Every text the program hands to the translation calls, read from its own
// sources, has an entry in Resources/French.txt and Resources/German.txt,
// and both files load without a complaint of the loader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/UTL/UTL_cmdline.h"
#include "DIzivoz/UTL/UTL_translate.h"
#include "tests/support/text_fixture.h"

namespace {

struct token {
	enum kind_t { ident, literal, punct } kind;
	std::string text;  // identifier, punctuation, or the literal's bytes with escapes resolved
	int line;
};

// Resolves the escapes of a C++ string literal body.
std::string unescape_literal(const std::string& body)
{
	std::string out;
	for (size_t i = 0; i < body.size(); ++i) {
		if (body[i] != '\\' || i + 1 == body.size()) {
			out += body[i];
			continue;
		}
		const char c = body[++i];
		switch (c) {
		case 'n': out += '\n'; break;
		case 'r': out += '\r'; break;
		case 't': out += '\t'; break;
		case 'x': {
			int v = 0, n = 0;
			while (i + 1 < body.size() && n < 2 && std::isxdigit((unsigned char)body[i + 1]))
				v = v * 16 + std::stoi(std::string(1, body[++i]), nullptr, 16), ++n;
			out += (char)v;
			break;
		}
		default:
			if (c >= '0' && c <= '7') {
				int v = c - '0', n = 1;
				while (i + 1 < body.size() && n < 3 && body[i + 1] >= '0' && body[i + 1] <= '7') v = v * 8 + (body[++i] - '0'), ++n;
				out += (char)v;
			} else {
				out += c;  // \\ \" \' \?
			}
		}
	}
	return out;
}

// Identifiers, string literals and punctuation of a C++ source; comments,
// character literals and numbers are dropped.
std::vector<token> tokenize(const std::string& s)
{
	std::vector<token> out;
	int line = 1;
	size_t i = 0;
	while (i < s.size()) {
		const char c = s[i];
		if (c == '\n') {
			++line, ++i;
		} else if (std::isspace((unsigned char)c)) {
			++i;
		} else if (s.compare(i, 2, "//") == 0) {
			while (i < s.size() && s[i] != '\n') ++i;
		} else if (s.compare(i, 2, "/*") == 0) {
			const size_t e = s.find("*/", i + 2);
			const size_t stop = e == std::string::npos ? s.size() : e + 2;
			line += (int)std::count(s.begin() + i, s.begin() + stop, '\n');
			i = stop;
		} else if (c == 'R' && s.compare(i, 2, "R\"") == 0) {
			const size_t open = s.find('(', i + 2);
			const std::string close = ")" + s.substr(i + 2, open - i - 2) + "\"";
			const size_t e = s.find(close, open);
			const size_t stop = e == std::string::npos ? s.size() : e + close.size();
			out.push_back({token::literal, s.substr(open + 1, (e == std::string::npos ? s.size() : e) - open - 1), line});
			line += (int)std::count(s.begin() + i, s.begin() + stop, '\n');
			i = stop;
		} else if (c == '"' || c == '\'') {
			size_t j = i + 1;
			while (j < s.size() && s[j] != c && s[j] != '\n') j += s[j] == '\\' ? 2 : 1;
			if (c == '"') out.push_back({token::literal, unescape_literal(s.substr(i + 1, j - i - 1)), line});
			i = j + 1;
		} else if (std::isalpha((unsigned char)c) || c == '_') {
			size_t j = i;
			while (j < s.size() && (std::isalnum((unsigned char)s[j]) || s[j] == '_')) ++j;
			out.push_back({token::ident, s.substr(i, j - i), line});
			i = j;
		} else if (std::isdigit((unsigned char)c)) {
			while (i < s.size() && (std::isalnum((unsigned char)s[i]) || s[i] == '.' || s[i] == '\'')) ++i;
		} else {
			out.push_back({token::punct, std::string(1, c), line});
			++i;
		}
	}
	return out;
}

bool is(const std::vector<token>& t, size_t i, token::kind_t k, const std::string& text = "")
{
	return i < t.size() && t[i].kind == k && (text.empty() || t[i].text == text);
}

// Names of functions and macros that only hand their one argument to a
// translation call, e.g. `std::string T(const char* s) { return UTL_translate_string(s); }`
// or `#define TR(x) UTL_translate_string(x)`.
void find_wrappers(const std::vector<token>& t, std::set<std::string>& calls)
{
	for (size_t i = 0; i < t.size(); ++i) {
		if (!is(t, i, token::ident) || !calls.count(t[i].text) || !is(t, i + 1, token::punct, "(") ||
		    !is(t, i + 2, token::ident) || !is(t, i + 3, token::punct, ")"))
			continue;
		// Function: name ( ... ) { return CALL ( arg ) ; }
		if (i >= 2 && is(t, i - 1, token::ident, "return") && is(t, i - 2, token::punct, "{") &&
		    is(t, i + 4, token::punct, ";") && is(t, i + 5, token::punct, "}")) {
			size_t k = i - 2;
			while (k > 0 && !is(t, k, token::punct, ")")) --k;
			int depth = 0;
			for (; k > 0; --k) {
				if (is(t, k, token::punct, ")")) ++depth;
				if (is(t, k, token::punct, "(") && --depth == 0) break;
			}
			if (k > 0 && is(t, k - 1, token::ident)) calls.insert(t[k - 1].text);
		}
		// Macro: # define NAME ( x ) CALL ( x )
		if (i >= 6 && is(t, i - 6, token::punct, "#") && is(t, i - 5, token::ident, "define") &&
		    is(t, i - 4, token::ident) && is(t, i - 3, token::punct, "(") && is(t, i - 1, token::punct, ")"))
			calls.insert(t[i - 4].text);
	}
}

struct found_text {
	std::string text;
	int line;
};

// The literal texts in the arguments of the calls named in `calls`: each run
// of adjacent literals at the call's own level is one text (so both sides of
// a `?:` count); literals inside nested calls are not the call's.
std::vector<found_text> translated_literals(const std::vector<token>& t, const std::set<std::string>& calls)
{
	std::vector<found_text> out;
	for (size_t i = 0; i + 1 < t.size(); ++i) {
		if (!is(t, i, token::ident) || !calls.count(t[i].text) || !is(t, i + 1, token::punct, "(")) continue;
		if (i > 0 && (is(t, i - 1, token::punct, ".") || is(t, i - 1, token::punct, ">"))) continue;
		int depth = 0;
		bool in_run = false;
		for (size_t k = i + 1; k < t.size(); ++k) {
			const token& x = t[k];
			if (x.kind == token::punct && (x.text == "(" || x.text == "[" || x.text == "{")) ++depth;
			if (x.kind == token::punct && (x.text == ")" || x.text == "]" || x.text == "}") && --depth == 0) break;
			if (depth == 1 && x.kind == token::literal) {
				if (in_run) out.back().text += x.text;
				else out.push_back({x.text, x.line});
				in_run = true;
			} else {
				in_run = false;
			}
		}
	}
	return out;
}

struct source_text {
	std::string text, where;
};

std::string read_all(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	std::stringstream s;
	s << in.rdbuf();
	return s.str();
}

// Every translated literal of the program's sources: the installer, the
// shell and library, the platform layer.
std::vector<source_text> program_texts()
{
	namespace fs = std::filesystem;
	const fs::path root = VENTORA_SOURCE_DIR;
	std::vector<std::pair<std::string, std::vector<token>>> files;
	for (const char* folder : {"Installer-f", "DIzivoz", "Platform"}) {
		for (const auto& e : fs::recursive_directory_iterator(root / folder)) {
			const std::string ext = e.path().extension().string();
			if (!e.is_regular_file() || (ext != ".cpp" && ext != ".h")) continue;
			const std::string rel = fs::relative(e.path(), root).string();
			// The translation calls' own definitions.
			if (rel.rfind("DIzivoz/UTL/UTL_translate.", 0) == 0) continue;
			files.push_back({rel, tokenize(read_all(e.path().string()))});
		}
	}
	std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
	std::set<std::string> calls = {"UTL_translate_string", "UTL_translate_plural"};
	for (size_t before = 0; before != calls.size();) {  // wrappers of wrappers too
		before = calls.size();
		for (const auto& f : files) find_wrappers(f.second, calls);
	}
	std::vector<source_text> out;
	for (const auto& f : files)
		for (const found_text& x : translated_literals(f.second, calls))
			out.push_back({x.text, f.first + ":" + std::to_string(x.line)});
	return out;
}

// A text as a translation-file entry writes it.
std::string file_form(std::string s)
{
	STR_replace_all(s, "\r", "\\r");
	STR_replace_all(s, "\n", "\\n");
	return s;
}

struct ScanCase {
	const char* source;
	std::vector<std::string> texts;
};

}  // namespace

TEST(LangCoverage, ScannerFindsTheLiteralsOfEveryFormOfCall)
{
	const ScanCase cases[] = {
	    {"x = UTL_translate_string(\"Quit\");", {"Quit"}},
	    {"UTL_translate_string(\"two \"\n  \"parts\\n\\tend\")", {"two parts\n\tend"}},
	    {"UTL_translate_string(is_delete ? \"DELETE\" : \"KEEP\")", {"DELETE", "KEEP"}},
	    {"UTL_translate_plural(n, \"%1:n% file\", \"%1:n% files\")", {"%1:n% file", "%1:n% files"}},
	    {"UTL_translate_string(\"a \\\"q\\\" \\x41\\101\") + \"not me\"", {"a \"q\" AA"}},
	    {"UTL_translate_string(name(\"inner\")); UTL_translate_string(text);", {}},
	    {"// UTL_translate_string(\"commented\")\n/* T(\"gone\") */ char c = '\"'; UTL_translate_string(\"after\");",
	     {"after"}},
	    {"std::string T(const char* s) { return UTL_translate_string(s); }\nT(\"Welcome\"); obj.T(\"member\");",
	     {"Welcome"}},
	    {"#define TR(x) UTL_translate_string(x)\nTR(R\"(raw \\n)\")", {"raw \\n"}},
	    {"static std::string L(const std::string& s) { return T(s); }\n"
	     "std::string T(const char* s) { return UTL_translate_string(s); }\nL(\"via two\");",
	     {"via two"}},
	};
	for (const ScanCase& c : cases) {
		const std::vector<token> t = tokenize(c.source);
		std::set<std::string> calls = {"UTL_translate_string", "UTL_translate_plural"};
		for (size_t before = 0; before != calls.size();) {
			before = calls.size();
			find_wrappers(t, calls);
		}
		std::vector<std::string> got;
		for (const found_text& f : translated_literals(t, calls)) got.push_back(f.text);
		EXPECT_EQ(got, c.texts) << c.source;
	}
}

TEST(LangCoverage, EveryTranslatedTextIsInBothLanguageFiles)
{
	const std::vector<source_text> texts = program_texts();
	// The scan sees the wizard's wrapper, plurals and both sides of a choice.
	std::set<std::string> seen;
	for (const source_text& s : texts) seen.insert(s.text);
	for (const char* known : {"Welcome", "%1:rate% kilobytes/second", "DELETE EVERY OLD FILE IN THIS DIRECTORY",
	                          "OVERWRITE EVERY OLD FILE IN THIS DIRECTORY"})
		EXPECT_TRUE(seen.count(known)) << "the source scan missed \"" << known << "\"";

	text_sandbox box;
	UTL_set_resource_root(std::string(VENTORA_SOURCE_DIR) + "/Resources/");
	const char* argv[] = {"test_lang_coverage", "--missing_strings"};
	cmdline.parse_unix(2, argv);
	box.take_log();  // the command line's own report
	for (int lang : {1, 2}) {
		const std::string file = lang == 1 ? "French.txt" : "German.txt";
		UTL_translate_load(lang, "");
		// Clean load: no bad parameters, no invalid UTF-8, no second translations.
		EXPECT_EQ(box.take_log(), "") << file;
		std::set<std::string> reported;
		for (const source_text& s : texts) {
			UTL_translate_string(s.text);
			if (box.take_log().empty() || !reported.insert(s.text).second) continue;
			ADD_FAILURE() << file << " has no entry for \"" << file_form(s.text) << "\" (" << s.where
			              << "); add it to tools/lang/translations.py";
		}
	}
	UTL_translate_clear();
}
