// Native file dialogs and the web-page opener, against recording stand-ins
// for zenity, kdialog and xdg-open placed first on PATH.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_url.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "tests/support/files_tmp.h"

namespace {

class Dialogs : public ::testing::Test {
protected:
	void SetUp() override
	{
		old_path = std::getenv("PATH") ? std::getenv("PATH") : "";
		tmp.mkdir("bin");
		tmp.mkdir("start");
		tmp.mkdir("my folder");
		setenv("PATH", tmp("bin").c_str(), 1);
		MACIBM_set_alert_sink([this](const alert_record& a) { alerts.push_back(a); });
	}
	void TearDown() override
	{
		setenv("PATH", old_path.c_str(), 1);
		MACIBM_set_alert_sink({});
	}
	// A stand-in that writes each argument on its own line to <name>.args,
	// prints `output` and exits with `status`.
	void stub(const std::string& name, const std::string& output, int status)
	{
		const std::string path = tmp("bin/" + name);
		std::ofstream f(path);
		f << "#!/bin/sh\n: > '" << tmp(name + ".args") << "'\n"
		  << "for a in \"$@\"; do printf '%s\\n' \"$a\" >> '" << tmp(name + ".args") << "'; done\n"
		  << "printf '%s' '" << output << "'\nexit " << status << "\n";
		f.close();
		chmod(path.c_str(), 0755);
	}
	std::string args(const std::string& name) { return tmp.read(name + ".args"); }

	files_tmp tmp;
	std::string old_path;
	std::vector<alert_record> alerts;
};

TEST_F(Dialogs, ZenityAnswers)
{
	struct row {
		const char* name;
		int kind;
		std::string output;
		int status;
		std::string out_before;
		int result;
		std::string out_after;
		std::string want_args;
	} rows[] = {
	    {"folder chosen, newline dropped", 2, tmp("my folder") + "\n", 0, tmp("start"), 1, tmp("my folder"),
	     "--file-selection\n--title=Pick a folder\n--directory\n--filename=" + tmp("start") + "/\n"},
	    // The start folder does not exist: the folder chosen before with this key.
	    {"cancel keeps out", 2, "", 1, "kept", 0, "kept",
	     "--file-selection\n--title=Pick a folder\n--directory\n--filename=" + tmp("my folder") + "/\n"},
	    {"save adds the name", 1, tmp("start/new.txt") + "\n", 0, "new.txt", 1, tmp("start/new.txt"),
	     "--file-selection\n--title=Pick a folder\n--save\n--filename=" + tmp("start") + "/new.txt\n"},
	    {"open", 0, tmp("start/a b") + "\n", 0, "", 1, tmp("start/a b"),
	     "--file-selection\n--title=Pick a folder\n--filename=" + tmp("start") + "/\n"},
	    {"failure exit", 2, "junk\n", 255, "kept", 0, "kept", ""},
	};
	for (const row& r : rows) {
		stub("zenity", r.output, r.status);
		std::string out = r.out_before;
		const std::string start = r.kind == 2 && r.out_before == "kept" ? std::string() : tmp("start");
		EXPECT_EQ(GetFilePathFromUser(r.kind, "Pick a folder", "Select", 10 + r.kind, r.kind == 2 ? r.out_before : start,
		                              out),
		          r.result)
		    << r.name;
		EXPECT_EQ(out, r.out_after) << r.name;
		if (!r.want_args.empty()) EXPECT_EQ(args("zenity"), r.want_args) << r.name;
		EXPECT_EQ(args("zenity").find("--ok-label"), std::string::npos);
	}
	EXPECT_TRUE(alerts.empty());
}

TEST_F(Dialogs, FolderIsRememberedPerKey)
{
	stub("zenity", tmp("my folder") + "\n", 0);
	std::string out;
	ASSERT_EQ(GetFilePathFromUser(2, "m", "Select", 7, "", out), 1);
	stub("zenity", "", 1);
	std::string again = "/does/not/exist";
	EXPECT_EQ(GetFilePathFromUser(2, "m", "Select", 7, again, again), 0);
	EXPECT_NE(args("zenity").find("--filename=" + tmp("my folder") + "/\n"), std::string::npos);
	EXPECT_EQ(again, "/does/not/exist");
	// Another key has no remembered folder.
	GetFilePathFromUser(2, "m", "Select", 8, "", again);
	EXPECT_EQ(args("zenity").find("--filename"), std::string::npos);
}

TEST_F(Dialogs, KdialogWhenZenityIsMissingThenNothing)
{
	stub("kdialog", tmp("my folder") + "\n", 0);
	std::string out = tmp("start");
	EXPECT_EQ(GetFilePathFromUser(2, "Pick", "Select", 1, out, out), 1);
	EXPECT_EQ(out, tmp("my folder"));
	EXPECT_EQ(args("kdialog"), "--title\nPick\n--getexistingdirectory\n" + tmp("start") + "/\n");

	unlink(tmp("bin/kdialog").c_str());
	out = "kept";
	EXPECT_EQ(GetFilePathFromUser(2, "Pick", "Select", 1, "", out), 0);
	EXPECT_EQ(out, "kept");
	EXPECT_TRUE(alerts.empty());
}

TEST_F(Dialogs, LongUrlWithQuotesIsOneArgument)
{
	std::ofstream f(tmp("bin/xdg-open"));
	f << "#!/bin/sh\nprintf '%s\\n%s\\n' \"$#\" \"$1\" > '" << tmp("url") << "'\n";
	f.close();
	chmod(tmp("bin/xdg-open").c_str(), 0755);
	std::string url = "https://a.example/q?x=1;y='2'&z=\"3\" and more";
	url += std::string(600 - url.size(), 'w');
	ASSERT_EQ(url.size(), 600u);
	go_to_URL(url);
	for (int i = 0; i < 300 && tmp.read("url").empty(); ++i) usleep(10000);
	EXPECT_EQ(tmp.read("url"), "1\n" + url + "\n");
	EXPECT_TRUE(alerts.empty());
}

}  // namespace
