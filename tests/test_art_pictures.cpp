// The committed pictures: the generator still makes them byte for byte, every
// atlas cell that is cut holds paint, no two cells share a pixel, the theme
// pixels read at start-up are legible where they are drawn, and the world map
// has land and sea where the world does.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "DIzivoz/OOPS_cpp/xmap.h"
#include "DIzivoz/TEX/TEX_png.h"
#include "Installer-f/wizard.h"
#include "tests/support/files_tmp.h"

namespace {

const std::string kSrc = std::string(VENTORA_TEST_SRC_DIR) + "/../Resources/";

// RGBA pixels read through the program's PNG reader, rows from the
// picture's bottom as texture rows count.
struct picture {
    int w = 0, h = 0;
    std::vector<unsigned char> px;
    const unsigned char* at(int u, int v) const { return &px[(size_t(v) * w + u) * 4]; }
};

picture load(const std::string& path) {
    picture p;
    xmap_class file(path);
    unsigned char* pixels = nullptr;
    TEX_image_desc d;
    if (TEX_load_png(path, &file, pixels, GL_RGBA, 0, 0, 0, d) == 1 && d.format == GL_RGBA) {
        p.w = d.width;
        p.h = d.height;
        p.px.assign(pixels, pixels + size_t(d.width) * d.height * 4);
    }
    free(pixels);
    return p;
}

const char* kPictures[] = {"interface.png",       "map.png",           "background.png", "elements_English.png",
                           "elements_French.png", "elements_German.png", "bitmaps/intro.png"};

#ifdef VENTORA_ARTGEN  // the generator is built where libnetcdf is installed (scripts/setup.sh)
TEST(ArtPictures, GeneratorRewritesTheCommittedBytes) {
    files_tmp tmp;
    std::string cmd = std::string(VENTORA_ARTGEN) + " --out " + tmp("out") + " --fonts " VENTORA_RES_DIR
                      " --gshhg " VENTORA_GSHHG;
    int rc = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) == 0) << cmd;
    for (const char* name : kPictures) {
        std::string made = tmp.read(std::string("out/") + name);
        std::string kept = vtest::read_file_bytes(kSrc + name);
        EXPECT_FALSE(made.empty()) << name;
        EXPECT_TRUE(made == kept) << name << " differs from the generator's output; run the artwork target";
    }
}

TEST(ArtPictures, GeneratorReportsAMissingShorelineFile) {
    files_tmp tmp;
    std::string cmd = std::string(VENTORA_ARTGEN) + " --out " + tmp("out") + " --fonts " VENTORA_RES_DIR
                      " --gshhg " + tmp("none.nc") + " 2>" + tmp("err.txt");
    int rc = std::system(cmd.c_str());
    EXPECT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) == 1);
    EXPECT_NE(tmp.read("err.txt").find("cannot open shoreline file"), std::string::npos);
}

#endif

TEST(ArtPictures, SizesAreTheOnesTheLoadersExpect) {
    const struct { const char* name; int w, h; } sizes[] = {
        {"interface.png", 512, 512}, {"map.png", 512, 512}, {"background.png", 1024, 1024},
        {"elements_English.png", 1024, 128}, {"elements_French.png", 1024, 128},
        {"elements_German.png", 1024, 128},
    };
    for (const auto& s : sizes) {
        picture p = load(kSrc + s.name);
        EXPECT_EQ(p.w, s.w) << s.name;
        EXPECT_EQ(p.h, s.h) << s.name;
    }
    picture intro = load(kSrc + "bitmaps/intro.png");
    EXPECT_GT(intro.w, 0);
    EXPECT_LE(intro.w, 2048);
    EXPECT_LE(intro.h, 2048);
}

// Atlas cells as pixel rectangles [u0, u1) x [v0, v1).
struct cell {
    const char* what;
    int u0, v0, u1, v1;
};

