#pragma once
// Movie recorder: copies each shown frame out of the frame buffer, scales it
// to the movie size, reads it back and hands it to a compressor thread that
// writes Photo-JPEG samples into a QuickTime-format movie (time scale 600).
#include <string>

class qtim_class {
public:
	qtim_class();
	~qtim_class();

	int movies_ok;    // the movie muxer and JPEG encoder exist; -1 until asked (tests may set it)
	int movies_available();  // movies_ok, asked of the movie layer on first need
	int state;        // 0 idle, 1 recording, 2 stop requested
	int width;        // movie width asked for (settings screen), 32..2048
	int height;       // movie height, set at start from the window's aspect
	float fps;        // frames per second asked for, 10..99
	int frames_done;  // frame buffers back from the compressor this recording

	// Once per frame from the shell: 1 when the frame was already presented.
	int mov_per_frame();
	void mov_toggle(int new_state);
	void mov_startrecord();
	void mov_stoprecord();
	int mov_add_frame();
	// Shutdown: finishes a movie and ends the compressor thread.
	void stop_thread();
	void draw_record_lgt();
	void mov_alert(std::string line1, std::string line2, const char* line3, int code);
	// The settings screen, drawn each frame while open.
	void qtim_wind();
};

extern qtim_class qtim;

// Test view of the unit: the open movie's path ("" when none), the size and
// rate fixed for the running recording, and the frames skipped because no
// buffer was free.
struct qtim_status {
	std::string movie_path;
	int rec_width, rec_height;
	float rec_fps;
	int skipped;
	int thread_made;
	int buffers;
};
qtim_status qtim_get_status();
// Test seam: the one-second settling wait after creating a movie, in ms.
void qtim_set_settle_ms(int ms);
