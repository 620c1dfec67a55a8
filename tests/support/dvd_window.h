#pragma once
// The installer's window on a private X server, driven with real input:
// clicks and drags at GUI points, pixels of GUI points, the log's page lines,
// and the centred question window.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vtest {

class xvfb_server;
class shell_app_run;
class x_view;

// Polls ok() every 20 ms; its last answer after `seconds`.
bool wait_for(const std::function<bool()>& ok, double seconds);
// Occurrences of `what` in `text`.
int count_in(const std::string& text, const std::string& what);

class wizard_window {
public:
	// lang: 0 English, 1 French, 2 German.
	explicit wizard_window(int lang = 0, const std::string& program = "ventora_dvd_installer");
	~wizard_window();
	wizard_window(const wizard_window&) = delete;
	wizard_window& operator=(const wizard_window&) = delete;

	// Starts the program and waits for its window.
	bool start(const std::vector<std::string>& args = {"--missing_strings"});

	void point(float x, float y, int* sx, int* sy);  // screen point of a GUI point
	void size(int* w, int* h);
	void move(float x, float y);
	// Press and release with a pause between, so frames see the button held.
	void click(float x, float y);
	// A quick tap: xdotool's own click (press and release 12 ms apart), which
	// a frame often sees whole.
	void tap(float x, float y);
	void drag(float x0, float y0, float x1, float y1);
	// Colours of a 3 x 3 block around a GUI point; the block once two looks
	// 100 ms apart agree.
	std::vector<unsigned> block(float x, float y);
	std::vector<unsigned> steady_block(float x, float y);

	// The log and, after it, what the program wrote to its standard error.
	std::string log() const;
	int count(const std::string& text) const;
	// Waits until `text` occurs more than `before` times in the log.
	bool wait_count(const std::string& text, int before, double seconds);
	bool wait_log(const std::string& text, double seconds);
	// Clicks a point until a new log line holding `text` appears (a busy
	// machine may lose a click).
	bool click_until(float x, float y, const std::string& text, double each = 5, int tries = 6);
	float next_x() const;
	float back_x() const;
	float quit_right_x() const;  // Quit in Next's place
	float quit_left_x() const;
	bool next_until(const std::string& text, double each = 5, int tries = 6);
	bool back_until(const std::string& text);

	// A point of the centred question window (700 x 206).
	void question_point(float x, float y, float* gx, float* gy);
	void question_click(float x, float y);

	int wait_exit(double seconds);
	const std::string& folder() const;
	std::string home() const;  // the program's HOME, ending in '/'

private:
	void xdo(const std::vector<std::string>& args);

	int lang_;
	std::unique_ptr<xvfb_server> x_;
	std::unique_ptr<shell_app_run> run_;
	std::unique_ptr<x_view> xv_;
	unsigned long win_ = 0;
};

}  // namespace vtest
