#include "Installer-f/shell_questions.h"

#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenC/hl_shell_calls.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/UTL/UTL_log.h"

#include <algorithm>

namespace {
// The sub-window to go back to when a question ends.
int back_to(int prev) { return prev < 0 ? 0 : prev; }
}  // namespace

std::vector<select_alert_button> select_alert_layout(const select_alert_question& q,
                                                     const std::function<float(const std::string&)>& measure)
{
	const float margin = 12, gap = 10, left = 16;
	std::vector<float> column_x, column_w;
	std::vector<int> column_of;
	for (const select_alert_button& b : q.buttons) {
		size_t c = 0;
		while (c < column_x.size() && column_x[c] != b.x) ++c;
		if (c == column_x.size()) {
			column_x.push_back(b.x);
			column_w.push_back(0);
		}
		column_w[c] = std::max({column_w[c], b.width, measure(b.label) + 2 * margin});
		column_of.push_back((int)c);
	}
	std::vector<float> centre(column_x.size());
	float x = left;
	for (size_t c = 0; c < column_x.size(); ++c) {
		centre[c] = x + column_w[c] / 2;
		x += column_w[c] + gap;
	}
	std::vector<select_alert_button> out = q.buttons;
	for (size_t i = 0; i < out.size(); ++i) {
		out[i].x = centre[column_of[i]];
		out[i].width = column_w[column_of[i]];
	}
	return out;
}

int shell_select_alert(const select_alert_question& q)
{
	const int prev = mnw.wind_type;
	xer << "Question: " << q.message1 << " " << q.path << "\n" << std::flush;
	MACIBM_startwind(q.window_type, 0);
	stls[stls_entry_title] = q.title;
	const std::vector<select_alert_button> buttons = select_alert_layout(q, shell_str_dx);
	// Its window is up: input from now on goes to it (tests wait on this line).
	xer << "Question asked: " << q.message1 << " " << q.path << "\n" << std::flush;
	int result = 3;
	while (mnw.wind_type == q.window_type) {
		shell_plot_back_col();
		shell_fillwin(1, 21);
		// Each text starts on the line after the previous one ends.
		const float wrap = mnw.wind_dx - 40;
		float y = mnw.wind_dy - 40;
		y = shell_string_y(q.text_colour, 20, y, q.message1, wrap);
		y = shell_string_y(q.text_colour, 20, y, q.path, wrap);
		shell_string_y(q.text_colour, 20, y, q.message2, wrap);
		for (const select_alert_button& b : buttons) {
			if (shell_action(b.x, b.y, b.width, b.label)) {
				result = b.result;
				MACIBM_startwind(back_to(prev), 0);
				break;
			}
		}
		if (mnw.wind_type == q.window_type) MACIBM_event_proc();
	}
	return result;
}

int shell_abort_alert(const abort_question& q)
{
	const int prev = mnw.wind_type;
	// The question in the log: what the user was asked, next to the answer's effect.
	xer << "Question: " << q.message << "\n" << std::flush;
	MACIBM_startwind(q.window_type, 0);
	stls[stls_entry_title] = q.title;
	// The log tells what was asked and answered (tests wait on these lines).
	xer << "Question asked: " << q.message << "\n" << std::flush;
	int result = 3;  // the close box
	while (mnw.wind_type == q.window_type) {
		shell_plot_back_col();
		shell_fillwin(1, 21);
		shell_string(q.text_colour, q.message_x, q.message_y, q.message, mnw.wind_dx - 40, 0, 0);
		shell_string(q.text_colour, q.text1_x, q.text1_y, q.text1, mnw.wind_dx - 210, 0, 0);
		shell_string(q.text_colour, q.text2_x, q.text2_y, q.text2, mnw.wind_dx - 210, 0, 0);
		int hit = -1;
		if (shell_action(q.button1_x, q.button1_y, q.button_width, q.caption1)) hit = 1;
		else if (shell_action(q.button2_x, q.button2_y, q.button_width, q.caption2)) hit = 0;
		if (hit >= 0) {
			result = hit;
			MACIBM_startwind(back_to(prev), 0);
			break;
		}
		if (mnw.wind_type == q.window_type) MACIBM_event_proc();
	}
	// Closed through its close box, back on the main screen.
	xer << "Question answered: " << result << "\n" << std::flush;
	return result;
}

void install_shell_questions()
{
	select_alert_set_asker(shell_select_alert);
	set_abort_alert_handler(shell_abort_alert);
}
