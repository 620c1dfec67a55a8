// Texture loading: tman.load_texture (file search, decode, bleeding, upload)
// against libpng's simplified read plus one glTexImage2D, on the same RGBA
// pictures with transparent areas, made here, in the same run.
//
// Run under Xvfb: xvfb-run -a -s "-screen 0 1024x768x24" ./bench_textures
// Options: --runs=N (default 5).
#include <png.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "DIzivoz/GenC/hl_init.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/OGL/OGL_extensions.h"
#include "DIzivoz/OGL/OGL_gl.h"
#include "DIzivoz/OOPS_cpp/tman.h"
#include "tests/support/gl_context.h"
#include "tests/support/tex_fixtures.h"
#include "tests/support/test_files.h"

namespace {
double now_ms()
{
	return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Opaque rings of colour over a transparent background (about half the texels).
std::vector<unsigned char> picture(int n)
{
	std::vector<unsigned char> px((size_t)n * n * 4);
	unsigned seed = 7;
	for (int y = 0; y < n; ++y)
		for (int x = 0; x < n; ++x) {
			unsigned char* p = &px[((size_t)y * n + x) * 4];
			const double dx = x - n / 2.0, dy = y - n / 2.0;
			const int ring = (int)(std::sqrt(dx * dx + dy * dy) / (n / 16.0));
			seed = seed * 1103515245 + 12345;
			p[0] = (unsigned char)(x * 255 / n);
			p[1] = (unsigned char)(y * 255 / n);
			p[2] = (unsigned char)((seed >> 16) & 0x3F);
			p[3] = (ring % 2) ? 255 : 0;
		}
	return px;
}

double median(std::vector<double> v)
{
	std::sort(v.begin(), v.end());
	return v[v.size() / 2];
}
}  // namespace

int main(int argc, char** argv)
{
	int runs = 5;
	for (int i = 1; i < argc; ++i)
		if (!std::strncmp(argv[i], "--runs=", 7)) runs = std::max(1, std::atoi(argv[i] + 7));
	if (!gl_test_context()) {
		std::fprintf(stderr, "no OpenGL context: run under xvfb-run\n");
		return 1;
	}
	glExt.init_extensions();
	MACIBM_alloc_scratch();
	mnw.tex_res = 5;
	vtest::temp_folder dir;
	std::printf("%-6s %12s %12s %8s\n", "size", "tman ms", "libpng+gl ms", "ratio");
	for (const int n : {512, 1024, 2048}) {
		const std::string path = dir.path() + "pic" + std::to_string(n) + ".png";
		vtest::write_file_bytes(path, vtest::make_png({n, n, PNG_COLOR_TYPE_RGBA, 8}, picture(n)));
		std::vector<double> t_tman, t_ref;
		std::vector<unsigned char> buf((size_t)n * n * 4);
		for (int r = 0; r < runs; ++r) {
			gl.Finish();
			double t0 = now_ms();
			if (tman.load_texture(tex_fail_fatal, 200, 0x102, tex_loaded, path) != 200) {
				std::fprintf(stderr, "tman failed to load %s\n", path.c_str());
				return 1;
			}
			gl.Finish();
			t_tman.push_back(now_ms() - t0);

			t0 = now_ms();
			png_image img;
			std::memset(&img, 0, sizeof(img));
			img.version = PNG_IMAGE_VERSION;
			if (!png_image_begin_read_from_file(&img, path.c_str())) return 1;
			img.format = PNG_FORMAT_RGBA;
			if (!png_image_finish_read(&img, nullptr, buf.data(), 0, nullptr)) return 1;
			gl.BindTexture(GL_TEXTURE_2D, 201);
			gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
			gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, n, n, 0, GL_RGBA, GL_UNSIGNED_BYTE, buf.data());
			gl.Finish();
			t_ref.push_back(now_ms() - t0);
			TEX_reset_bind();
		}
		const double a = median(t_tman), b = median(t_ref);
		std::printf("%-6d %12.2f %12.2f %8.2f\n", n, a, b, a / b);
	}
	return 0;
}
