#pragma once
// Translation of user-visible text and numbered placeholder substitution.
// Texts are written in English in the code; a translation file loaded at
// start maps each English text to its translation.
#include <string>
#include <vector>

struct lang_info_struct {
	const char* button;      // caption of the language picker's button
	const char* folder;      // folder word for language resources
	const char* file;        // translation file, null for English
	const char* code;        // two-letter code
	int win_lang_id;         // primary language id of the other platform
	int zero_is_plural;      // 1 when a count of 0 takes the plural
};

extern const lang_info_struct kLangInfo[];

void UTL_lang_get_languages(std::vector<int>& out);
std::string UTL_lang_get_folder(int lang);
std::string UTL_lang_get_button(int lang);

// The language to use at start, or -1 when the user must choose.
int UTL_get_default_language();
// The user's preferred languages, most wanted first, cut to two-letter codes
// (LANGUAGE, then LC_ALL, LC_MESSAGES, LANG; empty, "C" and "POSIX" skipped).
std::vector<std::string> UTL_lang_system_preferences();
// The first entry of prefs that equals a language code exactly, or -1.
int UTL_lang_match_preferences(const std::vector<std::string>& prefs);

void UTL_translate_load(int lang, const std::string& path);
void UTL_translate_clear();
std::string UTL_translate_string(const std::string& text);
std::string UTL_translate_plural(int n, const std::string& singular, const std::string& plural);

std::string UTL_string_sub_x(const std::string& fmt, int count, const std::string** args);
std::string UTL_string_sub(const std::string& fmt, const std::string& a1);
std::string UTL_string_sub(const std::string& fmt, const std::string& a1, const std::string& a2);
std::string UTL_string_sub(const std::string& fmt, const std::string& a1, const std::string& a2,
                           const std::string& a3);
std::string UTL_string_sub(const std::string& fmt, const std::string& a1, const std::string& a2,
                           const std::string& a3, const std::string& a4);
std::string UTL_string_sub(const std::string& fmt, const std::string& a1, const std::string& a2,
                           const std::string& a3, const std::string& a4, const std::string& a5);
std::string UTL_string_sub(const std::string& fmt, const std::string& a1, const std::string& a2,
                           const std::string& a3, const std::string& a4, const std::string& a5,
                           const std::string& a6);
void UTL_string_check(const std::string& text, std::vector<int>& numbers);

void STR_replace_all(std::string& s, const std::string& find, const std::string& replace);
void STR_unescape(std::string& s);
