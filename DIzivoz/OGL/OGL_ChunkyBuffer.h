#pragma once
// Vertex data of unknown final size, collected in small fixed-size chunks
// grouped in sub-regions, then packed once into one vertex buffer object or
// one block of memory. After packing each sub-region knows the byte offset of
// its data in the packed buffer. Main thread only.
#include <cstdint>

#include "DIzivoz/OGL/OGL_extensions.h"

enum { chunky_chunk_bytes = 1024 };

struct chunky_chunk {
	chunky_chunk* next;  // next chunk of the same sub-region, null at the end
	int free_bytes;      // bytes still free; used = chunky_chunk_bytes - free_bytes
	alignas(4) unsigned char data[chunky_chunk_bytes];
};

struct chunky_subregion {
	chunky_subregion* next;     // next sub-region, in creation order
	chunky_chunk* first_chunk;  // null once packed
	chunky_chunk* cur_chunk;    // the chunk being written; null once packed
	unsigned char* write_ptr;   // where the next value goes in cur_chunk
	int offset;                 // byte offset in the packed buffer
};

// The one writer: appends a 4-byte value at write_ptr, starting a fresh chunk
// when the current one is full. Writing into a packed sub-region throws
// std::logic_error.
void chunky_append(chunky_subregion* sub, const void* four_bytes);
inline void chunky_append(chunky_subregion* sub, float v) { chunky_append(sub, (const void*)&v); }
inline void chunky_append(chunky_subregion* sub, uint32_t v) { chunky_append(sub, (const void*)&v); }

class OGL_chunkybuffer {
public:
	OGL_chunkybuffer() = default;
	~OGL_chunkybuffer();
	OGL_chunkybuffer(const OGL_chunkybuffer&) = delete;
	OGL_chunkybuffer& operator=(const OGL_chunkybuffer&) = delete;

	// Appends a sub-region with one fresh chunk.
	chunky_subregion* new_subregion();
	// total_bytes and every sub-region's offset, from the chunks written.
	void calc_offsets();
	// Pack into a new buffer object (static or stream use); the array-buffer
	// binding is left as found. A buffer packs once: later calls do nothing.
	void finalize_vbo(int usage_static);
	// Pack into one block of memory (no OpenGL call).
	void finalize_mem();
	// Access to the buffer object's storage through mem; nothing without one,
	// when it is empty or already in that state. Both leave no array buffer
	// bound.
	void map();
	void unmap();
	int is_mapped();

	void* mem = nullptr;  // packed block, or the mapped storage while mapped
	GLuint vbo = 0;
	int total_bytes = 0;
	chunky_subregion* head = nullptr;
	chunky_subregion* tail = nullptr;

private:
	// Hands every chunk's used bytes, in layout order, to `put` and frees it.
	template <class Put>
	void drain_chunks(Put put);
	int packed_ = 0;
};
