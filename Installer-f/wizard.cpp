// The wizard's frame: background, the two panels, the page list, the page
// the current step fills, and the icon row along the bottom.
#include "Installer-f/wizard.h"

#include <algorithm>

#include "DIzivoz/GenH/hl_maker.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenC/hl_url.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/OGL/OGL_font.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/butn_layout.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "DIzivoz/UTL/UTL_log.h"
#include "DIzivoz/UTL/UTL_translate.h"

wizard_step g_wizard = demo_start;
std::vector<std::string> step_names;
std::vector<wizard_step> step_funcs;
void (*handle_prefs_target)() = nullptr;

float btn_cuts[8][3] = {
    {0, 0, 0},       {56, 91, 96},    {145, 172, 181}, {246, 284, 256},
    {357, 395, 367}, {489, 527, 499}, {605, 643, 615}, {701, 739, 723},
};

namespace {
wizard_step last = nullptr;
void (*page_cancel_hook)() = nullptr;  // the shown page's, for the window's close button
int (*page_quit_question)() = nullptr;
int close_pending = 0;  // the window's close button, asked about in the next frame
float steps_bottom = 480;
const float band_over[2] = {0.0f, 0.171875f};
const float band_held[2] = {0.1796875f, 0.3515625f};
const float band_normal[2] = {0.359375f, 0.53125f};

int lang_index()
{
	const int l = mnw.language;
	return l >= 0 && l <= 2 ? l : 0;
}
}  // namespace

void wizard_reset_last() { last = nullptr; }
wizard_step wizard_previous_step() { return last; }

float wizard_steps_bottom() { return steps_bottom; }

std::vector<std::string> wizard_step_lines(const std::string& name)
{
	std::vector<std::string> regular = OGL_wrap_split(name, kStepWrap, charset_regular);
	std::vector<std::string> bold = OGL_wrap_split(name, kStepWrap, charset_bold);
	return bold.size() > regular.size() ? bold : regular;
}

float wizard_step_room(const std::string& name)
{
	return std::max(20.0f, wizard_step_lines(name).size() * OGL_line_step(charset_regular) + 7);
}

float interface_icon_width(int icon, int lang)
{
	if (icon < 0 || icon > 6 || lang < 0 || lang > 2) return 0;
	return btn_cuts[icon + 1][lang] - btn_cuts[icon][lang];
}

float wizard_bar_width(float progress)
{
	if (!(progress >= 0)) return 0;
	const float fill = 0.04f + 0.96f * progress;
	if (fill < 0.04f) return 20.8f;
	if (fill > 1) return 520;
	return 520 * fill;
}

int interface_rect(float x, float y, int icon, int align, int* out_width, int active, int look)
{
	if (icon < 0 || icon > 6) return 0;
	const int lang = lang_index();
	const float s0 = btn_cuts[icon][lang], s1 = btn_cuts[icon + 1][lang], w = s1 - s0;
	if (out_width) *out_width = (int)w;
	float left = x;
	if (align == 0) left = x - w / 2;
	if (align == -1) left = x - w;
	const float right = left + w, bottom = y, top = y + 22;
	BTN_layout_add(layout_icon, left, bottom, right, top, "icon " + std::to_string(icon));
	const bool inside = mnw.mouse_x >= left && mnw.mouse_x <= right && mnw.mouse_y >= bottom && mnw.mouse_y <= top;
	const float* band = band_normal;
	if (active && inside) band = mnw.mouse_down ? band_held : band_over;
	// The picture's first row is its bottom row in texture space.
	OGL_2dquad(395, 103, look == 2 ? 0.5f : 1.0f, left, top, s0 / 1024, band[1], right, top, s1 / 1024, band[1], right,
	           bottom, s1 / 1024, band[0], left, bottom, s0 / 1024, band[0], 1, 5);
	return mnw.mouse_click && inside ? 1 : 0;
}

