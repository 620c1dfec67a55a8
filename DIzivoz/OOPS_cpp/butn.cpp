#include "DIzivoz/OOPS_cpp/butn.h"

#include <cmath>
#include <cstring>

#include "DIzivoz/GenH/hl_globals.h"

// Built after the globals unit (the log exists) and before the option map.
#define BTN_INIT __attribute__((init_priority(250)))

namespace {
struct default_colour {
	int first, last;
	float r, g, b;
};

// Index ranges not listed stay black.
const default_colour default_colours[] = {
	{0, 0, 1, 1, 1},        {1, 1, 1, 0.2f, 0.2f},    {2, 2, 1, 1, 0.2f},
	{3, 3, 0.7f, 0.7f, 0.7f}, {4, 4, 0.8f, 0, 0},       {5, 5, 1, 1, 0},
	{6, 6, 0.3f, 0.3f, 0.3f}, {7, 7, 0.2f, 0, 0},       {8, 8, 1, 0.8f, 0.2f},
	{9, 9, 0.1f, 0.1f, 0.1f}, {10, 10, 0, 0.8f, 0},     {13, 13, 0, 0.4f, 0},
	{15, 15, 0.4f, 0.4f, 1},  {17, 17, 0, 0, 0.6f},     {18, 18, 0.9f, 0.9f, 0.9f},
	{19, 19, 0.8f, 0.1f, 0.1f}, {20, 20, 0.9f, 0.9f, 1}, {21, 21, 0.9f, 0.9f, 0.9f},
	{22, 22, 0.1f, 0.1f, 0.1f}, {24, 24, 1, 1, 0},      {26, 28, 1, 1, 1},
	{29, 29, 1, 1, 0},        {31, 33, 1, 1, 1},        {49, 49, 1, 1, 1},
	{50, 50, 0.4f, 1, 0.4f},  {51, 51, 1, 0.4f, 0.4f},  {52, 52, 1, 1, 0.6f},
	{53, 53, 0.7f, 0.7f, 1},  {54, 54, 1, 0.5f, 0},     {55, 55, 0.8f, 0.8f, 0.8f},
	{56, 56, 0, 1, 0},        {57, 57, 1, 0.2f, 0.2f},  {58, 58, 1, 1, 0.2f},
	{59, 59, 0.4f, 0.4f, 1},  {60, 60, 0.5f, 0.3f, 0},  {61, 61, 0.5f, 0.5f, 0.5f},
	{62, 62, 0, 0.6f, 0},     {63, 63, 0.6f, 0.2f, 0},  {64, 64, 1, 1, 0},
	{65, 65, 0.2f, 0.2f, 0.8f}, {66, 66, 1, 0.4f, 0},   {67, 67, 0.2f, 0.2f, 0.2f},
	{68, 68, 0, 0.2f, 0},     {69, 69, 1, 0, 0},        {70, 70, 0.6f, 0.6f, 0},
	{71, 71, 0.15f, 0.15f, 0.6f}, {72, 72, 0.49f, 0.43f, 0.24f}, {74, 74, 0, 0.1f, 0},
	{75, 75, 1, 0.2f, 1},     {76, 76, 1, 0, 1},        {77, 77, 0, 1, 1},
	{78, 78, 0.44f, 0.53f, 0.54f}, {85, 85, 1, 0, 1},   {87, 87, 1, 0, 1},
	{88, 88, 1, 1, 1},        {97, 97, 0.5f, 0.5f, 0.4f}, {98, 98, 1, 0.3f, 0},
	{99, 99, 0.5f, 0.5f, 0.4f}, {100, 100, 0.8f, 0.8f, 0.7f}, {101, 101, 0, 0.6f, 0.2f},
	{102, 102, 1, 1, 0.9f},   {105, 105, 1, 1, 1},
};
}  // namespace

const float roygbv_rgb_loc[6][3] = {
	{1, 0, 0}, {1, 0.32f, 0.08f}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {0.8f, 0, 0.8f},
};

