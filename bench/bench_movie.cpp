// Movie recorder on an 800 x 600 window recording at width 800, under Xvfb.
// The same 300 frames (60 patterns drawn with glDrawPixels, five times over)
// are shown three ways:
//  1. paced at 20 frames/s without recording, then recording: main-thread
//     time per frame (wall and thread CPU, the pacing sleep left out) and the
//     frames skipped because no buffer was free;
//  2. the compressor's work alone (ARGB to 4:2:0, Photo-JPEG, one sample each,
//     one thread, written to a .mov) on the same frames, against libavcodec's
//     MJPEG encoder called in this process on the same frames at the same
//     quality (the same colour conversion, fixed quantiser 3, one thread,
//     each packet written to a file). Rounds are interleaved; medians.
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

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <algorithm>

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

// libavcodec's MJPEG encoder on the frames, as the movie layer sets it up:
// full-range 4:2:0 from ARGB by swscale, fixed quantiser 3, one thread; each
// packet appended to path. Frames per second, 0 on failure.
double reference_encoder(const std::vector<std::vector<unsigned char>>& pats, const std::string& path)
{
	const AVCodec* c = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
	AVCodecContext* enc = c ? avcodec_alloc_context3(c) : nullptr;
	if (!enc) return 0;
	enc->width = W;
	enc->height = H;
	enc->pix_fmt = AV_PIX_FMT_YUVJ420P;
	enc->color_range = AVCOL_RANGE_JPEG;
	enc->time_base = AVRational{1, 600};
	enc->thread_count = 1;
	enc->flags |= AV_CODEC_FLAG_QSCALE;
	enc->global_quality = FF_QP2LAMBDA * 3;
	AVFrame* frame = av_frame_alloc();
	AVPacket* pkt = av_packet_alloc();
	SwsContext* sws = sws_getContext(W, H, AV_PIX_FMT_ARGB, W, H, AV_PIX_FMT_YUVJ420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
	FILE* out = fopen(path.c_str(), "wb");
	bool ok = avcodec_open2(enc, c, nullptr) >= 0 && frame && pkt && sws && out;
	if (ok) {
		frame->format = enc->pix_fmt;
		frame->width = W;
		frame->height = H;
		frame->color_range = AVCOL_RANGE_JPEG;
		ok = av_frame_get_buffer(frame, 0) >= 0;
		const int* coef = sws_getCoefficients(SWS_CS_ITU601);
		sws_setColorspaceDetails(sws, coef, 1, coef, 1, 0, 1 << 16, 1 << 16);
	}
	const double t0 = wall();
	for (int f = 0; f < frames && ok; ++f) {
		ok = av_frame_make_writable(frame) >= 0;
		const uint8_t* src[1] = {pats[f % patterns].data()};
		int stride[1] = {W * 4};
		sws_scale(sws, src, stride, 0, H, frame->data, frame->linesize);
		frame->pts = f;
		ok = ok && avcodec_send_frame(enc, frame) >= 0 && avcodec_receive_packet(enc, pkt) >= 0;
		ok = ok && fwrite(pkt->data, 1, (size_t)pkt->size, out) == (size_t)pkt->size;
		av_packet_unref(pkt);
	}
	const double secs = wall() - t0;
	if (out) fclose(out);
	sws_freeContext(sws);
	av_packet_free(&pkt);
	av_frame_free(&frame);
	avcodec_free_context(&enc);
	return ok ? frames / secs : 0;
}

double median(std::vector<double> v)
{
	std::sort(v.begin(), v.end());
	return v.empty() ? 0 : v[v.size() / 2];
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

	// 2. The compressor's work alone against libavcodec's encoder on the same
	// frames, rounds interleaved.
	std::vector<double> ours_runs, ref_runs;
	int err = 0;
	for (int round = 0; round < 5 && !err; ++round) {
		plat_movie* m = nullptr;
		err = plat_movie_create(tmp.path() + "ours.mov", &m);
		if (!err) err = plat_movie_encoder(m, W, H);
		if (!err) err = plat_movie_track(m);
		const double t0 = wall();
		for (int f = 0; f < frames && !err; ++f) {
			err = plat_movie_compress(m, pats[f % patterns].data());
			if (!err) err = plat_movie_add(m, 30);
		}
		if (!err) err = plat_movie_finish(m);
		ours_runs.push_back(frames / (wall() - t0));
		plat_movie_close(m);
		if (err) std::fprintf(stderr, "movie writer: %s\n", plat_movie_error(err).c_str());
		ref_runs.push_back(reference_encoder(pats, tmp.path() + "ref.mjpeg"));
	}
	const double ours = median(ours_runs), ref = median(ref_runs);

	std::printf("frames per run                 : %d of %d x %d at 20 frames/s, movie width %d\n", frames, W, H, W);
	std::printf("main thread, not recording     : %.2f ms wall, %.2f ms CPU per frame\n", idle.wall_ms, idle.cpu_ms);
	std::printf("main thread, recording         : %.2f ms wall, %.2f ms CPU per frame\n", rec.wall_ms, rec.cpu_ms);
	std::printf("ratio recording / not          : %.2f wall, %.2f CPU\n", rec.wall_ms / idle.wall_ms,
	            rec.cpu_ms / idle.cpu_ms);
	std::printf("skipped frames (goal 0)        : %d (frames back before the stop: %d)\n", skipped, done_before_stop);
	std::printf("recorded movie (w,h,frames)    : %s", recorded.empty() ? "unreadable\n" : recorded.c_str());
	std::printf("compressor, one thread         : %.1f frames/s (median of 5 interleaved rounds)\n", ours);
	std::printf("libavcodec MJPEG, in process   : %.1f frames/s (median of 5 interleaved rounds)\n", ref);
	std::printf("ratio compressor / libavcodec  : %.2f (goal at least 0.8)\n", ours / ref);
	std::printf("alerts                         : %d\n", alerts);
	qtim.stop_thread();
	MACIBM_set_alert_sink({});
	return 0;
}
