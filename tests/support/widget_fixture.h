#pragma once
// Fixture for widgets drawn frame by frame on the GL test context: a modal
// sub-window (type 1, 800 x 600 unless a derived fixture asks for another)
// at the origin, no mouse, no keyboard focus, no open menu or pop-up, and
// alerts collected instead of shown.
#include <vector>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "tests/support/gl_context.h"

class gl_widget_test : public gl_test {
protected:
	explicit gl_widget_test(float dx = 800, float dy = 600, int type = 1) : dx_(dx), dy_(dy), type_(type) {}
	std::vector<alert_record> alerts;

	void SetUp() override;
	void TearDown() override;

	// The pointer far outside every widget, no button.
	static void no_mouse();
	// A press this frame: the frame clock drops the focus first.
	static void press(float x, float y);
	// The button still held at (x, y).
	static void hold(float x, float y);
	// One frame: the focus ring starts afresh, then the widgets are drawn.
	template <class F>
	static int frame(F draw)
	{
		BTN_begin_focus_ring();
		return draw();
	}

private:
	float dx_, dy_;
	int type_;
};