int interface_rect_wrap(float x, float y, int icon, int align, int* out_width, int active, int look)
{
	return interface_rect(x, y, icon, align, out_width, active, look);
}

void wizard_close_request()
{
	// The window's close button is the page's Quit; a question is asked
	// from the page's own frame, not from inside the event loop.
	if (page_quit_question) {
		close_pending = 1;
		MACIBM_frame_animate();
		return;
	}
	if (page_cancel_hook) page_cancel_hook();
	page_cancel_hook = nullptr;
	app_done = 1;
}

int wizard_quit(int, wizard_screen&)
{
	app_done = 1;
	return 1;
}

void function_key(int) {}

namespace {

// Every glyph the pages may show enters the atlas before a frame draws. A
// glyph met later changes the atlas in the middle of a frame, and the
// renderer must first finish what that frame drew so far: milliseconds of a
// software renderer on the very frame that shows a new page.
void warm_glyphs()
{
	// The last one warmed stands for them all (a font's reset empties it).
	const unsigned int last = 0x20ac;
	if (OGL_font_get(charset_regular)->find(last) && OGL_font_get(charset_bold)->find(last)) return;
	std::string text = "\n";  // measured too, where a body breaks its lines
	for (unsigned int c = 0x20; c < 0x7f; ++c) text += (char)c;
	for (unsigned int c = 0xa0; c <= 0xff; ++c) {
		text += (char)(0xc0 | (c >> 6));
		text += (char)(0x80 | (c & 0x3f));
	}
	text += "\u0152\u0153\u2013\u2014\u2018\u2019\u201a\u201c\u201d\u201e\u2026\u20ac";
	OGL_measure_string(text, charset_regular);
	OGL_measure_string(text, charset_bold);
}

}  // namespace

