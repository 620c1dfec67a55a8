#include "DIzivoz/UTL/UTL_cmdline.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OOPS_cpp/butn.h"

// Built after the globals unit, so the log exists before anything is parsed.
UTL_cmdline cmdline __attribute__((init_priority(300)));

const char* const cmdline_version_line = "Ventora Web Demo Installer 2.04r1";

const char* const cmdline_usage_text =
	"Usage: Ventora [options...]\n"
	"\n"
	"Options are given on the command line as --flag or as --flag=value, each\n"
	"one separated from the next by a blank. The OpenGL options below apply to\n"
	"every application of the Ventora family (the simulator, the installer and\n"
	"the tools that come with them); the frame-rate test applies to the\n"
	"simulator only. An option that an application does not use is accepted\n"
	"and ignored, so the same options can be given to all of them.\n"
	"\n"
	"To give options, start the application from a terminal, for example\n"
	"    ./Ventora --no_vbos --lang=de\n"
	"Every option that was given is written to the log file near its top, so\n"
	"the log shows afterwards which options a run used.\n"
	"\n"
	"--help\n"
	"-h\n"
	"    Print this text and quit.\n"
	"\n"
	"--no_sound\n"
	"    Run without sound: the sound hardware is not opened at all. Use this\n"
	"    when the application hangs or crashes while starting its sound.\n"
	"    Everything else runs as usual: only the sound is missing.\n"
	"    Your settings stay.\n"
	"\n"
	"--lang=<lang code>\n"
	"    Run in the language of the two-letter code (en for English, fr for\n"
	"    French, de for German) when no saved preference names a language,\n"
	"    bypassing the detection of the system's language.\n"
	"\n"
	"OPTIONS TO DISABLE HARDWARE ACCELERATION\n"
	"\n"
	"These options turn off OpenGL features that the application would use on\n"
	"this machine. Use them to work around driver problems: if the application\n"
	"crashes, hangs or draws wrongly, try them one at a time, starting at the\n"
	"top of the list, and keep the first one that helps.\n"
	"If one of them helps, please send your log file and the name of the\n"
	"option to the maker's support, so that a later version can switch the\n"
	"feature off for your video card and driver by itself.\n"
	"\n"
	"--no_vbos\n"
	"    Do not use vertex buffer objects; geometry is sent from main memory.\n"
	"\n"
	"--no_fbos\n"
	"    Do not use framebuffer objects; render-to-texture effects copy from the\n"
	"    screen instead.\n"
	"\n"
	"--no_pbos\n"
	"    Do not use pixel buffer objects for texture uploads.\n"
	"\n"
	"--no_sprites\n"
	"    Do not use point sprites; lights are drawn as textured quads.\n"
	"\n"
	"--no_pixel_counters\n"
	"    Do not use occlusion queries to count drawn pixels.\n"
	"\n"
	"--no_aniso_filtering\n"
	"    Do not use anisotropic texture filtering.\n"
	"\n"
	"--no_hw_mipmap\n"
	"    Do not let the hardware build texture mipmaps; they are built by the\n"
	"    application.\n"
	"\n"
	"--no_fshaders\n"
	"    Do not use fragment shaders.\n"
	"\n"
	"--no_vshaders\n"
	"    Do not use vertex shaders.\n"
	"\n"
	"--no_glsl\n"
	"    Do not use the OpenGL shading language at all.\n"
	"    This also turns off every effect that needs shaders.\n"
	"\n"
	"--no_threaded_ogl\n"
	"    Do not load textures on a second OpenGL context from worker threads;\n"
	"    everything is loaded on the main thread, which may cause pauses.\n"
	"\n"
	"OPTIONS TO ENABLE INCOMPATIBLE HARDWARE ACCELERATION\n"
	"\n"
	"These options turn on OpenGL features that the application has switched\n"
	"off for this machine because its driver is known to have problems with\n"
	"them. They may crash the application or draw wrongly; use them only to\n"
	"test newer drivers, and report what you find together with your log.\n"
	"\n"
	"--use_vbos\n"
	"    Use vertex buffer objects even where they are turned off by default.\n"
	"\n"
	"--use_sprites\n"
	"    Use point sprites even where they are turned off by default.\n"
	"\n"
	"--use_fshaders\n"
	"    Use fragment shaders even where they are turned off by default.\n"
	"\n"
	"--use_vshaders\n"
	"    Use vertex shaders even where they are turned off by default.\n"
	"\n"
	"--use_glsl\n"
	"    Use the OpenGL shading language even where it is turned off by default.\n"
	"\n"
	"--force_run\n"
	"    Run even on a video card below the minimum the application needs. Expect\n"
	"    missing effects, low frame rates or a crash.\n"
	"\n"
	"Each of these options stays in effect only for the run it is given to;\n"
	"nothing is saved, so a run without it is back to the defaults.\n"
	"\n"
	"FRAMERATE TEST\n"
	"\n"
	"--fps_test=n\n"
	"    Run the frame-rate test with the settings of test number n: the\n"
	"    simulator loads a fixed flight, flies it for a fixed time, writes the\n"
	"    frame rate it reached to its log and quits. No dialogs are shown during\n"
	"    the test, and the preferences are neither read nor saved, so the test\n"
	"    gives the same result on every run of the same machine.\n"
	"\n"
	"--require_fps=n\n"
	"    With --fps_test: after the test, report whether the frame rate reached\n"
	"    at least n frames per second, and leave the result in the log so that\n"
	"    scripts can compare settings and machines.";

