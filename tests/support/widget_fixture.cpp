#include "tests/support/widget_fixture.h"

#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"

void gl_widget_test::SetUp()
{
	gl_test::SetUp();
	mnw_set_defaults();
	mnw.wind_x = mnw.wind_y = 0;
	mnw.wind_dx = dx_;
	mnw.wind_dy = dy_;
	mnw.wind_type = type_;
	mnw.menu_open = -1;
	no_mouse();
	focus_id = 0;
	active_popup_code = select_popup_code = popup_menu_select = 0;
	OGL_setstate_forget();
	MACIBM_set_alert_sink([this](const alert_record& a) { alerts.push_back(a); });
	BTN_begin_focus_ring();
}

void gl_widget_test::TearDown()
{
	MACIBM_set_alert_sink({});
	focus_id = 0;
	mnw.menu_open = -1;
	active_popup_code = 0;
	stls[stls_entry_help].clear();
	BTN_begin_focus_ring();
}

void gl_widget_test::no_mouse()
{
	mnw.mouse_x = mnw.mouse_y = -1000;
	mnw.mouse_click = mnw.mouse_down = mnw.mouse_hold = 0;
}

void gl_widget_test::press(float x, float y)
{
	mnw.mouse_x = x;
	mnw.mouse_y = y;
	mnw.mouse_click = mnw.mouse_down = 1;
	BTN_unfocus_any();
}

void gl_widget_test::hold(float x, float y)
{
	mnw.mouse_x = x;
	mnw.mouse_y = y;
	mnw.mouse_click = 0;
	mnw.mouse_down = 1;
}
