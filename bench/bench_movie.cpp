// Movie recorder on an 800 x 600 window recording at width 800, under Xvfb.
// The same 300 frames (60 patterns drawn with glDrawPixels, five times over)
// are shown three ways:
//  1. paced at 20 frames/s without recording, then recording: main-thread
//     time per frame (wall and thread CPU, the pacing sleep left out) and the
//     frames skipped because no buffer was free;
//  2. the compressor's work alone (ARGB to 4:2:0, Photo-JPEG, one sample each,
//     one thread) on the same frames, against `ffmpeg -threads 1` encoding the
//     same raw frames to a .mov with the MJPEG encoder.
//
// Goals: nothing skipped at 20 frames/s; compressor at least 0.8x the reference.
//
// Run: xvfb-run -a -s "-screen 0 1024x768x24" build/bench_movie
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <SDL2/SDL.h>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_init.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OGL/OGL_gl.h"
#include "DIzivoz/OOPS_cpp/qtim.h"
#include "DIzivoz/UTL/UTL_xtim.h"
#include "Platform/plat_movie.h"
#include "tests/support/gl_context.h"
#include "tests/support/test_files.h"

namespace {

const int W = 800, H = 600, patterns = 60, frames = 300;
const double period = 0.05;  // 20 frames/s

double wall()
{
	return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
double thread_cpu()
{
	timespec t;
	clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
	return t.tv_sec + t.tv_nsec / 1e9;
}

// Pattern k as A, R, G, B bytes, rows top first: moving bands, a gradient
// and some noise, so the encoder has work like a real picture.
std::vector<unsigned char> pattern(int k)
{
	std::vector<unsigned char> p((size_t)W * H * 4);
	unsigned seed = 12345u + k;
	for (int y = 0; y < H; ++y)
		for (int x = 0; x < W; ++x) {
			unsigned char* q = &p[((size_t)y * W + x) * 4];
			seed = seed * 1103515245u + 12345u;
			const int n = (seed >> 16) & 15;
			q[0] = 255;
			q[1] = (unsigned char)(((x + 7 * k) / 40 % 2) ? 220 : 40 + n);
			q[2] = (unsigned char)((y * 255 / H + n) & 255);
			q[3] = (unsigned char)(((x + y + 5 * k) & 255) ^ n);
		}
	return p;
}

// Shows pattern k: glDrawPixels wants rows bottom first and R, G, B, A.
void show(const std::vector<unsigned char>& argb)
{
	static std::vector<unsigned char> rgba((size_t)W * H * 4);
	for (int y = 0; y < H; ++y) {
		const unsigned char* s = &argb[(size_t)(H - 1 - y) * W * 4];
		unsigned char* d = &rgba[(size_t)y * W * 4];
		for (int x = 0; x < W; ++x, s += 4, d += 4) {
			d[0] = s[1];
			d[1] = s[2];
			d[2] = s[3];
			d[3] = s[0];
		}
	}
	gl.Viewport(0, 0, W, H);
	gl.MatrixMode(GL_PROJECTION);
	gl.LoadIdentity();
	gl.MatrixMode(GL_MODELVIEW);
	gl.LoadIdentity();
	gl.Disable(GL_TEXTURE_2D);
	gl.Disable(GL_BLEND);
	gl.RasterPos2f(-1, -1);
	gl.DrawPixels(W, H, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
}

struct paced {
	double wall_ms = 0, cpu_ms = 0;
};

// 300 frames at 20 frames/s; the time of each frame's work (showing, the
// recorder's part, the swap), the pacing sleep left out.
paced run_paced(const std::vector<std::vector<unsigned char>>& pats)
{
	paced r;
	double next = wall();
	for (int f = 0; f < frames; ++f) {
		const double w0 = wall(), c0 = thread_cpu();
		xtim.xtim_update();
		show(pats[f % patterns]);
		if (!qtim.mov_per_frame()) SDL_GL_SwapWindow(static_cast<SDL_Window*>(mnw.window[0]));
		r.wall_ms += (wall() - w0) * 1000;
		r.cpu_ms += (thread_cpu() - c0) * 1000;
		next += period;
		const double left = next - wall();
		if (left > 0) std::this_thread::sleep_for(std::chrono::duration<double>(left));
	}
	r.wall_ms /= frames;
	r.cpu_ms /= frames;
	return r;
}

std::string sh(const std::string& cmd)
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

}  // namespace

int main()
{
	if (!gl_test_context()) {
		std::fprintf(stderr, "No OpenGL window: run under xvfb-run.\n");
		return 1;
	}
	if (mnw.x_res != W || mnw.y_res != H) {
		std::fprintf(stderr, "The window is %d x %d, not %d x %d.\n", mnw.x_res, mnw.y_res, W, H);
		return 1;
	}
	MACIBM_alloc_scratch();
	vtest::temp_folder tmp;
	app_path = tmp.path();
	int alerts = 0;
	MACIBM_set_alert_sink([&](const alert_record& a) {
		++alerts;
		std::fprintf(stderr, "alert: %s %s %s %s\n", a.line1.c_str(), a.line2.c_str(), a.line3.c_str(), a.line4.c_str());
	});
	qtim.movies_ok = plat_movie_available();
	qtim.width = W;
	qtim.fps = 20.0f;
	mnw.tex_res = 0;

	std::vector<std::vector<unsigned char>> pats;
	for (int k = 0; k < patterns; ++k) pats.push_back(pattern(k));

	// 1. Paced, without and with recording.
	xtim.xtim_update();
	const paced idle = run_paced(pats);
	xtim.xtim_update();
	qtim.mov_toggle(1);
	if (qtim.state != 1) {
		std::fprintf(stderr, "The recording did not start.\n");
		return 1;
	}
	const std::string movie = qtim_get_status().movie_path;
	const paced rec = run_paced(pats);
	const int skipped = qtim_get_status().skipped;
	const int done_before_stop = qtim.frames_done;
	qtim.state = 2;
	for (int i = 0; i < 400 && qtim.state != 0; ++i) {
		std::this_thread::sleep_for(std::chrono::milliseconds(5));
		xtim.xtim_update();
		show(pats[0]);
		if (!qtim.mov_per_frame()) SDL_GL_SwapWindow(static_cast<SDL_Window*>(mnw.window[0]));
	}
	const std::string recorded = sh("ffprobe -v error -select_streams v:0 -count_packets -show_entries "
	                                "stream=width,height,nb_read_packets -of csv=p=0 '" + movie + "' 2>/dev/null");

	// 2. The compressor's work alone against ffmpeg on the same frames.
	const std::string raw = tmp.path() + "frames.argb";
	{
		std::string all;
		for (const auto& p : pats) all.append((const char*)p.data(), p.size());
		vtest::write_file_bytes(raw, all);
	}
	plat_movie* m = nullptr;
	double ours = 0;
	int err = plat_movie_create(tmp.path() + "ours.mov", &m);
	if (!err) err = plat_movie_encoder(m, W, H);
	if (!err) err = plat_movie_track(m);
	const double t0 = wall();
	for (int f = 0; f < frames && !err; ++f) {
		err = plat_movie_compress(m, pats[f % patterns].data());
		if (!err) err = plat_movie_add(m, 30);
	}
	if (!err) err = plat_movie_finish(m);
	ours = frames / (wall() - t0);
	plat_movie_close(m);
	if (err) std::fprintf(stderr, "movie writer: %s\n", plat_movie_error(err).c_str());

	const double r0 = wall();
	const std::string cmd = "ffmpeg -v error -y -threads 1 -stream_loop " + std::to_string(frames / patterns - 1) +
	                        " -f rawvideo -pix_fmt argb -s " + std::to_string(W) + "x" + std::to_string(H) +
	                        " -framerate 20 -i '" + raw + "' -threads 1 -c:v mjpeg -pix_fmt yuvj420p -f mov '" +
	                        tmp.path() + "ref.mov' 2>&1";
	const std::string ff_out = sh(cmd);
	const double ref = frames / (wall() - r0);
	const std::string ref_frames = sh("ffprobe -v error -select_streams v:0 -count_packets -show_entries "
	                                  "stream=nb_read_packets -of csv=p=0 '" + tmp.path() + "ref.mov' 2>/dev/null");

	std::printf("frames per run                 : %d of %d x %d at 20 frames/s, movie width %d\n", frames, W, H, W);
	std::printf("main thread, not recording     : %.2f ms wall, %.2f ms CPU per frame\n", idle.wall_ms, idle.cpu_ms);
	std::printf("main thread, recording         : %.2f ms wall, %.2f ms CPU per frame\n", rec.wall_ms, rec.cpu_ms);
	std::printf("ratio recording / not          : %.2f wall, %.2f CPU\n", rec.wall_ms / idle.wall_ms,
	            rec.cpu_ms / idle.cpu_ms);
	std::printf("skipped frames (goal 0)        : %d (frames back before the stop: %d)\n", skipped, done_before_stop);
	std::printf("recorded movie (w,h,frames)    : %s", recorded.empty() ? "unreadable\n" : recorded.c_str());
	std::printf("compressor, one thread         : %.1f frames/s\n", ours);
	std::printf("ffmpeg -threads 1              : %.1f frames/s (%s frames)%s%s\n", ref,
	            ref_frames.empty() ? "?" : ref_frames.substr(0, ref_frames.find('\n')).c_str(),
	            ff_out.empty() ? "" : "\n  ffmpeg said: ", ff_out.c_str());
	std::printf("ratio compressor / ffmpeg      : %.2f (goal at least 0.8)\n", ours / ref);
	std::printf("alerts                         : %d\n", alerts);
	qtim.stop_thread();
	MACIBM_set_alert_sink({});
	return 0;
}