std::vector<cell> atlas_cells() {
    std::vector<cell> c = {
        {"bar 0", 1, 487, 101, 512},    {"bar 1", 102, 487, 202, 512},  {"button", 304, 486, 356, 512},
        {"button lit", 304, 459, 356, 485}, {"progress track", 112, 161, 140, 177},
        {"progress fill", 83, 161, 111, 177}, {"slider track", 240, 242, 305, 266},
        {"slider fill", 289, 219, 305, 235}, {"number field", 262, 133, 313, 159},
        {"pop-up box", 357, 488, 425, 512}, {"vertical track", 102, 248, 122, 288},
        {"panel 11", 1, 358, 101, 458},  {"panel 12", 102, 358, 202, 458}, {"panel 13", 203, 358, 303, 458},
        {"panel 14", 304, 358, 404, 458}, {"panel 15", 405, 358, 505, 458}, {"panel 16", 1, 289, 69, 357},
        {"panel 17", 70, 315, 112, 357}, {"panel 18", 113, 315, 155, 357}, {"panel 19", 440, 12, 484, 56},
        {"check box", 139, 178, 157, 196}, {"check tick", 139, 197, 157, 215},
        {"radio box", 83, 123, 101, 141}, {"radio tick", 83, 142, 101, 160},
        {"tab on", 204, 486, 302, 512},  {"tab off", 204, 459, 302, 485},
        {"needle 1", 156, 272, 166, 314}, {"needle 0", 156, 315, 166, 357}, {"dial", 178, 160, 234, 218},
        {"title box 0", 120, 178, 138, 196}, {"title box 1", 120, 197, 138, 215},
        {"menu arrow", 158, 178, 176, 196},
        {"digit down", 83, 178, 97, 196}, {"digit up", 83, 197, 97, 215},
        {"slider down", 83, 216, 101, 238}, {"slider thumb", 83, 240, 101, 264},
        {"slider up", 83, 266, 101, 288}, {"slider knob", 262, 267, 282, 289},
        {"browse icon", 208, 133, 234, 159},
    };
    // Cursor cells (column, row) of kinds 3-14 and the held hands.
    const int cursors[][2] = {{-1, 0}, {-1, 1}, {0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1},
                              {3, 0}, {3, 1}, {4, 0}, {4, 1}, {5, 0}, {5, 1}};
    for (const auto& k : cursors)
        c.push_back({"cursor", k[0] * 32 + 200, k[1] * 32 + 293, k[0] * 32 + 230, k[1] * 32 + 323});
    // File-dialog icons, 6/256 wide at v 41/256 .. 47/256.
    for (int u : {17, 24, 31, 45, 52, 59, 66, 73}) c.push_back({"file icon", u * 2, 82, u * 2 + 12, 94});
    return c;
}

bool painted(const picture& p, const cell& c) {
    for (int v = c.v0; v < c.v1; ++v)
        for (int u = c.u0; u < c.u1; ++u)
            if (p.at(u, v)[3] > 0) return true;
    return false;
}

TEST(ArtPictures, EveryAtlasCellIsPaintedAndApart) {
    picture p = load(kSrc + "interface.png");
    ASSERT_EQ(p.w, 512);
    std::vector<cell> cells = atlas_cells();
    for (const cell& c : cells) EXPECT_TRUE(painted(p, c)) << c.what << " at " << c.u0 << "," << c.v0;
    for (size_t i = 0; i < cells.size(); ++i)
        for (size_t j = i + 1; j < cells.size(); ++j) {
            const cell &a = cells[i], &b = cells[j];
            bool overlap = a.u0 < b.u1 && b.u0 < a.u1 && a.v0 < b.v1 && b.v0 < a.v1;
            EXPECT_FALSE(overlap) << a.what << " and " << b.what;
        }
    for (const cell& c : cells) {
        for (int v = 67; v <= 155; v += 8) EXPECT_FALSE(319 >= c.u0 && 319 < c.u1 && v >= c.v0 && v < c.v1) << c.what;
        EXPECT_FALSE(395 >= c.u0 && 395 < c.u1 && 115 >= c.v0 && 115 < c.v1) << c.what;
    }
}

TEST(ArtPictures, BarsReachingTheTopWrapOntoTheirOwnLook) {
    // Styles 0 and 1 cut up to row 513: a repeating texture shows rows 0-1 there,
    // a clamped one row 511; both must be what the bar's top looks like.
    picture p = load(kSrc + "interface.png");
    ASSERT_EQ(p.w, 512);
    for (int u = 1; u < 202; u += 7)
        for (int v = 0; v < 2; ++v)
            for (int k = 0; k < 4; ++k) EXPECT_EQ(p.at(u, v)[k], p.at(u, 511)[k]) << u;
}

