#include "DIzivoz/OOPS_cpp/qtim.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <list>

#include "DIzivoz/Thread/hl_report.h"
#include "DIzivoz/GenH/hl_shared.h"
#include "DIzivoz/GenH/hl_window.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_string.h"
#include "DIzivoz/OGL/OGL_extensions.h"
#include "DIzivoz/OGL/OGL_gl.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/butn_values.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "DIzivoz/OOPS_cpp/tman.h"
#include "DIzivoz/Thread/hl_thread.h"
#include "DIzivoz/UTL/UTL_xtim.h"
#include "Platform/plat_movie.h"

namespace {

struct frame_buffer {
	float duration;
	unsigned char* pixels;
	int size;
};

// The empty message of both queues: a flush and its acknowledgement.
char flush_marker;
void* const flush_msg = &flush_marker;

int qt_thread_made = 0;
std::atomic<int> control_value{0};
pthread_t qt_thread, qt_thread_id, qt_thread_join;
UTL_message_queue* q_to_thread = nullptr;
UTL_message_queue* q_from_thread = nullptr;

std::list<frame_buffer*>* usable_buffers = nullptr;
unsigned char* qt_array = nullptr;

// The open movie. Set and cleared by the main thread only while the
// compressor holds no frame (before the first post, after a flush).
plat_movie* gCurrentMovie = nullptr;
std::string movie_path;

// Size and rate of the running recording, fixed at its start.
int rec_w = 0, rec_h = 0;
float rec_fps = 20.0f;

float start_mov_time = 0, prev_frame_time = 0;
GLuint pbo_id = 0;
int pbo_has_data = 0;
int movie_take = 0;
int skipped = 0;
int settle_ms = 1000;

const int movie_tex_ref = 411;
const char* const movie_tex_name = "scratch_array-t_QT_movie";

const char* const codec_missing =
	"YOU HAVE TO INSTALL THE DEBIAN PACKAGES libavcodec59, libavformat59 AND libswscale6 (FFmpeg 5.1)!";

void* QT_Thread(void*)
{
	for (;;) {
		void* msg = UTL_message_queue_read(q_to_thread, -1);
		if (msg == flush_msg) {
			// Every flush is answered, whether frames came or not.
			UTL_message_queue_write(q_from_thread, flush_msg);
			if (control_value.load() == 0) break;
			continue;
		}
		frame_buffer* b = static_cast<frame_buffer*>(msg);
		if (gCurrentMovie && b->size >= rec_w * rec_h * 4) {
			memcpy(qt_array, b->pixels, (size_t)rec_w * rec_h * 4);
			int err = plat_movie_compress(gCurrentMovie, qt_array);
			if (err) qtim.mov_alert("Could not CompressSequenceFrame.", codec_missing, "(CompressSequenceBegin failed.)", err);
			double units = (double)b->duration * 600.0;
			int dur = (int)units;
			if (dur <= 0) dur = 1;
			if (dur > 60) dur = 60;
			err = plat_movie_add(gCurrentMovie, dur);
			if (err) qtim.mov_alert("Could not AddMediaSample.", "", "AddMediaSample failed.", err);
		}
		UTL_message_queue_write(q_from_thread, b);
	}
	return nullptr;
}

bool file_exists(const std::string& p)
{
	struct stat st;
	return stat(p.c_str(), &st) == 0;
}

void ensure_buffers()
{
	if (!usable_buffers) usable_buffers = new std::list<frame_buffer*>;
	while (usable_buffers->size() < 3) usable_buffers->push_back(new frame_buffer{0.0f, nullptr, 0});
}

void size_buffers(int frame_size)
{
	for (frame_buffer* b : *usable_buffers) {
		if (b->size == frame_size) continue;
		free(b->pixels);
		b->pixels = static_cast<unsigned char*>(malloc((size_t)frame_size));
		b->size = frame_size;
	}
}

// Lets the compressor finish what it holds; every buffer comes back.
void flush_compressor()
{
	if (!qt_thread_made) return;
	control_value = 1;
	UTL_message_queue_write(q_to_thread, flush_msg);
	for (;;) {
		void* m = UTL_message_queue_read(q_from_thread, -1);
		if (m == flush_msg) break;
		usable_buffers->push_back(static_cast<frame_buffer*>(m));
	}
}

void close_movie()
{
	plat_movie_close(gCurrentMovie);
	gCurrentMovie = nullptr;
	movie_path.clear();
}

struct buffers_reaper {
	~buffers_reaper()
	{
		if (!usable_buffers) return;
		for (frame_buffer* b : *usable_buffers) {
			free(b->pixels);
			delete b;
		}
		delete usable_buffers;
		usable_buffers = nullptr;
	}
};

}  // namespace

