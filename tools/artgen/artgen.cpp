// Writes every picture the program loads. Deterministic: run it twice and the
// bytes match.
//   ventora_artgen --out <Resources folder> --fonts <folder of DejaVu fonts>
//                  --gshhg <binned_GSHHS_l.nc>
#include "art_theme.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>

using namespace art;

static bool save(const Canvas& c, const std::string& path) {
    if (!c.write(path)) {
        std::fprintf(stderr, "ventora_artgen: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

int main(int argc, char** argv) {
    std::string out = "Resources", fonts, gshhg = "/usr/share/gmt-gshhg/binned_GSHHS_l.nc";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--out")) out = argv[i + 1];
        else if (!std::strcmp(argv[i], "--fonts")) fonts = argv[i + 1];
        else if (!std::strcmp(argv[i], "--gshhg")) gshhg = argv[i + 1];
        else {
            std::fprintf(stderr, "usage: ventora_artgen --out DIR [--fonts DIR] [--gshhg FILE]\n");
            return 2;
        }
    }
    if (!fonts.empty()) Canvas::set_font_dir(fonts);
    mkdir(out.c_str(), 0755);
    mkdir((out + "/bitmaps").c_str(), 0755);
    try {
        Canvas atlas(512, 512);
        make_atlas(atlas);
        if (!save(atlas, out + "/interface.png")) return 1;

        const char* langs[3] = {"English", "French", "German"};
        for (int l = 0; l < 3; ++l) {
            Canvas el(1024, 128);
            make_elements(el, l);
            if (!save(el, out + "/elements_" + langs[l] + ".png")) return 1;
        }
        Canvas back(1024, 1024);
        make_background(back);
        if (!save(back, out + "/background.png")) return 1;

        Canvas intro(1024, 768);
        make_intro(intro);
        if (!save(intro, out + "/bitmaps/intro.png")) return 1;

        Canvas map(512, 512);
        std::string error;
        if (!make_map(map, gshhg, error)) {
            std::fprintf(stderr, "ventora_artgen: %s\n", error.c_str());
            return 1;
        }
        if (!save(map, out + "/map.png")) return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ventora_artgen: %s\n", e.what());
        return 1;
    }
    return 0;
}
