#include "DIzivoz/UTL/UTL_translate.h"

const lang_info_struct kLangInfo[] = {
	{"|English", "English/", nullptr, "en", 9, 1},
	{"|Francais", "French/", "RESOURCE:French.txt", "fr", 12, 0},
	{"|Deutsch", "German/", "RESOURCE:German.txt", "de", 7, 1},
	{nullptr, nullptr, nullptr, nullptr, 0, 0},
};

void UTL_lang_get_languages(std::vector<int>& out) { out = {0, 1, 2}; }
std::string UTL_lang_get_folder(int lang) { return kLangInfo[lang].folder; }
std::string UTL_lang_get_button(int lang) { return kLangInfo[lang].button; }
int UTL_get_default_language() { return -1; }
std::vector<std::string> UTL_lang_system_preferences() { return {}; }
int UTL_lang_match_preferences(const std::vector<std::string>&) { return -1; }
void UTL_translate_load(int, const std::string&) {}
void UTL_translate_clear() {}
std::string UTL_translate_string(const std::string& text) { return text; }
std::string UTL_translate_plural(int n, const std::string& singular, const std::string& plural)
{
	return n != 1 ? plural : singular;
}
std::string UTL_string_sub_x(const std::string& fmt, int, const std::string**) { return fmt; }
std::string UTL_string_sub(const std::string& fmt, const std::string&) { return fmt; }
std::string UTL_string_sub(const std::string& fmt, const std::string&, const std::string&) { return fmt; }
std::string UTL_string_sub(const std::string& fmt, const std::string&, const std::string&, const std::string&) { return fmt; }
std::string UTL_string_sub(const std::string& fmt, const std::string&, const std::string&, const std::string&,
                           const std::string&) { return fmt; }
std::string UTL_string_sub(const std::string& fmt, const std::string&, const std::string&, const std::string&,
                           const std::string&, const std::string&) { return fmt; }
std::string UTL_string_sub(const std::string& fmt, const std::string&, const std::string&, const std::string&,
                           const std::string&, const std::string&, const std::string&) { return fmt; }
void UTL_string_check(const std::string&, std::vector<int>&) {}
void STR_replace_all(std::string&, const std::string&, const std::string&) {}
void STR_unescape(std::string&) {}
