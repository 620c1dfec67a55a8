#pragma once
// Constants every unit shares. Each unit has its own copies; the floats are
// compile-time constants and the strings are built before any other object of
// the program (lowest initialisation priority), so their values hold whatever
// the order in which units are initialised.
#include <string>

#define HL_FIRST_INIT __attribute__((init_priority(101)))

static constexpr float littogal = 0.264172f;
static constexpr float kgstolbs = 2.204622f;
static constexpr float mtrstoft = 3.28084f;
static constexpr float watttohp = 0.001341022f;
static constexpr float radtodeg = 57.29578f;
static constexpr float degtorad = 0.01745329f;
static constexpr float fpstokts = 0.5924838f;
static constexpr float ktstomsc = 0.5144445f;
static constexpr float msctokts = 1.943844f;
static constexpr float rpmtorsc = 0.1047198f;
static constexpr float rsctorpm = 9.549295f;
static constexpr float fpmtomsc = 0.00508f;
static constexpr float msctofpm = 196.8504f;
static constexpr float nmtomtrs = 1852.0f;
static constexpr float mtrstonm = 0.0005399568f;
static constexpr float smtomtrs = 1609.344f;
static constexpr float mtrstosm = 0.0006213712f;
static constexpr float sftosmtr = 0.09290304f;
static constexpr float smtrtosf = 10.76391f;
static constexpr float lbstontn = 4.444427f;
static constexpr float ntntolbs = 0.2250009f;
static constexpr float ftlbtonm = 1.354661f;
static constexpr float nmtoftlb = 0.738192f;
static constexpr float endtomed = 514.9391f;
static constexpr float medtoend = 0.001941977f;
static constexpr float enptomep = 47.83941f;
static constexpr float meptoenp = 0.02090327f;
static constexpr float enItomtI = 0.04214012f;
static constexpr float mtltoenl = 23.73035f;
static constexpr float pasto_hg = 0.0002952874f;
static constexpr float hg_topas = 3386.531f;
static constexpr float milto_hg = 0.02952874f;
static constexpr float hg_tomil = 33.86531f;
static constexpr float sm_to_nm = 0.8689762f;
static constexpr float lbhtokgs = 0.0001259979f;
static constexpr float kgstolbh = 7936.639f;
static constexpr float pastopsi = 0.0001450326f;
static constexpr float msctomph = 2.236936f;
static constexpr float mphtomsc = 0.44704f;
static constexpr float kgstopph = 7936.639f;

static constexpr float scn_vis_ele = 30480.0f;
static constexpr float loc_deg_per_dot = 1.2f;
static constexpr float gls_deg_per_dot = 0.28f;
static constexpr float prd_min = 0.000990099f;

static const std::string afl_path HL_FIRST_INIT = "Airfoils/";
static const std::string wpn_path HL_FIRST_INIT = "Weapons/";
static const std::string apt_path_def HL_FIRST_INIT = "LOWI";
static const std::string acf_path HL_FIRST_INIT = "Aircraft/";
static const std::string acf_path_def HL_FIRST_INIT =
	std::string("Aircraft/") + "General Aviation/Cirrus TheJet/c4.acf";
static const std::string no_install_name HL_FIRST_INIT = "Not Yet Scanned";
static const std::string data_path HL_FIRST_INIT = "Resources/default data/";
static const std::string build_name[3] HL_FIRST_INIT = {"Ventora 9.10r1", "Mars", "Moon"};
