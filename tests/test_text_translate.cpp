// Translation files, plural choice and placeholder substitution.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DIzivoz/UTL/UTL_translate.h"
#include "tests/support/text_fixture.h"

namespace {

const std::string kHeader = "I\n900 version\nTRANSLATION\n";

class Translate : public ::testing::Test {
protected:
	void TearDown() override { UTL_translate_clear(); }
	text_sandbox box;
};

TEST(TextLanguages, TableAndAccessors)
{
	std::vector<int> langs = {7};
	UTL_lang_get_languages(langs);
	EXPECT_EQ(langs, (std::vector<int>{0, 1, 2}));
	EXPECT_EQ(UTL_lang_get_folder(0), "English/");
	EXPECT_EQ(UTL_lang_get_folder(2), "German/");
	EXPECT_EQ(UTL_lang_get_button(1), "|Francais");
	EXPECT_EQ(UTL_lang_get_button(2), "|Deutsch");
	EXPECT_EQ(kLangInfo[0].file, nullptr);
	EXPECT_STREQ(kLangInfo[1].file, "RESOURCE:French.txt");
	EXPECT_STREQ(kLangInfo[2].code, "de");
	EXPECT_EQ(kLangInfo[3].button, nullptr);
	// Out-of-range numbers give nothing rather than reading past the table.
	EXPECT_EQ(UTL_lang_get_folder(3), "");
	EXPECT_EQ(UTL_lang_get_button(-1), "");
}

TEST_F(Translate, MissingFileLeavesEnglishWithTheLanguagesPluralRule)
{
	UTL_translate_load(1, "ignored");
	EXPECT_EQ(box.take_log(), "Could not find translation file: RESOURCE:French.txt; using English.\n");
	EXPECT_EQ(UTL_translate_string("Quit"), "Quit");
	EXPECT_EQ(UTL_translate_plural(0, "file", "files"), "file");

	UTL_translate_load(2, "");
	EXPECT_EQ(box.take_log(), "Could not find translation file: RESOURCE:German.txt; using English.\n");
	EXPECT_EQ(UTL_translate_plural(0, "file", "files"), "files");

	box.write("French.txt", "");  // an empty file maps nothing either
	UTL_translate_load(1, "");
	EXPECT_EQ(box.take_log(), "Could not find translation file: RESOURCE:French.txt; using English.\n");
}

TEST_F(Translate, BadHeaderLeavesEnglish)
{
	const char* bad[] = {
	    "I\n800 version\nTRANSLATION\nSTRING Quit====Quitter\n",
	    "I\n900 version\nTRANSLATIONS\nSTRING Quit====Quitter\n",
	    "I\n900 version\nSTRING Quit====Quitter\n",
	    "STRING Quit====Quitter\n",
	};
	for (const char* text : bad) {
		box.write("French.txt", text);
		UTL_translate_load(1, "");
		EXPECT_EQ(box.take_log(),
		          "Translation path RESOURCE:French.txt is not version 900 or has a bad header.\n")
		    << text;
		EXPECT_EQ(UTL_translate_string("Quit"), "Quit") << text;
	}
}

TEST_F(Translate, EntriesAreReadLoggedAndKeptAsTheFileSays)
{
	const std::string file = "A\r\n\r\n900 version extra text\r\nTRANSLATION\r\n"
	                         "# a comment line\r\n"
	                         "STRING Quit====Quitter\r\n"
	                         "   \tSTRING\tBack====Retour\r\n"
	                         "STRINGS Next====Suivant\r\n"
	                         "STRING Line one\\nLine two\\r====Ligne un\\nLigne deux\\r\n"
	                         "STRING Empty====\n"
	                         "STRING A====B\n"
	                         "STRING No splitter here\n"
	                         "STRING  Two blanks====Deux blancs\n"
	                         "STRING Quit====Sortir\n"
	                         "STRING Copy %1:name%====Copie %2:name%\n"
	                         "STRING %1:a% of %2:b%====%2:b% sur %1:a%\n"
	                         "STRING Bad \xC3(====Mauvais\n"
	                         "STRING a====b====c\n"
	                         "STRING";
	box.write("French.txt", file);
	UTL_translate_load(1, "");
	EXPECT_EQ(box.take_log(),
	          "ERROR: language file line Empty==== missing right side translation.\n"
	          "ERROR: language file line No splitter here missing ==== splitter.\n"
	          "ERROR: language line Quit====Sortir is a second translation of Quit====Quitter\n"
	          "ERROR: language line 'Copy %1:name%====Copie %2:name%' has incorrect translated parameters.\n"
	          "ERROR: language line 'Bad \xC3(====Mauvais' contains invalid UTF8 characters.\n");

	struct tr {
		const char* english;
		const char* shown;
	};
	const tr cases[] = {
	    {"Quit", "Quitter"},  // the first translation wins
	    {"Back", "Retour"},   // a tab after the keyword, blanks before it
	    {"Next", "Next"},     // not the keyword
	    {"Line one\nLine two\r", "Ligne un\nLigne deux\r"},
	    {"Empty", "Empty"},
	    {"A", "B"},
	    {"Two blanks", "Two blanks"},
	    {" Two blanks", "Deux blancs"},
	    {"Copy %1:name%", "Copie %2:name%"},  // logged, still used
	    {"%1:a% of %2:b%", "%2:b% sur %1:a%"},
	    {"Bad \xC3(", "Mauvais"},
	    {"a", "b====c"},
	    {"Unknown text", "Unknown text"},
	};
	for (const tr& c : cases) EXPECT_EQ(UTL_translate_string(c.english), c.shown) << c.english;
	// Nothing asked for is logged without --missing_strings.
	EXPECT_EQ(box.take_log(), "");

	// A new load starts from empty; clearing goes back to English.
	box.write("French.txt", kHeader + "STRING Back====Arriere\n");
	UTL_translate_load(1, "");
	EXPECT_EQ(UTL_translate_string("Quit"), "Quit");
	EXPECT_EQ(UTL_translate_string("Back"), "Arriere");
	UTL_translate_clear();
	EXPECT_EQ(UTL_translate_string("Back"), "Back");
}

TEST_F(Translate, PluralRulesOfTheThreeLanguages)
{
	box.write("French.txt", kHeader + "STRING file====fichier\nSTRING files====fichiers\n");
	box.write("German.txt", kHeader + "STRING file====Datei\nSTRING files====Dateien\n");
	struct plural_case {
		int lang;
		int n;
		const char* shown;
	};
	const plural_case cases[] = {
	    {0, -1, "files"},    {0, 0, "files"},     {0, 1, "file"},       {0, 2, "files"},
	    {1, -1, "fichier"},  {1, 0, "fichier"},   {1, 1, "fichier"},    {1, 2, "fichiers"},
	    {2, -1, "Dateien"},  {2, 0, "Dateien"},   {2, 1, "Datei"},      {2, 2, "Dateien"},
	};
	for (const plural_case& c : cases) {
		if (c.lang == 0) UTL_translate_clear();
		else UTL_translate_load(c.lang, "");
		EXPECT_EQ(UTL_translate_plural(c.n, "file", "files"), c.shown) << c.lang << " " << c.n;
	}
}

TEST(TextSubstitution, PlaceholdersAreFilledInAnyOrder)
{
	struct sub_case {
		const char* fmt;
		std::vector<std::string> args;
		const char* want;
	};
	const sub_case cases[] = {
	    {"Scanning %1:number% of %2:total% files.", {"3", "10"}, "Scanning 3 of 10 files."},
	    {"%2:total% files, %1:number% scanned.", {"3", "10"}, "10 files, 3 scanned."},
	    {"Copy %3:extra% and %1:a%", {"x", "y"}, "Copy %3:extra% and x"},  // no third argument
	    {"%0:zero% %-1:neg% %7:seven%", {"a", "b", "c", "d", "e", "f"}, "%0:zero% %-1:neg% %7:seven%"},
	    {"Insert %1:a% here", {"%2:b%", "no"}, "Insert %2:b% here"},  // never expanded twice
	    {"%1:file%, currently %2:progress%% done with that file.", {"a.zip", "40"},
	     "a.zip, currently 40% done with that file."},
	    {"100% sure: %1:x%", {"y"}, "100% sure: y"},  // the lone '%' spans to the next ':' and '%'
	    {"50%", {"z"}, "50%"},
	    {"%", {"z"}, "%"},
	    {"% 1:spaced%", {"ok"}, "ok"},  // white space before the number is allowed
	    {"%1x:name%", {"ok"}, "ok"},     // reading stops at the first non-digit
	    {"%1:a%%1:a%%1:a%", {"q"}, "qqq"},
	    {"%6:f% %5:e% %4:d% %3:c% %2:b% %1:a%", {"1", "2", "3", "4", "5", "6"}, "6 5 4 3 2 1"},
	    {"%1:a", {"z"}, "%1:a"},
	    {"%99999999999999999999:big%", {"z"}, "%99999999999999999999:big%"},
	};
	for (const sub_case& c : cases) {
		std::vector<const std::string*> ptrs;
		for (const std::string& a : c.args) ptrs.push_back(&a);
		EXPECT_EQ(UTL_string_sub_x(c.fmt, (int)ptrs.size(), ptrs.data()), c.want) << c.fmt;
	}
	// The fixed-count forms hand over their arguments in order.
	EXPECT_EQ(UTL_string_sub("%1:a%", "A"), "A");
	EXPECT_EQ(UTL_string_sub("%2:b%%1:a%", "A", "B"), "BA");
	EXPECT_EQ(UTL_string_sub("%3:c%", "A", "B", "C"), "C");
	EXPECT_EQ(UTL_string_sub("%4:d%", "A", "B", "C", "D"), "D");
	EXPECT_EQ(UTL_string_sub("%5:e%", "A", "B", "C", "D", "E"), "E");
	EXPECT_EQ(UTL_string_sub("%6:f%%1:a%", "A", "B", "C", "D", "E", "F"), "FA");
}

TEST(TextSubstitution, PlaceholderNumbersAreListedInOrder)
{
	struct check_case {
		const char* text;
		std::vector<int> want;
	};
	const check_case cases[] = {
	    {"Scanning %1:number% of %2:total% files.", {1, 2}},
	    {"%2:b% then %1:a%", {2, 1}},
	    {"%12:big% %0:zero% %-3:neg%", {12}},
	    {"40%% done %1:a%", {1}},
	    {"no placeholders", {}},
	};
	for (const check_case& c : cases) {
		std::vector<int> got = {99};
		UTL_string_check(c.text, got);
		std::vector<int> want = {99};
		want.insert(want.end(), c.want.begin(), c.want.end());
		EXPECT_EQ(got, want) << c.text;
	}
}

TEST(TextStrings, ReplaceAllAndUnescape)
{
	struct rep_case {
		const char* s;
		const char* find;
		const char* replace;
		const char* want;
	};
	const rep_case cases[] = {
	    {"a-b-c", "-", "+", "a+b+c"},
	    {"xaabb", "ab", "a", "xaa"},   // the replacement is searched again
	    {"aaaa", "aa", "", ""},
	    {"banana", "a", "aa", "baanaanaa"},  // a replacement holding the pattern ends
	    {"text", "", "x", "text"},            // an empty pattern changes nothing
	    {"none", "z", "y", "none"},
	};
	for (const rep_case& c : cases) {
		std::string s = c.s;
		STR_replace_all(s, c.find, c.replace);
		EXPECT_EQ(s, c.want) << c.s << " / " << c.find;
	}
	std::string esc = "one\\ntwo\\r\\\\n";
	STR_unescape(esc);
	EXPECT_EQ(esc, "one\ntwo\r\\\n");
}

}  // namespace