void wizard_APP_update()
{
	// A modal window opened inside this frame (the cancel question, the
	// preferences) runs frames of its own; closed through its close box, its
	// last frame is on the main screen again and would run the page a second
	// time from inside itself, asking the same question again.
	static int running = 0;
	if (running) return;
	warm_glyphs();
	struct running_guard {
		running_guard() { running = 1; }
		~running_guard() { running = 0; }
	} guard;
	colr.assign(103, 1, 1, 1);
	const float W = (float)mnw.x_res, H = (float)mnw.y_res;
	OGL_2dquad(397, 103, 1, 0, H, 0, H / 1024, W, H, W / 1024, H / 1024, W, 0, W / 1024, 0, 0, 0, 0, 0, 1, 4);
	BTN_frame2(20, 10, 50, 190, 453, "");
	BTN_frame2(20, 210, 50, 580, 453, "");
	BTN_layout_side_margin(kBodyMargin);

	// One step every 20 units; a name that wraps pushes the rest down. A
	// name breaks where its bold (current) form does in either font, so the
	// list stands still as the current step moves down it.
	const int n = (int)step_names.size();
	float y = 480;
	for (int i = 0; i < n; ++i) {
		const bool here = i < (int)step_funcs.size() && step_funcs[i] == g_wizard;
		float line_y = y;
		for (const std::string& line : wizard_step_lines(step_names[i])) {
			OGL_string(here ? 65 : 45, 30, line_y, line, 9999, here ? charset_bold : charset_regular, 0);
			line_y -= OGL_line_step(charset_regular);
		}
		y -= wizard_step_room(step_names[i]);
	}
	steps_bottom = y;
	if (stg.get_beta)
		steps_bottom = OGL_string(69, 30, y,
		                          UTL_translate_string("You have chosen to download Ventora 9 betas.  If you do not "
		                                               "want this, choose options and uncheck the beta option."),
		                          160, charset_regular, 0);

	if (!g_wizard) {
		app_done = 1;
		return;
	}

	wizard_screen screen;
	const int first_time = g_wizard != last ? 1 : 0;
	const wizard_step called = g_wizard;
	const int result = g_wizard(first_time, screen);
	page_cancel_hook = screen.cancel_hook;
	page_quit_question = screen.quit_question;
	// One log line per page change, its title (tests wait on it).
	if (first_time) {
		BTN_layout_new_scene();
		int index = -1;
		for (size_t i = 0; i < step_funcs.size(); ++i)
			if (step_funcs[i] == called) index = (int)i;
		xer << "Wizard page " << index << ": " << screen.title << "\n";
		// The page's text on one line: what the user was told, for support.
		std::string text = screen.body;
		STR_replace_all(text, "\n", "\\n");
		xer << "Wizard text: " << text << "\n" << std::flush;
	}
	last = g_wizard;

	OGL_string(12, 500, 480, screen.title, 540, charset_bold, 1);
	OGL_string(12, 230, 440, screen.body, 540, charset_regular, 0);

	for (size_t i = 0; i < screen.choice_labels.size(); ++i) {
		if (BTN_action(500, 350.0f - 25 * i, 250, 0, 1, screen.choice_labels[i], "-") && i < screen.choice_steps.size())
			g_wizard = screen.choice_steps[i];
	}

	if (screen.progress >= 0) {
		const float bw = wizard_bar_width(screen.progress);
		BTN_frame1(4, 500 - mnw.wind_x, 155 - mnw.wind_y, 520, 0);
		BTN_frame1(5, 240 + bw / 2 - mnw.wind_x, 155 - mnw.wind_y, bw, 0);
		BTN_layout_add(layout_bar, 241, 150, 759, 160, "progress");
		OGL_string(12, 242, 120, screen.progress_text, 520, charset_regular, 0);
	}

	if (screen.show_servers && stg.server_count > 0) {
		const int count = stg.server_count;
		for (int k = 0; k < count && k < 10; ++k) {
			const float y = 40.0f * count + 38 - 40.0f * k;
			BTN_is_int(30, y, &stg.server_sel, k, "");
			std::string left, right, help;
			BTN_expand_label(server_desc[k], left, right, help);
			OGL_string(45, 50, y, right, 130, charset_regular, 0);
		}
	}

	const bool quit_is_next = screen.next == wizard_quit;
	int quit_w = (int)interface_icon_width(0, lang_index());
	bool quit = close_pending != 0;
	close_pending = 0;
	if (!quit_is_next && interface_rect(30, 12, 0, 1, &quit_w, 1, 1)) quit = true;
	// The question may run frames of its own; the page is not run meanwhile.
	if (quit && (!screen.quit_question || screen.quit_question())) {
		if (screen.cancel_hook) screen.cancel_hook();
		app_done = 1;
	}
	// The Preferences icon keeps its place also where Quit moved to the right.
	if (interface_rect(40.0f + quit_w, 12, 6, 1, nullptr, screen.prefs_enabled, screen.prefs_enabled ? 1 : 2) &&
	    screen.prefs_enabled && handle_prefs_target)
		handle_prefs_target();
	if (interface_rect(400, 12, 5, 0, nullptr, 1, 1)) go_to_URL("http://" + store_host + "/cart.php?m=product_list&c=3");

	int next_w = 0;
	const int next_icon = quit_is_next ? 0 : 2;
	if (interface_rect(770, 12, next_icon, -1, &next_w, screen.next ? 1 : 0, screen.next ? 1 : 2) && screen.next)
		g_wizard = screen.next;
	if (interface_rect(760.0f - next_w, 12, 1, -1, nullptr, screen.back ? 1 : 0, screen.back ? 1 : 2) && screen.back)
		g_wizard = screen.back;
	if (result && screen.next) g_wizard = screen.next;
	// The new page shows from the next frame on, input or not, and that
	// frame follows at once: its first frame starts the page's work (an
	// install, a scan), which a tick's wait would only delay. This frame,
	// the page left, is not shown. The work of the page left (or of a
	// program that ends) does not go on.
	if (g_wizard != called) MACIBM_frame_superseded();
	if (g_wizard != called || app_done) frame_work::drop_then();
}