qtim_class qtim;
static buffers_reaper reap_buffers;

qtim_class::qtim_class()
	: movies_ok(-1), state(0), width(320), height(0), fps(20.0f), frames_done(0)
{
}

int qtim_class::movies_available()
{
	// Asked on first need: finding out loads the movie libraries.
	if (movies_ok < 0) movies_ok = plat_movie_available() ? 1 : 0;
	return movies_ok;
}

qtim_class::~qtim_class() {}

qtim_status qtim_get_status()
{
	return qtim_status{movie_path, rec_w, rec_h, rec_fps, skipped, qt_thread_made,
	                   usable_buffers ? (int)usable_buffers->size() : 0};
}

void qtim_set_settle_ms(int ms) { settle_ms = ms; }

void qtim_class::mov_alert(std::string line1, std::string line2, const char* line3, int code)
{
	char b[24];
	int_to_str(code, b, 1, 1);
	__MACIBM_alert(0, line1, line2, line3, b, alert_fatal, "DIzivoz/OOPS_cpp/qtim", 86);
}

int qtim_class::mov_per_frame()
{
	if (state == 1) return mov_add_frame();
	if (state == 2) {
		// Keep capturing until the stop can be taken.
		int r = mov_add_frame();
		mov_toggle(0);
		return r;
	}
	return 0;
}

void qtim_class::mov_toggle(int new_state)
{
	if (!movies_available()) return;
	OGL_setstate(1, 1, 3, 4, 9, 11);
	if (state == 0) {
		if (new_state == 0) return;
		state = new_state;
		scratch_dx = 2048;
		scratch_dy = 2048;
		// Full size at every texture level: the whole window is copied into it.
		tman.load_texture(tex_fail_fatal, movie_tex_ref, 1025 | 0x100, tex_loaded, movie_tex_name);
		// A name freed by the last recording's unload may come back for this
		// texture while the bind cache still counts it as bound.
		tman.reset_bind();
		mov_startrecord();
		return;
	}
	if (frames_done > 2) {
		mov_stoprecord();
		tman.unload_texture(movie_tex_ref);
		tman.reset_bind();
	}
}

