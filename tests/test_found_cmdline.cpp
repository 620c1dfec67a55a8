#include <gtest/gtest.h>

#include <unistd.h>

#include "tests/support/x_session.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/UTL/UTL_cmdline.h"
#include "tests/support/test_files.h"

extern char** environ;

namespace {


// Parses args with a fresh option map while the log goes to a file; returns
// what was logged.
std::string parse_logged(UTL_cmdline& c, std::vector<const char*> args)
{
	const std::string path = ::testing::TempDir() + "found_cmdline_log.txt";
	xer.open(path);
	args.insert(args.begin(), "ventora_installer");
	c.init_unix((int)args.size(), args.data());
	xer.close();
	return vtest::read_file_bytes(path);
}

struct run_result {
	int status = -1;
	std::string out;
};

// Runs the installer with args (no shell, no display) and collects its
// standard output. env entries ("NAME=value") are added to the environment.
run_result run_installer(std::vector<std::string> args, std::vector<std::string> env = {})
{
	const std::string exe = VENTORA_TEST_BIN_DIR "/ventora_installer";
	std::vector<char*> argv;
	argv.push_back(const_cast<char*>(exe.c_str()));
	for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
	argv.push_back(nullptr);

	std::vector<std::string> env_store;
	for (char** e = environ; *e; ++e)
		if (std::strncmp(*e, "DISPLAY=", 8) != 0 && std::strncmp(*e, "WAYLAND_DISPLAY=", 16) != 0)
			env_store.push_back(*e);
	env_store.insert(env_store.end(), env.begin(), env.end());
	std::vector<char*> envp;
	for (auto& e : env_store) envp.push_back(const_cast<char*>(e.c_str()));
	envp.push_back(nullptr);

	run_result r;
	int fds[2];
	if (pipe2(fds, O_CLOEXEC) != 0) return r;
	posix_spawn_file_actions_t fa;
	posix_spawn_file_actions_init(&fa);
	posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
	posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
	pid_t pid = 0;
	const int rc = posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv.data(), envp.data());
	posix_spawn_file_actions_destroy(&fa);
	close(fds[1]);
	if (rc != 0) {
		close(fds[0]);
		return r;
	}
	char buf[4096];
	ssize_t n;
	while ((n = read(fds[0], buf, sizeof(buf))) > 0) r.out.append(buf, (size_t)n);
	close(fds[0]);
	int st = 0;
	waitpid(pid, &st, 0);
	r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 1000 + WTERMSIG(st);
	return r;
}

}  // namespace

TEST(FoundCmdline, KeysValuesAndLogEcho)
{
	UTL_cmdline c;
	const std::string log = parse_logged(
	    c, {"--lang=fr", "--a=b=c", "--x=", "--no_dds", "-path", "/opt/Ventora 9/", "=odd", "--lang=de"});

	EXPECT_EQ(c.get_option("--lang"), "de");  // later value wins
	EXPECT_EQ(c.get_option("--a"), "b=c");
	EXPECT_EQ(c.has_option("--x"), 1);
	EXPECT_EQ(c.get_option("--x"), "");
	EXPECT_EQ(c.has_option("--no_dds"), 1);
	EXPECT_EQ(c.has_option("-path"), 1);
	EXPECT_EQ(c.has_option("/opt/Ventora 9/"), 1);
	EXPECT_EQ(c.get_option("-path"), "");
	EXPECT_EQ(c.has_option(""), 1);
	EXPECT_EQ(c.get_option(""), "odd");
	EXPECT_EQ(c.has_option("--absent"), 0);
	EXPECT_EQ(c.get_option("--absent"), "");

	EXPECT_EQ(log,
	          "     '--lang'='fr'\n"
	          "     '--a'='b=c'\n"
	          "     '--x'\n"
	          "     '--no_dds'\n"
	          "     '-path'\n"
	          "     '/opt/Ventora 9/'\n"
	          "     ''='odd'\n"
	          "WARNING: command line option --lang=deincluded twice.\n"
	          "     '--lang'='de'\n");
}

TEST(FoundCmdline, KeysMatchWholeAndCaseMatters)
{
	UTL_cmdline c;
	parse_logged(c, {"--language=fr", "--Lang=de", "--pref:_stream_count=3"});
	EXPECT_EQ(c.has_option("--lang"), 0);
	EXPECT_EQ(c.has_option("--language"), 1);
	EXPECT_EQ(c.has_option("--langu"), 0);
	EXPECT_EQ(c.get_option("--lang"), "");
	EXPECT_EQ(c.get_option("--Lang"), "de");
	EXPECT_EQ(c.get_option("--pref:_stream_count"), "3");
	EXPECT_EQ(c.has_option("--pref:"), 0);
}

