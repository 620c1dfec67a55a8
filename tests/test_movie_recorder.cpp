// Movie recorder: the file layer read back with ffprobe/ffmpeg, and whole
// recordings from the real test window with a scripted frame clock.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_init.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OGL/OGL_extensions.h"
#include "DIzivoz/OGL/OGL_gl.h"
#include "DIzivoz/OOPS_cpp/qtim.h"
#include "DIzivoz/OOPS_cpp/tman.h"
#include "DIzivoz/UTL/UTL_xtim.h"
#include "Platform/plat_movie.h"
#include "tests/support/files_tmp.h"
#include "tests/support/gl_context.h"

namespace {

std::string run(const std::string& cmd)
{
	std::string out;
	FILE* p = popen(cmd.c_str(), "r");
	if (!p) return out;
	char b[4096];
	size_t n;
	while ((n = fread(b, 1, sizeof b, p)) > 0) out.append(b, n);
	pclose(p);
	return out;
}

// key=value lines of ffprobe's default writer without section wrappers.
std::string probe(const std::string& file, const std::string& entries)
{
	return run("ffprobe -v error -show_entries " + entries + " -of default=nw=1 '" + file + "' 2>/dev/null");
}

std::string field(const std::string& text, const std::string& key)
{
	std::istringstream in(text);
	std::string line;
	while (std::getline(in, line))
		if (line.compare(0, key.size() + 1, key + "=") == 0) return line.substr(key.size() + 1);
	return "";
}

std::vector<int> durations(const std::string& file)
{
	std::vector<int> v;
	std::istringstream in(run("ffprobe -v error -select_streams v:0 -show_entries packet=duration -of csv=p=0 '" +
	                          file + "' 2>/dev/null"));
	std::string line;
	while (std::getline(in, line))
		if (!line.empty()) v.push_back(std::stoi(line));
	return v;
}

// Frame n decoded to 8-bit RGB.
std::string decoded_frame(const std::string& file, int n, int w, int h)
{
	std::string rgb = run("ffmpeg -v error -i '" + file + "' -vf 'select=eq(n\\," + std::to_string(n) +
	                      ")' -frames:v 1 -f rawvideo -pix_fmt rgb24 - 2>/dev/null");
	if ((int)rgb.size() != w * h * 3) return "";
	return rgb;
}

void expect_colour(const std::string& rgb, int w, int x, int y, int r, int g, int b, const char* what)
{
	ASSERT_FALSE(rgb.empty()) << what;
	const unsigned char* p = (const unsigned char*)rgb.data() + (y * w + x) * 3;
	EXPECT_NEAR(p[0], r, 12) << what << " red at " << x << "," << y;
	EXPECT_NEAR(p[1], g, 12) << what << " green at " << x << "," << y;
	EXPECT_NEAR(p[2], b, 12) << what << " blue at " << x << "," << y;
}

std::vector<alert_record> alerts;

}  // namespace

