// A web-demo install stopped part way, through the installer's real window:
// Quit, the window's close button and Back all ask first, and Cancel leaves
// neither the partial copy nor its registry line; a run killed mid-install is
// offered for finishing on the next start, and only the missing files come.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "DIzivoz/UTL/UTL_translate.h"
#include "Installer-f/wizard.h"
#include "tests/support/demo_release.h"
#include "tests/support/demo_release_fixture.h"
#include "tests/support/dvd_window.h"
#include "tests/support/test_files.h"
#include "tests/support/x_session.h"

namespace {

using vtest::back_x;
using vtest::language_table;
using vtest::next_until;
using vtest::quit_x;
using vtest::T;
using vtest::wait_for;

std::vector<std::string> lines_of(const std::string& path)
{
	std::vector<std::string> out;
	std::ifstream in(path);
	for (std::string l; std::getline(in, l);) out.push_back(l);
	return out;
}
bool lists(const std::string& path, const std::string& folder)
{
	for (const std::string& l : lines_of(path))
		if (l == folder) return true;
	return false;
}

// The files a Linux copy of the demo holds, as the master has them: path in
// the copy -> path in the master.
std::map<std::string, std::string> copy_files()
{
	std::map<std::string, std::string> out;
	for (const mtest::master_entry& e : vtest::demo_master()) {
		const std::string& p = e.rel;
		if (p.empty() || p.back() == '/' || p.find(".dsf.7z") != std::string::npos) continue;
		if (p.rfind("All/", 0) == 0) out[p.substr(4)] = p;
		if (p.rfind("Linux/", 0) == 0) out[p.substr(6)] = p;
	}
	return out;
}

using InstallStop = vtest::DemoReleaseTest;

const char* const kTile = "Global Scenery/-global terrain-/+40-120/+47-122.dsf";

TEST_F(InstallStop, QuitCloseAndBackAskFirstAndCancelLeavesNoCopyOrRegistryLine)
{
	// The tile never comes whole: the install stays under way.
	const std::string tile = "/" + rel->name + "/All/" + kTile + ".zip";
	vtest::http_behaviour stalls;
	stalls.stall_after = 100;
	enum how { quit, close_button, back };
	struct ask {
		how by;
		bool cancel;
	};
	struct row {
		int lang;
		std::vector<ask> asks;  // the last one cancels
	};
	const row rows[] = {
	    {1, {{quit, false}, {close_button, true}}},
	    {2, {{close_button, false}, {back, true}}},
	    {0, {{back, false}, {quit, true}}},
	};
	for (const row& r : rows) {
		SCOPED_TRACE("language " + std::to_string(r.lang));
		language_table table(r.lang);
		const std::string asked =
		    "Question asked: " + T("Are you sure you want to cancel the installation?  This will delete the partially "
		                           "installed copy of the Ventora 9 demo.");
		rel->server->clear_behaviours();
		rel->server->set_behaviour(tile, stalls);
		std::string dest, registry, unfinished, seen;
		bool gone_after_back = false;
		vtest::gui_run_options o;
		o.language = r.lang;
		o.stop_at = 4;
		o.change_destination = false;
		o.at_stop = [&](vtest::gui_ctl& c) {
			registry = c.run_folder + "home/.config/Ventora/ventora_install.txt";
			unfinished = c.run_folder + "home/.config/Ventora/ventora_install_unfinished.txt";
			dest = c.run_folder + "home/Desktop/" + UTL_string_sub(T("%1:install name% Demo"), "Ventora 9") + "/";
			ASSERT_TRUE(wait_for([&] { return rel->server->requests().size() && lists(registry, dest); }, 30));
			ASSERT_TRUE(wait_for(
			    [&] {
				    for (const auto& q : rel->server->requests())
					    if (q.path == tile) return true;
				    return false;
			    },
			    60))
			    << c.log();
			EXPECT_TRUE(lists(unfinished, dest));
			int asks = 0;
			for (const ask& a : r.asks) {
				SCOPED_TRACE(a.by);
				++asks;
				for (int k = 0; k < 5 && vtest::count_in(c.log(), asked) < asks; ++k) {
					if (a.by == quit) c.click(quit_x(r.lang), 23);
					if (a.by == close_button) c.close_window();
					if (a.by == back) c.click(back_x(r.lang), 23);
					c.wait_log(asked, 3);
					wait_for([&] { return vtest::count_in(c.log(), asked) >= asks; }, 3);
				}
				ASSERT_EQ(vtest::count_in(c.log(), asked), asks) << c.log();
				vtest::keep_settled_shot(c, "stop-question-" + std::to_string(r.lang) + "-" + std::to_string(asks));
				// The question is 700 x 206 in the middle of the window: Cancel above Continue.
				const std::string answered = std::string("Question answered: ") + (a.cancel ? "1" : "0");
				for (int k = 0; k < 5 && vtest::count_in(c.log(), answered) == 0; ++k) {
					c.click(50 + 96, 197 + (a.cancel ? 56 : 31));
					wait_for([&] { return vtest::count_in(c.log(), answered) > 0; }, 3);
				}
				ASSERT_GT(vtest::count_in(c.log(), answered), 0) << c.log();
				if (!a.cancel) {
					// The install goes on: still its page, the copy still there.
					EXPECT_TRUE(vtest::path_exists(dest));
					EXPECT_TRUE(lists(registry, dest));
				}
			}
			if (r.asks.back().by == back) {
				// Back to the destination page, then Quit asks nothing more.
				ASSERT_TRUE(wait_for([&] { return vtest::count_in(c.log(), "Wizard page 3:") == 2; }, 30)) << c.log();
				gone_after_back = !vtest::path_exists(dest) && !lists(registry, dest) && !lists(unfinished, dest);
				c.click(quit_x(r.lang), 23);
			}
		};
		std::shared_ptr<void> keep;
		vtest::gui_run_result res = vtest::run_web_demo_gui(*rel, o, keep);
		rel->server->clear_behaviours();
		EXPECT_EQ(res.exit_status, 0) << res.log;
		EXPECT_EQ(vtest::count_in(res.log, asked), (int)r.asks.size()) << res.log;
		if (r.asks.back().by == back) {
			EXPECT_TRUE(gone_after_back);
		}
		// Nothing of the copy is left, nor its line in the registry.
		EXPECT_FALSE(vtest::path_exists(dest)) << dest;
		EXPECT_FALSE(lists(registry, dest)) << vtest::read_file_bytes(registry);
		EXPECT_FALSE(lists(unfinished, dest));
	}
}

TEST_F(InstallStop, KilledInstallIsOfferedForFinishingFetchingOnlyWhatIsMissingOrForRemoval)
{
	const std::string tile = "/" + rel->name + "/All/" + kTile + ".zip";
	vtest::http_behaviour stalls;
	stalls.stall_after = 100;
	struct row {
		int lang;
		bool remove;
	};
	for (const row& r : {row{1, false}, row{2, true}}) {
		SCOPED_TRACE(r.remove ? "remove" : "finish");
		rel->server->clear_behaviours();
		rel->server->set_behaviour(tile, stalls);
		language_table table(r.lang);
		vtest::temp_folder kept;
		const std::string folder = kept.path() + "run/";
		mkdir(folder.c_str(), 0755);
		const std::string name = UTL_string_sub(T("%1:install name% Demo"), "Ventora 9");
		const std::string parent = folder + "home/Desktop/";
		const std::string dest = parent + name + "/";
		const std::string registry = folder + "home/.config/Ventora/ventora_install.txt";
		const std::string unfinished = folder + "home/.config/Ventora/ventora_install_unfinished.txt";
		const std::map<std::string, std::string> files = copy_files();
		auto complete = [&] {
			std::set<std::string> out;
			for (const auto& f : files)
				if (vtest::path_exists(dest + f.first) &&
				    vtest::read_file_bytes(dest + f.first) == vtest::read_file_bytes(rel->master + f.second))
					out.insert(f.first);
			return out;
		};

		// First run: killed once some files are in and the tile is on its way.
		vtest::gui_run_options o;
		o.language = r.lang;
		o.stop_at = 4;
		o.change_destination = false;
		o.run_folder = folder;
		o.at_stop = [&](vtest::gui_ctl& c) {
			ASSERT_TRUE(wait_for(
			    [&] {
				    bool asked = false;
				    for (const auto& q : rel->server->requests()) asked = asked || q.path == tile;
				    return asked && complete().size() >= 3;
			    },
			    60))
			    << c.log();
			kill(c.pid, SIGKILL);
		};
		std::shared_ptr<void> keep;
		vtest::run_web_demo_gui(*rel, o, keep);
		keep.reset();
		const std::set<std::string> had = complete();
		ASSERT_EQ(had.count(kTile), 0u);
		ASSERT_TRUE(lists(registry, dest)) << vtest::read_file_bytes(registry);
		rel->server->clear_behaviours();

		// Second run: the destination page offers to finish the copy, or to remove it.
		std::string offer = UTL_string_sub(T("The folder '%1:install name%' inside the folder '%2:parent folder%' holds an "
		                                     "installation that did not finish.\n\nNext finishes it and keeps the files "
		                                     "already installed."),
		                                   name, parent);
		// The log keeps a page's text on one line.
		for (size_t at; (at = offer.find('\n')) != std::string::npos;) offer.replace(at, 1, "\\n");
		const std::string create = "Wizard text: " + UTL_string_sub(T("I will create the folder '%1:install name%' inside "
		                                                              "the folder '%2:parent folder%'."),
		                                                            name, parent);
		const size_t from = rel->server->request_count();
		o.stop_at = 3;
		o.fly = false;
		o.at_stop = [&](vtest::gui_ctl& c) {
			ASSERT_TRUE(c.wait_log("Wizard text: " + offer, 30)) << c.log();
			vtest::keep_settled_shot(c, "unfinished-copy-" + std::to_string(r.lang));
			if (r.remove) {
				for (int k = 0; k < 5 && !c.wait_log(create, 3); ++k) c.click(500, 350);
				ASSERT_TRUE(c.wait_log(create, 1)) << c.log();
				c.click(quit_x(r.lang), 23);
				return;
			}
			ASSERT_TRUE(next_until(c, r.lang, "Wizard page 4:")) << c.log();
			ASSERT_TRUE(c.wait_log("Wizard page 5:", 60)) << c.log();
			c.click(770 - interface_icon_width(0, r.lang) / 2, 23);  // Quit in Next's place
		};
		vtest::gui_run_result second = vtest::run_web_demo_gui(*rel, o, keep);
		EXPECT_EQ(second.exit_status, 0) << second.log;
		EXPECT_EQ(vtest::count_in(second.log, "Question asked"), 0) << second.log;
		EXPECT_FALSE(lists(unfinished, dest));
		if (r.remove) {
			EXPECT_FALSE(vtest::path_exists(dest));
			EXPECT_FALSE(lists(registry, dest)) << vtest::read_file_bytes(registry);
			continue;
		}

		// The copy is whole, and only what was missing was asked for.
		EXPECT_EQ(complete().size(), files.size());
		const auto reqs = rel->server->requests();
		std::set<std::string> fetched;
		for (size_t i = from; i < reqs.size(); ++i)
			for (const auto& f : files)
				if (reqs[i].path.find("/" + f.second + ".") != std::string::npos) fetched.insert(f.first);
		for (const std::string& f : had) EXPECT_EQ(fetched.count(f), 0u) << f << " was fetched again";
		EXPECT_EQ(fetched.count(kTile), 1u);
		EXPECT_EQ(fetched.size() + had.size(), files.size());
		// Registered once.
		int lines = 0;
		for (const std::string& l : lines_of(registry)) lines += l == dest;
		EXPECT_EQ(lines, 1);
	}
}

}  // namespace