void qtim_class::mov_startrecord()
{
	if (!qt_thread_made) {
		qt_thread_made = 1;
		UTL_message_queue_create(&q_to_thread);
		UTL_message_queue_create(&q_from_thread);
		THREAD_create(QT_Thread, nullptr, &qt_thread, &qt_thread_id, &qt_thread_join, 1);
	}
	// A refused start leaves the recorder idle.
	auto refuse = [&]() {
		state = 0;
		tman.unload_texture(movie_tex_ref);
		tman.reset_bind();
	};
	if (mnw.x_res > 2048 || mnw.y_res > 2048) {
		refuse();
		__MACIBM_alert(0, "Oops!", "You can NOT record movies in Ventora at any Ventora resolution higher that 2048 x 2048!",
		               "This limit is to keep the VRAM requirements of Ventora down.", "", alert_warning,
		               "DIzivoz/OOPS_cpp/qtim", 412);
		return;
	}
	if (state == 1 && gCurrentMovie) {
		std::string existing = movie_path;
		refuse();
		__MACIBM_alert(0, "Trying to create a movie but one already exists", existing, "", "", alert_warning,
		               "DIzivoz/OOPS_cpp/qtim", 437);
		return;
	}
	// Size and rate hold for the whole recording; the copy is read from the
	// window, so the movie is never wider than it.
	int win_w = mnw.x_res > 0 ? mnw.x_res : 1;
	int win_h = mnw.y_res > 0 ? mnw.y_res : 1;
	rec_w = width < 1 ? 1 : width;
	if (rec_w > win_w) rec_w = win_w;
	rec_h = win_h * rec_w / win_w;
	if (rec_h < 1) rec_h = 1;
	height = rec_h;
	rec_fps = fps > 0 ? fps : 20.0f;
	int frame_size = rec_w * rec_h * 4;
	free(qt_array);
	qt_array = static_cast<unsigned char*>(malloc((size_t)frame_size));

	if (state == 1) {
		std::string name, path;
		do {
			movie_take += 1;
			name = "Ventora movie take-" + std::to_string(movie_take) + ".mov";
			path = app_path + name;
		} while (file_exists(path));
		plat_movie* m = nullptr;
		int err = plat_movie_create(path, &m);
		if (err) mov_alert("Could not CreateMovieFile to file: " + name, path, "(CreateMovieFile failed)", err);
		if (!err) {
			err = plat_movie_encoder(m, rec_w, rec_h);
			if (err) mov_alert("Could not CompressSequenceBegin.", codec_missing, "(CompressSequenceBegin failed.)", err);
		}
		if (!err) {
			err = plat_movie_track(m);
			if (err) mov_alert("Could not BeginMediaEdits.", path, "(BeginMediaEdits failed)", err);
		}
		if (err) {
			// Only reached when the alert sink returns (tests).
			plat_movie_close(m);
			unlink(path.c_str());
			free(qt_array);
			qt_array = nullptr;
			refuse();
			return;
		}
		gCurrentMovie = m;
		movie_path = path;
		if (settle_ms > 0) UTL_sleep(settle_ms);
	}
	frames_done = 0;
	skipped = 0;
	start_mov_time = prev_frame_time = xtim.elapsed;
	ensure_buffers();
	size_buffers(frame_size);
	pbo_has_data = 0;
	if (pbo_id) {
		glExt.glDeleteBuffersARB(1, &pbo_id);
		pbo_id = 0;
	}
	if (glExt.pbo_avail && mnw.aa_level == 0 && glExt.glGenBuffersARB) {
		glExt.glGenBuffersARB(1, &pbo_id);
		glExt.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, pbo_id);
		glExt.glBufferDataARB(GL_PIXEL_PACK_BUFFER_ARB, frame_size, nullptr, GL_STREAM_READ_ARB);
		glExt.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, 0);
	}
}

void qtim_class::mov_stoprecord()
{
	flush_compressor();
	ensure_buffers();
	if (!gCurrentMovie) {
		if (state == 1)
			__MACIBM_alert(0, "Cannot finish record of a movie that was not started!", "", "", "", alert_warning,
			               "DIzivoz/OOPS_cpp/qtim", 355);
		free(qt_array);
		qt_array = nullptr;
		state = 0;
		pbo_has_data = 0;
		return;
	}
	int err = plat_movie_finish(gCurrentMovie);
	if (err) mov_alert("Could not AddMovieResource.", "", "(AddMovieResource failed.)", err);
	close_movie();
	free(qt_array);
	qt_array = nullptr;
	state = 0;
	pbo_has_data = 0;
}

