// Command-line options read by the translation code: --lang and
// --missing_strings. Options cannot be taken back once given, so each test
// adds them in the order it needs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/OOPS_cpp/http.h"
#include "DIzivoz/OOPS_cpp/pref.h"
#include "DIzivoz/UTL/UTL_cmdline.h"
#include "DIzivoz/UTL/UTL_translate.h"
#include "tests/support/text_fixture.h"

namespace {

void give_option(const char* arg)
{
	const char* argv[] = {"ventora", arg};
	cmdline.init_unix(2, argv);
}

struct locale_env {
	const char* language;
	const char* lc_all;
	const char* lc_messages;
	const char* lang;
};

void set_env(const locale_env& e)
{
	const char* names[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
	const char* values[] = {e.language, e.lc_all, e.lc_messages, e.lang};
	for (int i = 0; i < 4; ++i) {
		if (values[i]) setenv(names[i], values[i], 1);
		else unsetenv(names[i]);
	}
}

TEST(TextOptions, DefaultLanguageFromOptionThenSystemPreferences)
{
	struct env_case {
		locale_env env;
		int want;
	};
	const env_case cases[] = {
	    {{nullptr, nullptr, nullptr, nullptr}, -1},
	    {{nullptr, nullptr, nullptr, "fr_FR.UTF-8"}, 1},
	    {{"pt_BR:de", nullptr, nullptr, "fr_FR.UTF-8"}, 2},   // first code in the table wins
	    {{"", "C", "POSIX", "en_US.UTF-8"}, 0},               // empty, C and POSIX are skipped
	    {{nullptr, "de_AT@euro", nullptr, "fr_FR"}, 2},
	    {{"it:es", nullptr, nullptr, nullptr}, -1},
	    {{nullptr, nullptr, nullptr, "fra_FR"}, -1},          // three letters are no two-letter code
	    {{"::fr", nullptr, nullptr, nullptr}, 1},
	};
	for (const env_case& c : cases) {
		set_env(c.env);
		EXPECT_EQ(UTL_get_default_language(), c.want) << (c.env.lang ? c.env.lang : "-");
	}
	EXPECT_EQ(UTL_lang_match_preferences({"xx", "de"}), 2);
	EXPECT_EQ(UTL_lang_match_preferences({"en-US"}), -1);

	// --lang must equal a code exactly; otherwise the system list decides.
	set_env({nullptr, nullptr, nullptr, "de_DE.UTF-8"});
	give_option("--language=fr");
	EXPECT_EQ(UTL_get_default_language(), 2);
	for (const char* not_a_code : {"--lang=FR", "--lang=fr_FR", "--lang="}) {
		give_option(not_a_code);
		EXPECT_EQ(UTL_get_default_language(), 2) << not_a_code;
	}
	give_option("--lang=fr");
	EXPECT_EQ(UTL_get_default_language(), 1);
	set_env({nullptr, nullptr, nullptr, nullptr});
	give_option("--lang=en");
	EXPECT_EQ(UTL_get_default_language(), 0);
}

TEST(TextOptions, MissingStringsAreLoggedOncePerLoad)
{
	text_sandbox box;
	box.write("German.txt", "I\n900 version\nTRANSLATION\nSTRING Quit====Beenden\n");
	const std::string two_lines = "First line\nsecond\rline";
	const std::string pasted =
	    "STRING First line\\nsecond\\rline====First line\\nsecond\\rline\n";

	UTL_translate_load(2, "");
	EXPECT_EQ(UTL_translate_string(two_lines), two_lines);
	give_option("--missing_strings");
	box.take_log();
	// Only a load reads the option.
	EXPECT_EQ(UTL_translate_string(two_lines), two_lines);
	EXPECT_EQ(box.take_log(), "");

	UTL_translate_load(2, "");
	box.take_log();
	for (int i = 0; i < 3; ++i) EXPECT_EQ(UTL_translate_string(two_lines), two_lines);
	EXPECT_EQ(UTL_translate_string("Quit"), "Beenden");
	EXPECT_EQ(UTL_translate_plural(2, "one item", "items"), "items");
	EXPECT_EQ(box.take_log(), pasted + "STRING items====items\n");

	UTL_translate_load(2, "");
	box.take_log();
	UTL_translate_string(two_lines);
	EXPECT_EQ(box.take_log(), pasted);

	// English has nothing to be missing from.
	UTL_translate_clear();
	UTL_translate_string(two_lines);
	EXPECT_EQ(box.take_log(), "");
}

TEST(TextOptions, PreferenceOptionsOverrideTheFile)
{
	text_sandbox box;
	setenv("XDG_CONFIG_HOME", (box.dir() + "config").c_str(), 1);
	box.write("config/Ventora/Ventora Installer.prf",
	          "I\n9002 version\n_stream_count 1\n_proxy_host file host\n_get_beta 1\n");
	give_option("--pref:_stream_count=3");
	give_option("--pref:_proxy_host=cmd host");
	give_option("--pref:_log_actions=1");
	give_option("--pref:_proxy_port_int=");
	give_option("--pref:_get_beta");
	stg.stream_count = stg.log_actions = 0;
	stg.get_beta = 5;
	http.proxy_port = 77;
	pref.IO_set(11, 0);
	EXPECT_EQ(stg.stream_count, 3);
	EXPECT_EQ(stg.log_actions, 1) << "not in the file at all";
	EXPECT_EQ(http.proxy_host, "cmd host");
	EXPECT_EQ(http.proxy_port, 0) << "an empty option value reads as 0";
	EXPECT_EQ(stg.get_beta, 0);
	EXPECT_EQ(http.proxy_port_text, "");

	// The overrides were for this run: saving puts back what the file held,
	// lines and missing lines alike.
	const std::string stored = "I\n9002 version\n_stream_count 1\n_proxy_host file host\n_get_beta 1\n";
	pref.IO_set(11, 1);
	EXPECT_EQ(text_read_file(pref_file_path(11)), stored);

	// A value changed during the run (the preferences window) is saved as
	// changed; the others still go back as stored.
	pref.IO_set(11, 0);
	stg.stream_count = 2;
	http.proxy_port = 3128;
	pref.IO_set(11, 1);
	EXPECT_EQ(text_read_file(pref_file_path(11)),
	          "I\n9002 version\n_stream_count 2\n_proxy_host file host\n_proxy_port_int 3128\n_get_beta 1\n");
}

}  // namespace