TEST(FoundCmdline, WholeLineFormSkipsEmptyKeys)
{
	UTL_cmdline c;
	const std::string path = ::testing::TempDir() + "found_cmdline_win.txt";
	xer.open(path);
	c.init_win("  --lang=fr\t=skipped   --no_vbos\n--lang=de ");
	xer.close();
	EXPECT_EQ(c.get_option("--lang"), "de");
	EXPECT_EQ(c.has_option("--no_vbos"), 1);
	EXPECT_EQ(c.has_option(""), 0);
	EXPECT_EQ(vtest::read_file_bytes(path),
	          "     '--lang'='fr'\n"
	          "     '--no_vbos'\n"
	          "WARNING: command line option --lang=deincluded twice.\n"
	          "     '--lang'='de'\n");
}

TEST(FoundCmdline, InformationalTextsAndPrecedence)
{
	const std::string all_line = std::string("sim/-none-/-none-") + std::string(33, ' ') + " Do nothing at all!\n";
	struct {
		std::vector<const char*> args;
		int informational;
		std::string starts;
	} cases[] = {
		{{"--lang=fr", "--cmndsx"}, 0, ""},
		{{"--cmnds=all"}, 1, all_line},
		{{"--cmnds"}, 1, "sim/\n"},
		{{"--cmnds="}, 1, "sim/\n"},
		{{"--cmnds=sim/"}, 1, "-none-/\n"},
		{{"--cmnds=sim/-none-/"}, 1, "-none-\n"},
		{{"--cmnds=sim/-none-/-none-"}, 1, ""},
		{{"--cmnds=nothing/"}, 1, ""},
		{{"--cmnds=si"}, 1, "m/\n"},
		{{"--version"}, 1, "Ventora Web Demo Installer 2.04r1\n"},
		{{"--help", "--version", "--cmnds=all"}, 1, all_line},
		{{"-h", "--version"}, 1, "Ventora Web Demo Installer 2.04r1\n"},
		{{"--help"}, 1, "Usage: Ventora [options...]\n"},
		{{"-h"}, 1, "Usage: Ventora [options...]\n"},
	};
	for (const auto& k : cases) {
		UTL_cmdline c;
		std::vector<const char*> argv = {"ventora_installer"};
		argv.insert(argv.end(), k.args.begin(), k.args.end());
		c.parse_unix((int)argv.size(), argv.data());
		std::string text = "stale";
		EXPECT_EQ(c.informational_text(&text), k.informational) << k.args[0];
		if (k.starts.empty())
			EXPECT_EQ(text, "") << k.args[0];
		else
			EXPECT_EQ(text.substr(0, k.starts.size()), k.starts) << k.args[0];
	}
}

TEST(FoundCmdline, CommandListingIsSortedWithDuplicatesKept)
{
	const size_t before = cmnd.name.size();
	cmnd.add_cmd("zeta/last", "z");
	cmnd.add_cmd("sim/view/forward", "f");
	cmnd.add_cmd("sim/view/back", "b");
	cmnd.add_cmd("alpha", "a");
	UTL_cmdline c;
	const char* argv[] = {"ventora_installer", "--cmnds"};
	c.parse_unix(2, argv);
	std::string text;
	ASSERT_EQ(c.informational_text(&text), 1);
	EXPECT_EQ(text, "alpha\nsim/\nsim/\nsim/\nzeta/\n");

	UTL_cmdline all;
	const char* argv_all[] = {"ventora_installer", "--cmnds=all"};
	all.parse_unix(2, argv_all);
	ASSERT_EQ(all.informational_text(&text), 1);
	// Registration order, not sorted.
	EXPECT_NE(text.find("zeta/last" + std::string(41, ' ') + " z\nsim/view/forward"), std::string::npos);

	// Leave the registry as the other tests expect it.
	for (auto* v : {&cmnd.symbol, &cmnd.name, &cmnd.description}) v->resize(before);
	cmnd.kind.resize(before);
	cmnd.press_count.resize(before);
}

