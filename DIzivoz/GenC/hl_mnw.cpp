#include "DIzivoz/GenC/hl_mnw.h"

void mnw_set_defaults()
{
	mnw.wind_type = -1;
	mnw.menu_open = -1;
	mnw.tex_res = 5;
	mnw.x_res_req = 800;
	mnw.y_res_req = 600;
	mnw.bit_depth_req = 32;
	mnw.gui_scale = 1.0f;
	mnw.language = -1;
}