void UTL_cmdline::add_option(const std::string& key, const std::string& value)
{
	if (options_.count(key)) xer << "WARNING: command line option " << key << "=" << value << "included twice.\n";
	options_[key] = value;
	xer << "     '" << key;
	if (!value.empty()) xer << "'='" << value;
	xer << "'\n";
}

static void split_option(const std::string& arg, std::string* key, std::string* value)
{
	const size_t eq = arg.find('=');
	if (eq == std::string::npos) {
		*key = arg;
		value->clear();
	} else {
		*key = arg.substr(0, eq);
		*value = arg.substr(eq + 1);
	}
}

void UTL_cmdline::init_unix(int argc, const char** argv)
{
	parse_unix(argc, argv);
	init_common();
}

void UTL_cmdline::init_win(const char* line)
{
	parse_win(line);
	init_common();
}

void UTL_cmdline::parse_unix(int argc, const char** argv)
{
	for (int i = 1; i < argc; ++i) {
		if (!argv || !argv[i]) continue;
		std::string key, value;
		split_option(argv[i], &key, &value);
		add_option(key, value);
	}
}

void UTL_cmdline::parse_win(const char* line)
{
	const std::string s = line ? line : "";
	size_t i = 0;
	while (i < s.size()) {
		while (i < s.size() && std::isspace((unsigned char)s[i])) ++i;
		const size_t start = i;
		while (i < s.size() && !std::isspace((unsigned char)s[i])) ++i;
		if (i == start) break;
		std::string key, value;
		split_option(s.substr(start, i - start), &key, &value);
		if (key.empty()) continue;
		add_option(key, value);
	}
}

int UTL_cmdline::informational_text(std::string* out)
{
	out->clear();
	if (has_option("--cmnds")) {
		const std::string which = get_option("--cmnds");
		if (which == "all") {
			// "%-50s %s\n" without a length limit on either part.
			for (int i = 0; i < cmnd.count(); ++i) {
				std::string name = cmnd.name[i];
				if (name.size() < 50) name.append(50 - name.size(), ' ');
				*out += name + " " + cmnd.description[i] + "\n";
			}
		} else {
			std::vector<std::string> below;
			cmnd.get_cmds_in_path(which, below);
			std::sort(below.begin(), below.end());
			for (const std::string& b : below) *out += b + "\n";
		}
		return 1;
	}
	if (has_option("--version")) {
		*out = std::string(cmdline_version_line) + "\n";
		return 1;
	}
	if (has_option("-h") || has_option("--help")) {
		*out = std::string(cmdline_usage_text) + "\n";
		return 1;
	}
	return 0;
}

void UTL_cmdline::init_common()
{
	std::string text;
	if (!informational_text(&text)) return;
	std::fwrite(text.data(), 1, text.size(), stdout);
	std::fflush(stdout);
	std::exit(0);
}

int UTL_cmdline::has_option(const char* key)
{
	return key && options_.count(key) ? 1 : 0;
}

std::string UTL_cmdline::get_option(const char* key)
{
	if (!key) return std::string();
	auto it = options_.find(key);
	return it == options_.end() ? std::string() : it->second;
}
