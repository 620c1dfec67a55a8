#include "Platform/plat_movie.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

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
	return av_guess_format("mov", nullptr, nullptr) != nullptr &&
	       avcodec_find_encoder(AV_CODEC_ID_MJPEG) != nullptr;
}

std::string plat_movie_error(int code)
{
	char b[AV_ERROR_MAX_STRING_SIZE] = {0};
	av_strerror(code, b, sizeof b);
	return b;
}

int plat_movie_create(const std::string& path, plat_movie** out)
{
	*out = nullptr;
	// libswscale warns about the full-range JPEG format asked for on purpose.
	if (av_log_get_level() > AV_LOG_ERROR) av_log_set_level(AV_LOG_ERROR);
	plat_movie* m = new plat_movie;
	int r = avformat_alloc_output_context2(&m->fmt, nullptr, "mov", path.c_str());
	if (r >= 0 && !m->fmt) r = AVERROR_MUXER_NOT_FOUND;
	if (r >= 0) r = avio_open(&m->fmt->pb, path.c_str(), AVIO_FLAG_WRITE);
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
	const AVCodec* c = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
	if (!c) return AVERROR_ENCODER_NOT_FOUND;
	m->enc = avcodec_alloc_context3(c);
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
	int r = avcodec_open2(m->enc, c, nullptr);
	if (r < 0) return r;
	m->frame = av_frame_alloc();
	m->pkt = av_packet_alloc();
	if (!m->frame || !m->pkt) return AVERROR(ENOMEM);
	m->frame->format = m->enc->pix_fmt;
	m->frame->width = width;
	m->frame->height = height;
	m->frame->color_range = AVCOL_RANGE_JPEG;
	r = av_frame_get_buffer(m->frame, 0);
	if (r < 0) return r;
	m->sws = sws_getContext(width, height, AV_PIX_FMT_ARGB, width, height, AV_PIX_FMT_YUVJ420P,
	                        SWS_BICUBIC, nullptr, nullptr, nullptr);
	if (!m->sws) return AVERROR(EINVAL);
	// Full range on both sides, as the frames are stored.
	const int* coef = sws_getCoefficients(SWS_CS_ITU601);
	sws_setColorspaceDetails(m->sws, coef, 1, coef, 1, 0, 1 << 16, 1 << 16);
	return 0;
}

int plat_movie_track(plat_movie* m)
{
	if (!m->fmt || !m->enc) return AVERROR(EINVAL);
	m->st = avformat_new_stream(m->fmt, nullptr);
	if (!m->st) return AVERROR(ENOMEM);
	m->st->time_base = AVRational{1, 600};
	int r = avcodec_parameters_from_context(m->st->codecpar, m->enc);
	if (r < 0) return r;
	AVDictionary* opts = nullptr;
	av_dict_set(&opts, "video_track_timescale", "600", 0);
	av_dict_set(&opts, "movie_timescale", "600", 0);
	r = avformat_write_header(m->fmt, &opts);
	av_dict_free(&opts);
	if (r < 0) return r;
	m->header = true;
	return 0;
}

int plat_movie_compress(plat_movie* m, const unsigned char* argb)
{
	if (!m->header || !argb) return AVERROR(EINVAL);
	int r = av_frame_make_writable(m->frame);
	if (r < 0) return r;
	const uint8_t* src[1] = {argb};
	int stride[1] = {m->width * 4};
	sws_scale(m->sws, src, stride, 0, m->height, m->frame->data, m->frame->linesize);
	m->frame->pts = m->frame_no++;
	r = avcodec_send_frame(m->enc, m->frame);
	if (r < 0) return r;
	av_packet_unref(m->pkt);
	// MJPEG has no delay: each frame gives its packet at once.
	r = avcodec_receive_packet(m->enc, m->pkt);
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
	int r = av_write_frame(m->fmt, m->pkt);
	av_packet_unref(m->pkt);
	return r < 0 ? r : 0;
}

int plat_movie_finish(plat_movie* m)
{
	if (!m->header) return AVERROR(EINVAL);
	int r = avcodec_send_frame(m->enc, nullptr);
	if (r < 0 && r != AVERROR_EOF) return r;
	while ((r = avcodec_receive_packet(m->enc, m->pkt)) >= 0) av_packet_unref(m->pkt);
	if (r != AVERROR_EOF && r != AVERROR(EAGAIN)) return r;
	r = av_write_trailer(m->fmt);
	m->header = false;
	if (r < 0) return r;
	r = avio_closep(&m->fmt->pb);
	return r < 0 ? r : 0;
}

void plat_movie_close(plat_movie* m)
{
	if (!m) return;
	if (m->fmt) {
		if (m->fmt->pb) avio_closep(&m->fmt->pb);
		avformat_free_context(m->fmt);
	}
	avcodec_free_context(&m->enc);
	sws_freeContext(m->sws);
	av_frame_free(&m->frame);
	av_packet_free(&m->pkt);
	delete m;
}