int qtim_class::mov_add_frame()
{
	float now = xtim.elapsed;
	if (now == start_mov_time) return 0;
	for (;;) {
		void* m = UTL_message_queue_read(q_from_thread, 0);
		if (!m) break;
		if (m == flush_msg) continue;
		usable_buffers->push_back(static_cast<frame_buffer*>(m));
		frames_done += 1;
	}
	float period = 1.0f / rec_fps;
	const bool due = now - prev_frame_time >= period;
	if (usable_buffers->empty() || !due) {
		// Skipped: a capture was due and no buffer was free.
		if (due) skipped += 1;
		draw_record_lgt();
		OGL_sbuff();
		return 1;
	}
	float d = now - prev_frame_time;
	if (d < 2.0f / rec_fps) d = period;
	prev_frame_time += d;

	frame_buffer* b = usable_buffers->front();
	int frame_size = rec_w * rec_h * 4;
	bool use_pbo = pbo_id != 0;
	if (use_pbo && pbo_has_data) {
		glExt.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, pbo_id);
		glExt.glGetBufferSubDataARB(GL_PIXEL_PACK_BUFFER_ARB, 0, frame_size, b->pixels);
		glExt.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, 0);
	}
	int w = mnw.x_res < 0 ? 0 : (mnw.x_res > 2048 ? 2048 : mnw.x_res);
	int h = mnw.y_res < 0 ? 0 : (mnw.y_res > 2048 ? 2048 : mnw.y_res);
	OGL_setstate(1, 1, 3, 4, 9, 11);
	tman.bind_ref(movie_tex_ref, 0, 0);
	gl.CopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, w, h);

	draw_record_lgt();
	OGL_sbuff();

	// The scaled copy goes to window pixel (0, 0), where it is read back;
	// the note drew with its own state.
	OGL_setstate(1, 1, 3, 4, 9, 11);
	tman.bind_ref(movie_tex_ref, 0, 0);
	gl.Viewport(0, 0, mnw.x_res, mnw.y_res);
	gl.MatrixMode(GL_PROJECTION);
	gl.PushMatrix();
	gl.LoadIdentity();
	gl.Ortho(0, mnw.x_res, 0, mnw.y_res, -1, 1);
	gl.MatrixMode(GL_MODELVIEW);
	gl.PushMatrix();
	gl.LoadIdentity();
	gl.Color4f(1, 1, 1, 1);
	float s = w / 2048.0f, t = h / 2048.0f;
	gl.Begin(GL_QUADS);
	gl.TexCoord2f(0, t);
	gl.Vertex2f(0, 0);
	gl.TexCoord2f(0, 0);
	gl.Vertex2f(0, (float)rec_h);
	gl.TexCoord2f(s, 0);
	gl.Vertex2f((float)rec_w, (float)rec_h);
	gl.TexCoord2f(s, t);
	gl.Vertex2f((float)rec_w, 0);
	gl.End();
	gl.PopMatrix();
	gl.MatrixMode(GL_PROJECTION);
	gl.PopMatrix();
	gl.MatrixMode(GL_MODELVIEW);

	gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
	if (use_pbo) {
		glExt.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, pbo_id);
		gl.ReadPixels(0, 0, rec_w, rec_h, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8, nullptr);
		glExt.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, 0);
	} else {
		gl.ReadPixels(0, 0, rec_w, rec_h, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8, b->pixels);
	}
	b->duration = d;
	if (!use_pbo || pbo_has_data) {
		usable_buffers->pop_front();
		UTL_message_queue_write(q_to_thread, b);
	}
	pbo_has_data = 1;
	return 1;
}

void qtim_class::stop_thread()
{
	if (state != 0) mov_stoprecord();
	if (qt_thread_made) {
		control_value = 0;
		UTL_message_queue_write(q_to_thread, flush_msg);
		UTL_thread_join(&qt_thread, &qt_thread_join);
		// The acknowledgement of that last flush is dropped with the queue.
		UTL_message_queue_destroy(q_to_thread);
		UTL_message_queue_destroy(q_from_thread);
		q_to_thread = q_from_thread = nullptr;
		qt_thread_made = 0;
	}
	if (pbo_id && glExt.glDeleteBuffersARB) {
		glExt.glDeleteBuffersARB(1, &pbo_id);
		pbo_id = 0;
	}
}

void qtim_class::draw_record_lgt()
{
	OGL_string(57, 10, 10, "Quicktime Movie Recording...", 9999, charset_regular, 0);
}

void qtim_class::qtim_wind()
{
	float wx1 = 0, wy1 = 0;
	BTN_fillwin(1, 21);
	BTN_subwin(0, 15, -1, -1, -1, 296, "", &wx1, &wy1);
	if (state != 0) mov_toggle(0);
	BTN_flt_range(150, 415, &fps, 2, 0, 10, 99, stls[528].empty() ? "Frames per second" : stls[528]);
	BTN_int_range(130, 365, &width, 4, 32, 2048, stls[529].empty() ? "Movie width in pixels" : stls[529]);
	auto line = [](int entry, const char* fallback, float y) {
		OGL_string(47, 20, y, stls[entry].empty() ? std::string(fallback) : stls[entry], 600, charset_regular, 0);
	};
	if (movies_available()) {
		line(724, "Movies are written as QuickTime files with Photo-JPEG frames.", 285);
	} else {
		line(725, "Movies cannot be recorded on this computer:", 285);
		line(726, "the movie writer or its JPEG encoder is missing.", 255);
		line(727, "Install the Debian packages libavformat59 and libavcodec59.", 245);
	}
	line(728, "Each take is saved beside the application as \"Ventora movie take-N.mov\".", 225);
	line(729, "The frame rate sets how often a frame is captured while recording.", 195);
	line(730, "The width sets the movie size; the height follows the window.", 165);
	line(731, "A movie is never wider than the window.", 125);
	line(732, "Changes apply to the next recording.", 85);
}