// The informational options as the real program answers them: printed on
// standard output with status 0, before any window (no display is given).
TEST(FoundCmdline, InformationalOptionsEndTheRealProgram)
{
	const std::string all_line = std::string("sim/-none-/-none-") + std::string(33, ' ') + " Do nothing at all!\n";
	struct {
		std::vector<std::string> args;
		std::string out;
	} exact[] = {
		{{"--version"}, "Ventora Web Demo Installer 2.04r1\n"},
		{{"--cmnds=all"}, all_line},
		{{"--cmnds"}, "sim/\n"},
		{{"--cmnds=sim/"}, "-none-/\n"},
		{{"--cmnds=no/such/"}, ""},
		{{"--lang=de", "--cmnds", "--version", "-h"}, "sim/\n"},
		{{"-path", "/nowhere/", "--version"}, "Ventora Web Demo Installer 2.04r1\n"},
	};
	for (const auto& k : exact) {
		const run_result r = run_installer(k.args);
		EXPECT_EQ(r.status, 0) << k.args[0];
		EXPECT_EQ(r.out, k.out) << k.args[0];
	}

	for (const char* opt : {"-h", "--help"}) {
		const run_result r = run_installer({opt});
		EXPECT_EQ(r.status, 0) << opt;
		EXPECT_EQ(r.out.rfind("Usage: Ventora [options...]\n", 0), 0u) << opt;
		ASSERT_GE(r.out.size(), 2u);
		EXPECT_EQ(r.out.back(), '\n');
		for (const char* name :
		     {"--help", "-h", "--no_sound", "--lang=<lang code>", "OPTIONS TO DISABLE HARDWARE ACCELERATION",
		      "--no_vbos", "--no_fbos", "--no_pbos", "--no_sprites", "--no_pixel_counters",
		      "--no_aniso_filtering", "--no_hw_mipmap", "--no_fshaders", "--no_vshaders", "--no_glsl",
		      "--no_threaded_ogl", "OPTIONS TO ENABLE INCOMPATIBLE HARDWARE ACCELERATION", "--use_vbos",
		      "--use_sprites", "--use_fshaders", "--use_vshaders", "--use_glsl", "--force_run",
		      "FRAMERATE TEST", "--fps_test=n", "--require_fps=n"})
			EXPECT_NE(r.out.find("\n" + std::string(name) + "\n"), std::string::npos) << name;
	}

	// Without an informational option the program goes on past the parser.
	const run_result plain = run_installer({"--lang=fr"});
	EXPECT_EQ(plain.out.find("Usage"), std::string::npos);
}

// The installer reads its preferences at start and writes them back at exit,
// except in the frame-rate test mode.
TEST(FoundMain, PreferencesAreReadAtStartAndSavedAtExit)
{
	if (!std::getenv("DISPLAY")) GTEST_SKIP() << "the installer opens its window: run under xvfb-run";
	vtest::temp_folder home;
	const std::string prf = home.path() + "Ventora/Ventora Installer.prf";
	// Runs the installer until its first page, then closes its window.
	auto run = [&](const std::vector<std::string>& args) {
		vtest::xvfb_server x(1024, 768);  // its own display: no other test's window
		vtest::shell_app_run r("", {{"XDG_CONFIG_HOME", home.path()}}, "ventora_installer");
		if (!x.display().empty()) r.display = x.display();
		if (!r.start(args) || !r.wait_log("Wizard page 0:", 60)) return -1;
		vtest::x_view xv(r.display);
		unsigned long w = 0;
		for (int i = 0; i < 500 && !(w = xv.find_window("Ventora Installer")); ++i) usleep(10000);
		xv.send_close(w);
		return r.wait_exit(30);
	};

	EXPECT_EQ(run({}), 0);
	const std::string plain =
	    "I\n9002 version\n_stream_count 0\n_log_actions 0\n_proxy_port_int 0\n_get_beta 0\n";
	EXPECT_EQ(vtest::read_file_bytes(prf), plain);

	// Overrides hold for their run only: the file comes back as it was.
	EXPECT_EQ(run({"--pref:_stream_count=3", "--pref:_proxy_host=proxy.test", "--pref:_web_host=localhost",
	               "--pref:_proxy_port_int=8080"}),
	          0);
	EXPECT_EQ(vtest::read_file_bytes(prf), plain);

	// A stored value the run overrides is kept as stored, and a host changed in
	// the file is written back.
	vtest::write_file_bytes(prf, "I\n9002 version\n_stream_count 2\n_proxy_host proxy.test\n_proxy_port 3128\n"
	                             "_proxy_port_int 3128\n_web_host lists.example\n");
	EXPECT_EQ(run({"--pref:_stream_count=4", "--pref:_proxy_port_int=1", "--pref:_web_host=localhost"}), 0);
	EXPECT_EQ(vtest::read_file_bytes(prf),
	          "I\n9002 version\n_stream_count 2\n_log_actions 0\n_proxy_host proxy.test\n_proxy_port 3128\n"
	          "_proxy_port_int 3128\n_get_beta 0\n_web_host lists.example\n");
	vtest::write_file_bytes(prf, "I\n9002 version\n_stream_count 3\n");

	// The frame-rate test leaves the file as it was.
	EXPECT_EQ(run({"--fps_test", "--pref:_stream_count=4"}), 0);
	EXPECT_NE(vtest::read_file_bytes(prf).find("_stream_count 3\n"), std::string::npos);
}