colr_class colr BTN_INIT;
cmnd_class cmnd BTN_INIT;
int focus_id = 0;
int return_hit = 0;
int escape_hit = 0;
int delete_hit = 0;
static int fp = 0;  // plane focus

colr_class::colr_class()
{
	std::memset(static_cast<void*>(this), 0, sizeof(*this));
	for (const default_colour& d : default_colours)
		for (int i = d.first; i <= d.last; ++i) {
			rgb[i][0] = d.r;
			rgb[i][1] = d.g;
			rgb[i][2] = d.b;
		}
	image_gamma = 1.8;
	display_gamma = 1.8;
	// The exponent is 1.0, not either gamma: the table maps each byte to itself.
	gamma_table[0] = 0;
	for (int i = 1; i < 256; ++i) gamma_table[i] = (unsigned char)(int)(std::pow(i / 255.0, 1.0) * 255.0 + 0.5);
	gamma_on = display_gamma != 1.8 ? 1 : 0;
}

void colr_class::assign(int index, float r, float g, float b)
{
	if (index < 0 || index >= colr_count) {
		xer << "WARNING: palette index " << index << " is out of range; colour not stored.\n";
		return;
	}
	rgb[index][0] = r;
	rgb[index][1] = g;
	rgb[index][2] = b;
}

void colr_class::set_lites_for_interface()
{
	for (int c = 0; c < 3; ++c)
		if (rgb[105][c] <= 0.75f) rgb[105][c] = 0.75f;
}

void colr_class::spectrum_init(int type)
{
	if (type < 0 || type > 3) return;
	for (int i = 0; i < colr_spectrum_size; ++i) {
		const float a = i / 1000.0f;
		float* e = spectrum[i];
		if (type == 0) {
			int stop = a < 0.2f ? 0 : a < 0.4f ? 1 : a < 0.6f ? 2 : a < 0.8f ? 3 : 4;
			const float t = (a - 0.2f * stop) * 5.0f;
			for (int c = 0; c < 3; ++c)
				e[c] = roygbv_rgb_loc[stop][c] * (1.0f - t) + roygbv_rgb_loc[stop + 1][c] * t;
		} else {
			e[0] = type == 1 ? a : 0;
			e[1] = type == 2 ? a : 0;
			e[2] = type == 3 ? a : 0;
		}
	}
}

cmnd_class::cmnd_class()
{
	// The first row of the built-in command table: "no command".
	symbol.push_back("cmnd_nothing");
	name.push_back("sim/-none-/-none-");
	description.push_back("Do nothing at all!");
	kind.push_back(3);
	press_count.push_back(0);
}

int cmnd_class::add_cmd(const std::string& n, const std::string& d)
{
	const int number = (int)name.size();
	symbol.push_back("DYNAMIC");
	name.push_back(n);
	description.push_back(d);
	kind.push_back(2);
	// Grown with the others so a command added at run time can be pressed.
	press_count.push_back(0);
	return number;
}

int cmnd_class::get_cmnd_by_name(const std::string& n)
{
	for (size_t i = 0; i < name.size(); ++i)
		if (name[i] == n) return (int)i;
	return 0;
}

void cmnd_class::get_cmds_in_path(const std::string& prefix, std::vector<std::string>& out)
{
	out.clear();
	for (const std::string& n : name) {
		if (n.size() <= prefix.size() || n.compare(0, prefix.size(), prefix) != 0) continue;
		const size_t slash = n.find('/', prefix.size());
		out.push_back(slash == std::string::npos ? n.substr(prefix.size())
		                                         : n.substr(prefix.size(), slash + 1 - prefix.size()));
	}
}

void cmnd_class::press_one(int index)
{
	if (index >= 0 && index < (int)press_count.size()) ++press_count[index];
}

void cmnd_class::release_one(int index)
{
	if (index >= 0 && index < (int)press_count.size()) --press_count[index];
}

void cmnd_class::single_press(int index)
{
	press_one(index);
	release_one(index);
}

void cmnd_class::press_always(int) {}

int get_plane_focus() { return fp; }
void set_plane_focus(int f) { fp = f; }

void BTN_unfocus_any() { focus_id = 0; }