// The file layer alone: odd sizes, the time scale, durations as given, colours.
TEST(movie_file, writes_a_photo_jpeg_quicktime_file)
{
	files_tmp tmp;
	const int w = 321, h = 241;
	std::string path = tmp("odd.mov");
	plat_movie* m = nullptr;
	ASSERT_EQ(plat_movie_create(path, &m), 0);
	ASSERT_EQ(plat_movie_encoder(m, w, h), 0);
	ASSERT_EQ(plat_movie_track(m), 0);
	const int units[3] = {1, 72, 30};
	const unsigned char colours[3][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
	std::vector<unsigned char> argb((size_t)w * h * 4);
	for (int f = 0; f < 3; ++f) {
		for (int i = 0; i < w * h; ++i) {
			argb[i * 4] = 255;
			for (int c = 0; c < 3; ++c) argb[i * 4 + 1 + c] = colours[f][c];
		}
		// Top rows white: rows are stored top first.
		for (int i = 0; i < w * 10; ++i) argb[i * 4 + 1] = argb[i * 4 + 2] = argb[i * 4 + 3] = 255;
		ASSERT_EQ(plat_movie_compress(m, argb.data()), 0);
		ASSERT_EQ(plat_movie_add(m, units[f]), 0);
	}
	ASSERT_EQ(plat_movie_finish(m), 0);
	plat_movie_close(m);

	std::string s = probe(path, "stream=codec_name,codec_tag_string,width,height,time_base,nb_frames:format_tags=major_brand");
	EXPECT_EQ(field(s, "codec_name"), "mjpeg");
	EXPECT_EQ(field(s, "codec_tag_string"), "jpeg");
	EXPECT_EQ(field(s, "width"), "321");
	EXPECT_EQ(field(s, "height"), "241");
	EXPECT_EQ(field(s, "time_base"), "1/600");
	EXPECT_EQ(field(s, "nb_frames"), "3");
	EXPECT_EQ(field(s, "TAG:major_brand"), "qt  ");
	EXPECT_EQ(durations(path), (std::vector<int>{1, 72, 30}));
	std::string f1 = decoded_frame(path, 1, w, h);
	expect_colour(f1, w, 160, 120, 0, 255, 0, "frame 1 body");
	expect_colour(f1, w, 160, 2, 255, 255, 255, "frame 1 top rows");
	expect_colour(decoded_frame(path, 2, w, h), w, 5, 235, 0, 0, 255, "frame 2");
}

TEST(movie_file, reports_errors_instead_of_writing)
{
	plat_movie* m = nullptr;
	EXPECT_LT(plat_movie_create("/nonexistent-folder/x.mov", &m), 0);
	EXPECT_EQ(m, nullptr);
	files_tmp tmp;
	ASSERT_EQ(plat_movie_create(tmp("bad.mov"), &m), 0);
	EXPECT_LT(plat_movie_encoder(m, 0, 10), 0);
	EXPECT_LT(plat_movie_compress(m, nullptr), 0);  // before the header
	EXPECT_LT(plat_movie_add(m, 5), 0);             // nothing compressed
	plat_movie_close(m);
	EXPECT_TRUE(plat_movie_available());
	EXPECT_FALSE(plat_movie_error(-2).empty());
}

// ---- recordings from the real window ------------------------------------------

namespace {

unsigned long long clock_us = 0;

class recorder_test : public gl_test {
protected:
	files_tmp tmp;
	std::string saved_app_path;
	int saved_pbo = 0;

	void SetUp() override
	{
		gl_test::SetUp();
		MACIBM_alloc_scratch();
		saved_app_path = app_path;
		app_path = tmp.root;
		saved_pbo = glExt.pbo_avail;
		alerts.clear();
		MACIBM_set_alert_sink([](const alert_record& a) { alerts.push_back(a); });
		clock_us = 1000000;
		xtim_set_counter([] { return clock_us; });
		qtim_set_settle_ms(0);
		mnw.tex_res = 0;  // lowest texture level: the screen copy stays full size
		qtim.movies_ok = plat_movie_available();
		qtim.width = 320;
		qtim.fps = 20.0f;
	}
	void TearDown() override
	{
		if (qtim.state != 0) qtim.stop_thread();
		MACIBM_set_alert_sink({});
		xtim_set_counter({});
		app_path = saved_app_path;
		glExt.pbo_avail = saved_pbo;
		mnw.x_res = 800;
		mnw.y_res = 600;
	}

	// Bands: bottom-left red, bottom-right blue, top half green.
	static void draw_bands()
	{
		gl.Viewport(0, 0, mnw.x_res, mnw.y_res);
		gl.Enable(GL_SCISSOR_TEST);
		struct band { int x, y, w, h; float r, g, b; } bands[3] = {
			{0, 0, 400, 300, 1, 0, 0}, {400, 0, 400, 300, 0, 0, 1}, {0, 300, 800, 300, 0, 1, 0}};
		for (const band& b : bands) {
			gl.Scissor(b.x, b.y, b.w, b.h);
			gl.ClearColor(b.r, b.g, b.b, 1);
			gl.Clear(GL_COLOR_BUFFER_BIT);
		}
		gl.Disable(GL_SCISSOR_TEST);
	}

	// One frame at clock time t seconds; the recorder's answer.
	double base = 0;  // start of the current recording's times
	int frame_at(double t)
	{
		clock_us = 1000000 + (unsigned long long)((base + t) * 1e6 + 0.5);
		xtim.xtim_update();
		draw_bands();
		return qtim.mov_per_frame();
	}

	// Frames at time t (capturing nothing) until a buffer came back, so the
	// next capture is not skipped.
	void settle(double t)
	{
		for (int i = 0; i < 1000 && qtim_get_status().buffers == 0; ++i) {
			usleep(2000);
			frame_at(t);
		}
	}

	// Asks for a stop and runs frames 0.05 s apart from t until idle.
	double stop_from(double t)
	{
		qtim.state = 2;
		for (int i = 0; i < 200 && qtim.state != 0; ++i) {
			settle(t);
			t += 0.051;
			frame_at(t);
		}
		EXPECT_EQ(qtim.state, 0);
		return t;
	}

	// Starts recording `after` seconds past the current base; relative times
	// restart at 0 there.
	std::string start(double after = 0)
	{
		base += after;
		frame_at(0);
		qtim.mov_toggle(1);
		EXPECT_EQ(qtim.state, 1);
		return qtim_get_status().movie_path;
	}
};

}  // namespace

TEST_F(recorder_test, records_bands_with_the_timing_table_on_both_read_back_paths)
{
	for (int pbo : {0, 1}) {
		SCOPED_TRACE(pbo ? "pixel-pack buffer" : "direct read");
		glExt.pbo_avail = pbo;
		std::string path = start(pbo ? 10 : 0);
		ASSERT_FALSE(path.empty());
		EXPECT_EQ(frame_at(0), 0);        // first frame: nothing
		EXPECT_EQ(frame_at(0.12), 1);     // late by two periods: keeps 0.12 s, capped at 60 units
		settle(0.12);
		EXPECT_EQ(frame_at(0.19), 1);     // 0.07 later: one period, 30 units
		settle(0.19);
		EXPECT_EQ(frame_at(0.21), 1);     // 0.04 later: not captured, still presented
		EXPECT_EQ(frame_at(0.72), 1);     // half a second: 60 units
		double t = 0.72;
		for (int i = 0; i < 4; ++i) {
			settle(t);
			frame_at(t += 0.051);
		}
		// Wait for the compressor so that the stop comes at once; frames at
		// the same time capture nothing but take the buffers back.
		for (int i = 0; i < 4000 && qtim.frames_done < 3; ++i) {
			usleep(5000);
			frame_at(t);
		}
		settle(t);
		qtim.state = 2;
		frame_at(t += 0.051);
		// On a busy machine the last buffers may still be out: frames at the
		// same time capture nothing and take them back.
		for (int i = 0; i < 400 && qtim.state != 0; ++i) {
			usleep(5000);
			frame_at(t);
		}
		ASSERT_EQ(qtim.state, 0);
		EXPECT_EQ(qtim_get_status().skipped, 0);
		EXPECT_TRUE(qtim_get_status().movie_path.empty());

		std::string s = probe(path, "stream=codec_name,codec_tag_string,width,height,time_base,nb_frames:format_tags=major_brand");
		EXPECT_EQ(field(s, "codec_name"), "mjpeg");
		EXPECT_EQ(field(s, "codec_tag_string"), "jpeg");
		EXPECT_EQ(field(s, "width"), "320");
		EXPECT_EQ(field(s, "height"), "240");
		EXPECT_EQ(field(s, "time_base"), "1/600");
		EXPECT_EQ(field(s, "TAG:major_brand"), "qt  ");
		// Captured: 0.12, 0.19, 0.72, four regular ones, the stop frame.
		std::vector<int> all = {60, 30, 60, 30, 30, 30, 30, 30};
		std::vector<int> got = durations(path);
		// Read one frame late: each posted frame carries its own duration and
		// the pixels of the frame before, so the first duration and the last
		// pixels stay behind.
		if (pbo) all.erase(all.begin());
		EXPECT_EQ(got, all);
		EXPECT_EQ(field(s, "nb_frames"), std::to_string(all.size()));
		std::string rgb = decoded_frame(path, 1, 320, 240);
		expect_colour(rgb, 320, 60, 200, 255, 0, 0, "bottom left");
		expect_colour(rgb, 320, 260, 200, 0, 0, 255, "bottom right");
		expect_colour(rgb, 320, 160, 40, 0, 255, 0, "top");
	}
	EXPECT_TRUE(alerts.empty());
}

TEST_F(recorder_test, refusals_leave_the_recorder_idle)
{
	// Too large a window, either way.
	for (auto size : {std::pair<int, int>{2049, 600}, {800, 2049}}) {
		mnw.x_res = size.first;
		mnw.y_res = size.second;
		alerts.clear();
		frame_at(0);
		qtim.mov_toggle(1);
		EXPECT_EQ(qtim.state, 0);
		ASSERT_EQ(alerts.size(), 1u);
		EXPECT_EQ(alerts[0].line1, "Oops!");
		EXPECT_EQ(alerts[0].kind, alert_warning);
		EXPECT_EQ(alerts[0].source_line, 412);
		EXPECT_EQ(qtim.mov_per_frame(), 0);
	}
	mnw.x_res = 800;
	mnw.y_res = 600;
	EXPECT_TRUE(qtim_get_status().movie_path.empty());

	// A movie file that cannot be made: the writer's alert, text unchanged,
	// names the take and its path; the recorder stays idle and no file is left.
	app_path = tmp.root + "no such folder/";
	alerts.clear();
	frame_at(2);
	qtim.mov_toggle(1);
	EXPECT_EQ(qtim.state, 0);
	ASSERT_EQ(alerts.size(), 1u);
	EXPECT_EQ(alerts[0].line1.rfind("Could not CreateMovieFile to file: Ventora movie take-", 0), 0u) << alerts[0].line1;
	EXPECT_EQ(alerts[0].line2.rfind(tmp.root + "no such folder/Ventora movie take-", 0), 0u) << alerts[0].line2;
	EXPECT_EQ(alerts[0].line3, "(CreateMovieFile failed)");
	EXPECT_LT(std::stoi(alerts[0].line4), 0);  // the libav code
	EXPECT_EQ(alerts[0].kind, alert_fatal);
	EXPECT_EQ(alerts[0].source_file, "DIzivoz/OOPS_cpp/qtim");
	EXPECT_EQ(alerts[0].source_line, 86);
	EXPECT_EQ(frame_at(3), 0);
	EXPECT_TRUE(qtim_get_status().movie_path.empty());
	app_path = tmp.root;

	// Without the movie writer nothing records.
	qtim.movies_ok = 0;
	alerts.clear();
	qtim.mov_toggle(1);
	EXPECT_EQ(qtim.state, 0);
	EXPECT_EQ(frame_at(1), 0);
	EXPECT_TRUE(alerts.empty());
	qtim.movies_ok = 1;
}

TEST_F(recorder_test, takes_are_numbered_past_existing_files_and_stop_early_finishes)
{
	std::string first = start();
	ASSERT_FALSE(first.empty());
	// Stop asked for at once: capturing goes on until three buffers came back.
	double t = stop_from(0);
	EXPECT_GE(durations(first).size(), 3u);
	EXPECT_EQ(field(probe(first, "stream=codec_name"), "codec_name"), "mjpeg");

	// The next number is taken by a file: the one after it is used.
	std::string name = first.substr(tmp.root.size());
	int n = std::stoi(name.substr(std::string("Ventora movie take-").size()));
	EXPECT_EQ(name, "Ventora movie take-" + std::to_string(n) + ".mov");
	tmp.write("Ventora movie take-" + std::to_string(n + 1) + ".mov", "keep me");
	std::string second = start(t + 1);
	EXPECT_EQ(second, tmp("Ventora movie take-" + std::to_string(n + 2) + ".mov"));
	EXPECT_EQ(tmp.read("Ventora movie take-" + std::to_string(n + 1) + ".mov"), "keep me");
	stop_from(0);
	EXPECT_TRUE(alerts.empty());
}

TEST_F(recorder_test, size_and_rate_hold_for_the_recording)
{
	std::string path = start();
	double t = 0;
	for (int i = 0; i < 5; ++i) {
		settle(t);
		frame_at(t += 0.051);
	}
	qtim.width = 2048;  // the settings screen changes the next recording only
	qtim.fps = 99;
	for (int i = 0; i < 5; ++i) {
		settle(t);
		frame_at(t += 0.051);
	}
	t = stop_from(t);
	std::string s = probe(path, "stream=width,height");
	qtim.width = 1000;
	EXPECT_EQ(field(s, "width"), "320");
	EXPECT_EQ(field(s, "height"), "240");
	for (int d : durations(path)) EXPECT_EQ(d, 30);

	// Wider than the window: recorded at the window's width.
	path = start(t + 1);
	t = 0;
	EXPECT_EQ(qtim_get_status().rec_width, 800);
	EXPECT_EQ(qtim.height, 600);
	for (int i = 0; i < 4; ++i) frame_at(t += 0.051);
	stop_from(t);
	s = probe(path, "stream=width,height");
	EXPECT_EQ(field(s, "width"), "800");
	EXPECT_EQ(field(s, "height"), "600");
	expect_colour(decoded_frame(path, 0, 800, 600), 800, 700, 500, 0, 0, 255, "full size");
}

TEST_F(recorder_test, stop_thread_finishes_the_movie_and_a_new_recording_restarts_it)
{
	std::string path = start();
	double t = 0;
	for (int i = 0; i < 6; ++i) frame_at(t += 0.051);
	qtim.stop_thread();
	EXPECT_EQ(qtim.state, 0);
	EXPECT_EQ(qtim_get_status().thread_made, 0);
	EXPECT_EQ(qtim_get_status().buffers, 3);  // every buffer came back
	EXPECT_EQ(field(probe(path, "stream=codec_name"), "codec_name"), "mjpeg");
	EXPECT_FALSE(durations(path).empty());

	path = start(t + 1);
	t = 0;
	EXPECT_EQ(qtim_get_status().thread_made, 1);
	for (int i = 0; i < 6; ++i) frame_at(t += 0.051);
	stop_from(t);
	EXPECT_FALSE(durations(path).empty());
	qtim.stop_thread();
	qtim.stop_thread();  // twice is harmless
	EXPECT_TRUE(alerts.empty());
}

// The settings screen: opening it ends a running recording, and the movie is
// finished and readable.
TEST_F(recorder_test, settings_screen_ends_a_running_recording)
{
	std::string path = start();
	double t = 0;
	for (int i = 0; i < 400 && qtim.frames_done < 3; ++i) {
		settle(t);
		frame_at(t += 0.051);
	}
	ASSERT_GE(qtim.frames_done, 3);
	mnw.wind_x = mnw.wind_y = 0;
	mnw.wind_dx = 800;
	mnw.wind_dy = 600;
	qtim.qtim_wind();
	EXPECT_EQ(qtim.state, 0);
	EXPECT_TRUE(qtim_get_status().movie_path.empty());
	EXPECT_EQ(field(probe(path, "stream=codec_name"), "codec_name"), "mjpeg");
	EXPECT_FALSE(durations(path).empty());

	// Drawn again while idle it starts nothing.
	qtim.qtim_wind();
	EXPECT_EQ(qtim.state, 0);
	EXPECT_TRUE(alerts.empty());
}
