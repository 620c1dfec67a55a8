#include "Platform/plat_movie.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <string>

#include <dlfcn.h>

namespace {

// libav is opened on first use: most programs never write a movie, and the
// libraries with everything they pull in would otherwise be loaded, and
// partly resident, in every process from its start.
#define PLAT_MOVIE_LIBAV(X) \
	X(avcodec, avcodec_find_encoder) \
	X(avcodec, avcodec_alloc_context3) \
	X(avcodec, avcodec_open2) \
	X(avcodec, avcodec_parameters_from_context) \
	X(avcodec, avcodec_send_frame) \
	X(avcodec, avcodec_receive_packet) \
	X(avcodec, avcodec_free_context) \
	X(avcodec, av_packet_alloc) \
	X(avcodec, av_packet_unref) \
	X(avcodec, av_packet_free) \
	X(avformat, av_guess_format) \
	X(avformat, avformat_alloc_output_context2) \
	X(avformat, avio_open) \
	X(avformat, avformat_new_stream) \
	X(avformat, avformat_write_header) \
	X(avformat, av_write_frame) \
	X(avformat, av_write_trailer) \
	X(avformat, avio_closep) \
	X(avformat, avformat_free_context) \
	X(avutil, av_strerror) \
	X(avutil, av_log_get_level) \
	X(avutil, av_log_set_level) \
	X(avutil, av_frame_alloc) \
	X(avutil, av_frame_get_buffer) \
	X(avutil, av_frame_make_writable) \
	X(avutil, av_dict_set) \
	X(avutil, av_dict_free) \
	X(avutil, av_frame_free) \
	X(swscale, sws_getContext) \
	X(swscale, sws_getCoefficients) \
	X(swscale, sws_setColorspaceDetails) \
	X(swscale, sws_scale) \
	X(swscale, sws_freeContext)

struct libav_api {
	bool ok = false;
#define PLAT_MOVIE_MEMBER(lib, name) decltype(&::name) name = nullptr;
	PLAT_MOVIE_LIBAV(PLAT_MOVIE_MEMBER)
#undef PLAT_MOVIE_MEMBER
};

std::string soname(const char* lib, int major) { return std::string("lib") + lib + ".so." + std::to_string(major); }

const libav_api& lav()
{
	static const libav_api api = [] {
		libav_api a;
		struct {
			const char* name;
			int major;
			void* handle;
		} libs[] = {{"avutil", LIBAVUTIL_VERSION_MAJOR, nullptr},
		            {"swscale", LIBSWSCALE_VERSION_MAJOR, nullptr},
		            {"avcodec", LIBAVCODEC_VERSION_MAJOR, nullptr},
		            {"avformat", LIBAVFORMAT_VERSION_MAJOR, nullptr}};
		for (auto& l : libs) {
			l.handle = dlopen(soname(l.name, l.major).c_str(), RTLD_NOW | RTLD_LOCAL);
			if (!l.handle) return a;
		}
		auto handle_of = [&](const char* lib) {
			for (auto& l : libs)
				if (std::string(l.name) == lib) return l.handle;
			return (void*)nullptr;
		};
		bool all = true;
#define PLAT_MOVIE_LOAD(lib, name) \
		a.name = reinterpret_cast<decltype(a.name)>(dlsym(handle_of(#lib), #name)); \
		all = all && a.name != nullptr;
		PLAT_MOVIE_LIBAV(PLAT_MOVIE_LOAD)
#undef PLAT_MOVIE_LOAD
		a.ok = all;
		return a;
	}();
	return api;
}

}  // namespace

struct plat_movie {
	AVFormatContext* fmt = nullptr;
	AVCodecContext* enc = nullptr;
	AVStream* st = nullptr;
	SwsContext* sws = nullptr;
	AVFrame* frame = nullptr;
	AVPacket* pkt = nullptr;
	int width = 0, height = 0;
	long long next_pts = 0;
	long long frame_no = 0;
	bool header = false;
	bool have_packet = false;
};

bool plat_movie_available()
{
	return lav().ok && lav().av_guess_format("mov", nullptr, nullptr) != nullptr &&
	       lav().avcodec_find_encoder(AV_CODEC_ID_MJPEG) != nullptr;
}

std::string plat_movie_error(int code)
{
	char b[AV_ERROR_MAX_STRING_SIZE] = {0};
	if (!lav().ok) return "the libav libraries cannot be loaded";
	lav().av_strerror(code, b, sizeof b);
	return b;
}

int plat_movie_create(const std::string& path, plat_movie** out)
{
	*out = nullptr;
	if (!lav().ok) return AVERROR(ENOSYS);
	// libswscale warns about the full-range JPEG format asked for on purpose.
	if (lav().av_log_get_level() > AV_LOG_ERROR) lav().av_log_set_level(AV_LOG_ERROR);
	plat_movie* m = new plat_movie;
	int r = lav().avformat_alloc_output_context2(&m->fmt, nullptr, "mov", path.c_str());
	if (r >= 0 && !m->fmt) r = AVERROR_MUXER_NOT_FOUND;
	if (r >= 0) r = lav().avio_open(&m->fmt->pb, path.c_str(), AVIO_FLAG_WRITE);
	if (r < 0) {
		plat_movie_close(m);
		return r;
	}
	*out = m;
	return 0;
}

int plat_movie_encoder(plat_movie* m, int width, int height)
{
	if (width <= 0 || height <= 0) return AVERROR(EINVAL);
	const AVCodec* c = lav().avcodec_find_encoder(AV_CODEC_ID_MJPEG);
	if (!c) return AVERROR_ENCODER_NOT_FOUND;
	m->enc = lav().avcodec_alloc_context3(c);
	if (!m->enc) return AVERROR(ENOMEM);
	m->width = width;
	m->height = height;
	m->enc->width = width;
	m->enc->height = height;
	m->enc->pix_fmt = AV_PIX_FMT_YUVJ420P;
	m->enc->color_range = AVCOL_RANGE_JPEG;
	m->enc->time_base = AVRational{1, 600};
	m->enc->thread_count = 1;
	// Normal quality: a fixed quantiser rather than a bit rate.
	m->enc->flags |= AV_CODEC_FLAG_QSCALE;
	m->enc->global_quality = FF_QP2LAMBDA * 3;
	if (m->fmt && (m->fmt->oformat->flags & AVFMT_GLOBALHEADER))
		m->enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
	int r = lav().avcodec_open2(m->enc, c, nullptr);
	if (r < 0) return r;
	m->frame = lav().av_frame_alloc();
	m->pkt = lav().av_packet_alloc();
	if (!m->frame || !m->pkt) return AVERROR(ENOMEM);
	m->frame->format = m->enc->pix_fmt;
	m->frame->width = width;
	m->frame->height = height;
	m->frame->color_range = AVCOL_RANGE_JPEG;
	r = lav().av_frame_get_buffer(m->frame, 0);
	if (r < 0) return r;
	m->sws = lav().sws_getContext(width, height, AV_PIX_FMT_ARGB, width, height, AV_PIX_FMT_YUVJ420P,
	                        SWS_BICUBIC, nullptr, nullptr, nullptr);
	if (!m->sws) return AVERROR(EINVAL);
	// Full range on both sides, as the frames are stored.
	const int* coef = lav().sws_getCoefficients(SWS_CS_ITU601);
	lav().sws_setColorspaceDetails(m->sws, coef, 1, coef, 1, 0, 1 << 16, 1 << 16);
	return 0;
}

int plat_movie_track(plat_movie* m)
{
	if (!m->fmt || !m->enc) return AVERROR(EINVAL);
	m->st = lav().avformat_new_stream(m->fmt, nullptr);
	if (!m->st) return AVERROR(ENOMEM);
	m->st->time_base = AVRational{1, 600};
	int r = lav().avcodec_parameters_from_context(m->st->codecpar, m->enc);
	if (r < 0) return r;
	AVDictionary* opts = nullptr;
	lav().av_dict_set(&opts, "video_track_timescale", "600", 0);
	lav().av_dict_set(&opts, "movie_timescale", "600", 0);
	r = lav().avformat_write_header(m->fmt, &opts);
	lav().av_dict_free(&opts);
	if (r < 0) return r;
	m->header = true;
	return 0;
}

int plat_movie_compress(plat_movie* m, const unsigned char* argb)
{
	if (!m->header || !argb) return AVERROR(EINVAL);
	int r = lav().av_frame_make_writable(m->frame);
	if (r < 0) return r;
	const uint8_t* src[1] = {argb};
	int stride[1] = {m->width * 4};
	lav().sws_scale(m->sws, src, stride, 0, m->height, m->frame->data, m->frame->linesize);
	m->frame->pts = m->frame_no++;
	r = lav().avcodec_send_frame(m->enc, m->frame);
	if (r < 0) return r;
	lav().av_packet_unref(m->pkt);
	// MJPEG has no delay: each frame gives its packet at once.
	r = lav().avcodec_receive_packet(m->enc, m->pkt);
	if (r < 0) return r;
	m->have_packet = true;
	return 0;
}

int plat_movie_add(plat_movie* m, int units)
{
	if (!m->have_packet) return AVERROR(EINVAL);
	if (units < 1) units = 1;
	m->pkt->stream_index = m->st->index;
	m->pkt->pts = m->pkt->dts = m->next_pts;
	m->pkt->duration = units;
	m->pkt->flags |= AV_PKT_FLAG_KEY;
	m->next_pts += units;
	m->have_packet = false;
	int r = lav().av_write_frame(m->fmt, m->pkt);
	lav().av_packet_unref(m->pkt);
	return r < 0 ? r : 0;
}

int plat_movie_finish(plat_movie* m)
{
	if (!m->header) return AVERROR(EINVAL);
	int r = lav().avcodec_send_frame(m->enc, nullptr);
	if (r < 0 && r != AVERROR_EOF) return r;
	while ((r = lav().avcodec_receive_packet(m->enc, m->pkt)) >= 0) lav().av_packet_unref(m->pkt);
	if (r != AVERROR_EOF && r != AVERROR(EAGAIN)) return r;
	r = lav().av_write_trailer(m->fmt);
	m->header = false;
	if (r < 0) return r;
	r = lav().avio_closep(&m->fmt->pb);
	return r < 0 ? r : 0;
}

void plat_movie_close(plat_movie* m)
{
	if (!m) return;
	if (m->fmt) {
		if (m->fmt->pb) lav().avio_closep(&m->fmt->pb);
		lav().avformat_free_context(m->fmt);
	}
	lav().avcodec_free_context(&m->enc);
	lav().sws_freeContext(m->sws);
	lav().av_frame_free(&m->frame);
	lav().av_packet_free(&m->pkt);
	delete m;
}
