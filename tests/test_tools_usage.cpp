// The project's own tools on the command line: --help prints their usage and
// ends with 0; an unknown option, or one without its value, is refused with
// the usage on standard error and status 2, before anything is written.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/dvd_discs.h"
#include "tests/support/test_files.h"

namespace {

struct run_result {
	int status = -1;
	std::string out, err;
};

// Runs a program of the build folder in `cwd` with HOME there too.
run_result run_tool(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                    const std::string& streams)
{
	std::string cmd = "cd '" + cwd + "' && HOME='" + cwd + "' DISPLAY= '" VENTORA_TEST_BIN_DIR "/" + program + "'";
	for (const std::string& a : args) cmd += " '" + a + "'";
	cmd += " >'" + streams + "out' 2>'" + streams + "err' </dev/null";
	run_result r;
	const int st = std::system(cmd.c_str());
	if (st != -1 && WIFEXITED(st)) r.status = WEXITSTATUS(st);
	r.out = vtest::read_file_bytes(streams + "out");
	r.err = vtest::read_file_bytes(streams + "err");
	return r;
}

TEST(ToolsUsage, HelpPrintsUsageAndUnknownOptionsAreRefusedTouchingNothing)
{
	struct row {
		const char* program;
		std::vector<std::string> args;
		int status;
		const char* says;  // on standard error before the usage, for refusals
	};
	const row rows[] = {
	    {"ventora_demo", {"--help"}, 0, ""},
	    {"ventora_demo", {"-h", "--dest=x"}, 0, ""},
	    {"ventora_demo", {"--bogus"}, 2, "unknown option \"--bogus\""},
	    {"ventora_demo", {"--dest=x", "--destination=y"}, 2, "unknown option \"--destination=y\""},
	    {"ventora_demo", {"--dest"}, 2, "option --dest needs a value"},
	    {"ventora_demo", {"--work="}, 2, "option --work needs a value"},
	    {"ventora_gui_demo", {"--help"}, 0, ""},
	    {"ventora_gui_demo", {"--work=x", "--frames=3"}, 2, "unknown option \"--frames=3\""},
	    {"ventora_gui_demo", {"--interactive=yes"}, 2, "option --interactive takes no value"},
	    {"ventora_gui_demo", {"--seconds=soon"}, 2, "--seconds must be a number of seconds"},
	    {"ventora_maker", {"--help"}, 0, ""},
	    {"ventora_maker", {"--mastre=x"}, 2, "unknown option \"--mastre=x\""},
	};
	for (const row& r : rows) {
		SCOPED_TRACE(std::string(r.program) + " " + r.args[0]);
		vtest::temp_folder cwd, streams;
		const run_result got = run_tool(r.program, r.args, cwd.path(), streams.path());
		EXPECT_EQ(got.status, r.status) << got.out << got.err;
		const std::string usage = std::string("Usage: ") + r.program + " [options]\n";
		if (r.status == 0) {
			EXPECT_EQ(got.out.rfind(usage, 0), 0u) << got.out;
			EXPECT_EQ(got.err, "");
		} else {
			EXPECT_EQ(got.out, "");
			EXPECT_EQ(got.err.rfind(std::string(r.program) + ": " + r.says, 0), 0u) << got.err;
			EXPECT_NE(got.err.find(usage), std::string::npos) << got.err;
		}
		EXPECT_EQ(vtest::files_below(cwd.path()), std::vector<std::string>{});
	}
}

}  // namespace
