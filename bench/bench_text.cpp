// Text drawing speed on a hidden 800 x 600 window: each frame draws 50 lines
// of 80 mixed Latin-1 characters, alternating the two fonts, through
// OGL_font_string, then glFinish. The reference replays the same glyph quads,
// computed once, with the same texture and state, one bind and one
// glBegin/glEnd per line. Prints ms per frame for both and their ratio.
//   xvfb-run -a -s "-screen 0 1024x768x24" build/bench_text [frames]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/OGL/OGL_font.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "DIzivoz/OOPS_cpp/tman.h"
#include "tests/support/gl_context.h"

namespace {

struct line_text {
	std::string text;
	int charset;
	float y;
};

struct replay_line {
	int charset;
	std::vector<float> st, xy;  // pairs
};

std::string latin1_line(std::mt19937& rng)
{
	std::string s;
	std::uniform_int_distribution<int> pick(0, 95 + 95);
	for (int i = 0; i < 80; ++i) {
		int k = pick(rng);
		unsigned c = k <= 94 ? 0x20 + k : 0xA0 + (k - 95);
		if (c < 0x80) {
			s.push_back((char)c);
		} else {
			s.push_back((char)(0xC0 | (c >> 6)));
			s.push_back((char)(0x80 | (c & 0x3F)));
		}
	}
	return s;
}

void draw_frame(const std::vector<line_text>& lines)
{
	for (const line_text& l : lines) OGL_font_string(0, 4, l.y, l.text, 9999, l.charset, 0, 0);
	gl.Finish();
}

void replay_frame(const std::vector<replay_line>& lines)
{
	for (const replay_line& l : lines) {
		OGL_setstate(1, 1, 3, 5, 9, 11);
		OGL_set_color(0, 1.0f);
		tman.bind_ref(393 + l.charset, 0, 0);
		gl.Begin(GL_QUADS);
		for (size_t i = 0; i + 1 < l.xy.size(); i += 2) {
			gl.TexCoord2f(l.st[i], l.st[i + 1]);
			gl.Vertex2f(l.xy[i], l.xy[i + 1]);
		}
		gl.End();
	}
	gl.Finish();
}

template <class F>
double ms_per_frame(int frames, F&& f)
{
	auto t0 = std::chrono::steady_clock::now();
	for (int i = 0; i < frames; ++i) f();
	auto t1 = std::chrono::steady_clock::now();
	return std::chrono::duration<double, std::milli>(t1 - t0).count() / frames;
}

}  // namespace

int main(int argc, char** argv)
{
	::testing::InitGoogleTest(&argc, argv);  // the context helper reports through gtest
	const int frames = argc > 1 ? std::max(1, atoi(argv[1])) : 200;
	if (!gl_test_context()) {
		fprintf(stderr, "bench_text: no OpenGL context (run under xvfb-run)\n");
		return 1;
	}
	mnw.wind_type = 0;
	mnw.wind_x = mnw.wind_y = 0;
	OGL_pix_specs(0);

	std::mt19937 rng(1234);
	std::vector<line_text> lines;
	for (int i = 0; i < 50; ++i) lines.push_back({latin1_line(rng), i & 1, 590.0f - 11.5f * i});

	// Warm up: every glyph rendered and the atlases uploaded.
	draw_frame(lines);
	draw_frame(lines);

	// The quads of one frame, as the text layer emits them.
	std::vector<replay_line> replay;
	{
		gl_recorder rec;
		rec.pass_through(false);
		for (const line_text& l : lines) OGL_font_string(0, 4, l.y, l.text, 9999, l.charset, 0, 0);
		size_t li = 0;
		for (const std::string& c : rec.calls()) {
			if (c == gl_call_text("Begin", GL_QUADS)) {
				replay.push_back({lines[li++].charset, {}, {}});
			} else if (c.rfind("TexCoord2f(", 0) == 0) {
				float s, t;
				sscanf(c.c_str(), "TexCoord2f(%f, %f)", &s, &t);
				replay.back().st.push_back(s);
				replay.back().st.push_back(t);
			} else if (c.rfind("Vertex2f(", 0) == 0) {
				float x, y;
				sscanf(c.c_str(), "Vertex2f(%f, %f)", &x, &y);
				replay.back().xy.push_back(x);
				replay.back().xy.push_back(y);
			}
		}
	}

	double text_ms = 0, replay_ms = 0;
	for (int round = 0; round < 3; ++round) {  // interleaved, best of three
		double t = ms_per_frame(frames, [&] { draw_frame(lines); });
		double r = ms_per_frame(frames, [&] { replay_frame(replay); });
		text_ms = round ? std::min(text_ms, t) : t;
		replay_ms = round ? std::min(replay_ms, r) : r;
	}
	printf("bench_text: %d frames of 50 lines x 80 characters, both fonts\n", frames);
	printf("  OGL_font_string  %8.3f ms/frame\n", text_ms);
	printf("  replayed quads   %8.3f ms/frame\n", replay_ms);
	printf("  ratio (replay / text) %.2fx (goal >= 0.8x)\n", replay_ms / text_ms);
	return 0;
}
