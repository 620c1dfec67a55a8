#pragma once
// QuickTime-format movie files with one Photo-JPEG video track, written
// through libavformat/libavcodec. Time scale 600 units per second for the
// movie and the track. Frames arrive as 32-bit pixels in memory order
// A, R, G, B, rows top first. Every call returns 0 or a negative libav code.
#include <string>

struct plat_movie;

// The mov muxer and the MJPEG encoder are present.
bool plat_movie_available();

// Creates (replacing) the file; the movie is not usable until begin.
int plat_movie_create(const std::string& path, plat_movie** out);
// Opens the encoder for width x height frames (full-range 4:2:0).
int plat_movie_encoder(plat_movie* m, int width, int height);
// Adds the video track (time base 1/600) and writes the header.
int plat_movie_track(plat_movie* m);
// Compresses one frame; the result waits for plat_movie_add.
int plat_movie_compress(plat_movie* m, const unsigned char* argb);
// Appends the compressed frame lasting the given units (pts = sum of the
// units before it).
int plat_movie_add(plat_movie* m, int units);
// Drains the encoder and writes the trailer.
int plat_movie_finish(plat_movie* m);
// Closes the file and frees everything (also after a failure); null is fine.
void plat_movie_close(plat_movie* m);
// Text of a libav code.
std::string plat_movie_error(int code);