double luminance(const unsigned char* c) {
    auto ch = [](unsigned char x) {
        double s = x / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * ch(c[0]) + 0.7152 * ch(c[1]) + 0.0722 * ch(c[2]);
}
double contrast(const unsigned char* a, const unsigned char* b) {
    double x = luminance(a), y = luminance(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

TEST(ArtPictures, ThemePixelsAreLegibleOverWhatTheyAreDrawnOn) {
    picture p = load(kSrc + "interface.png");
    ASSERT_EQ(p.w, 512);
    auto entry = [&](int index) -> const unsigned char* {
        if (index == 44) return p.at(395, 115);
        int slot = index < 39 ? index - 34 : index < 44 ? index - 35 : index - 36;
        return p.at(319, 155 - 8 * slot);
    };
    for (int i : {34, 35, 36, 37, 38, 40, 41, 42, 43, 44, 45, 46, 47}) EXPECT_EQ(entry(i)[3], 255) << i;
    // Entry, and an atlas pixel of what it is drawn over.
    const struct { int index, u, v; const char* over; double min; } cases[] = {
        {40, 50, 445, "the title bar of a sub-window", 4.5},
        {43, 50, 400, "a window panel", 4.5},
        {43, 150, 400, "a window panel without title bar", 4.5},
        {43, 253, 400, "a plain panel", 4.5},
        {38, 380, 500, "the pop-up list box", 4.5},
        {45, 287, 147, "a number field", 4.5},
        {45, 35, 320, "a list box", 4.5},
        {41, 253, 500, "a selected tab", 4.5},
        {42, 253, 472, "another tab", 4.5},
        {47, 455, 400, "a side panel of the file dialog", 4.5},
        {43, 330, 472, "a lit button", 4.5},
        {43, 330, 498, "a button", 4.5},
    };
    for (const auto& c : cases)
        EXPECT_GE(contrast(entry(c.index), p.at(c.u, c.v)), c.min) << "entry " << c.index << " over " << c.over;
    // The backdrop behind dialogs sets the white panels off.
    EXPECT_GE(contrast(entry(34), p.at(253, 400)), 1.4);
    // Menu text on its background, highlighted text on the highlight.
    EXPECT_GE(contrast(entry(38), entry(35)), 4.5);
    EXPECT_GE(contrast(entry(37), entry(36)), 4.5);
}

TEST(ArtPictures, MapHasLandAndSeaInBothBands) {
    picture p = load(kSrc + "map.png");
    ASSERT_EQ(p.w, 512);
    auto texel = [&](double lon, double lat, int band) {
        int u = int((lon + 180) * 1.4), v = int((lat + 90) * 1.4) + 252 * band;
        return p.at(u, v);
    };
    const struct { const char* place; double lon, lat; bool land; } places[] = {
        {"Sahara", 10, 23, true},          {"mid-Pacific", -150, 0, false}, {"Siberia", 100, 62, true},
        {"South Atlantic", -20, -30, false}, {"Antarctica", 40, -85, true}, {"Amazon", -60, -5, true},
        {"Caspian Sea", 51, 42, false},
    };
    for (int band = 0; band < 2; ++band) {
        const unsigned char* land = texel(10, 23, band);
        const unsigned char* sea = texel(-150, 0, band);
        EXPECT_GT(luminance(land), luminance(sea) * 1.1) << "band " << band;
        for (const auto& pl : places) {
            const unsigned char* t = texel(pl.lon, pl.lat, band);
            EXPECT_EQ(t[3], 255) << pl.place;
            bool is_land = std::abs(luminance(t) - luminance(land)) < std::abs(luminance(t) - luminance(sea));
            EXPECT_EQ(is_land, pl.land) << pl.place << " in band " << band;
        }
    }
}

TEST(ArtPictures, ElementIconsFillTheirBandsInEveryLanguage) {
    const char* langs[] = {"English", "French", "German"};
    for (int l = 0; l < 3; ++l) {
        picture p = load(kSrc + "elements_" + langs[l] + ".png");
        ASSERT_EQ(p.w, 1024) << langs[l];
        for (int i = 0; i < 7; ++i)
            for (int band : {0, 23, 46}) {
                int mid = (int)(btn_cuts[i][l] + btn_cuts[i + 1][l]) / 2;
                EXPECT_EQ(p.at(mid, band + 11)[3], 255) << langs[l] << " icon " << i << " band " << band;
                // Nothing spills into the gaps between the bands.
                EXPECT_EQ(p.at(mid, band + 22)[3], 0) << langs[l] << " icon " << i << " band " << band;
            }
        // The large-panel cell is opaque in its middle.
        EXPECT_EQ(p.at(1002, 22)[3], 255);
        EXPECT_EQ(p.at(1002, 22)[0], 255);
    }
}

TEST(ArtPictures, BackgroundShowsATitleBandAboveThePanels) {
    picture p = load(kSrc + "background.png");
    ASSERT_EQ(p.w, 1024);
    // The band (y 504-600 of an 800 x 600 window) is dark, the area of the
    // panels light, and the whole window is opaque.
    EXPECT_LT(luminance(p.at(400, 550)), 0.25);
    EXPECT_GT(luminance(p.at(400, 300)), 0.7);
    for (int v = 0; v < 600; v += 37)
        for (int u = 0; u < 800; u += 41) EXPECT_EQ(p.at(u, v)[3], 255);
}

}  // namespace
