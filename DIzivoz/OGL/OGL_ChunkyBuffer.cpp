#include "DIzivoz/OGL/OGL_ChunkyBuffer.h"

#include <cstring>
#include <stdexcept>

#include "DIzivoz/Thread/hl_report.h"
#include "DIzivoz/OOPS_cpp/oglp.h"
#include "DIzivoz/UTL/UTL_stats.h"

namespace {
// Bytes packed by all chunked buffers still alive.
UTL_stat g_mem_used("memory/chunky_buffers", stat_memory, 0);

chunky_chunk* new_chunk()
{
	// Sized by the structure itself: the pointer makes it larger than
	// 1024 + 8 bytes on 64-bit.
	chunky_chunk* c = new chunky_chunk;
	c->next = nullptr;
	c->free_bytes = chunky_chunk_bytes;
	return c;
}
}  // namespace

void chunky_append(chunky_subregion* sub, const void* four_bytes)
{
	chunky_chunk* c = sub->cur_chunk;
	if (c == nullptr) throw std::logic_error("chunky_append: the sub-region is already packed");
	if (c->free_bytes < 4) {
		chunky_chunk* fresh = new_chunk();
		fresh->next = c->next;
		c->next = fresh;
		sub->cur_chunk = c = fresh;
		sub->write_ptr = fresh->data;
	}
	std::memcpy(sub->write_ptr, four_bytes, 4);
	sub->write_ptr += 4;
	c->free_bytes -= 4;
}

chunky_subregion* OGL_chunkybuffer::new_subregion()
{
	chunky_subregion* s = new chunky_subregion;
	s->next = nullptr;
	s->first_chunk = s->cur_chunk = new_chunk();
	s->write_ptr = s->first_chunk->data;
	s->offset = 0;
	if (tail) tail->next = s;
	else head = s;
	tail = s;
	return s;
}

void OGL_chunkybuffer::calc_offsets()
{
	if (packed_) return;  // the chunks are gone; the offsets stand
	total_bytes = 0;
	for (chunky_subregion* s = head; s; s = s->next) {
		s->offset = total_bytes;
		for (chunky_chunk* c = s->first_chunk; c; c = c->next) total_bytes += chunky_chunk_bytes - c->free_bytes;
	}
}

template <class Put>
void OGL_chunkybuffer::drain_chunks(Put put)
{
	int at = 0;
	for (chunky_subregion* s = head; s; s = s->next) {
		for (chunky_chunk* c = s->first_chunk; c;) {
			const int used = chunky_chunk_bytes - c->free_bytes;
			put(at, used, c->data);
			at += used;
			chunky_chunk* next = c->next;
			delete c;
			c = next;
		}
		s->first_chunk = s->cur_chunk = nullptr;
		s->write_ptr = nullptr;
	}
}

void OGL_chunkybuffer::finalize_vbo(int usage_static)
{
	if (packed_) return;
	calc_offsets();
	packed_ = 1;
	g_mem_used.value += (float)total_bytes;

	glExt.glGenBuffersARB(1, &vbo);
	GLint was_bound = 0;
	gl.GetIntegerv(GL_ARRAY_BUFFER_BINDING_ARB, &was_bound);
	glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, vbo);
	glExt.glBufferDataARB(GL_ARRAY_BUFFER_ARB, total_bytes, nullptr,
	                      usage_static ? GL_STATIC_DRAW_ARB : GL_STREAM_DRAW_ARB);
	mem = nullptr;
	drain_chunks([](int at, int used, const unsigned char* data) {
		glExt.glBufferSubDataARB(GL_ARRAY_BUFFER_ARB, at, used, data);
	});
	glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, (GLuint)was_bound);
}

void OGL_chunkybuffer::finalize_mem()
{
	if (packed_) return;
	calc_offsets();
	packed_ = 1;
	g_mem_used.value += (float)total_bytes;

	unsigned char* block = new unsigned char[(size_t)total_bytes];
	mem = block;
	drain_chunks([block](int at, int used, const unsigned char* data) {
		if (used > 0) std::memcpy(block + at, data, (size_t)used);
	});
}

void OGL_chunkybuffer::map()
{
	// An empty buffer has no storage to map (the driver answers null), and a
	// mapped one is not mapped twice.
	if (vbo == 0 || total_bytes == 0 || mem != nullptr) return;
	glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, vbo);
	mem = glExt.glMapBufferARB(GL_ARRAY_BUFFER_ARB, GL_READ_WRITE_ARB);
	glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
	if (mem == nullptr)
		__MACIBM_alert(0, "Ventora has run out of video card memory.", "I was unable to shift the scenery.",
		               "Try running Ventora with lower rendering settings.",
		               "If that does not help, please report this to Tarnwick!", alert_fatal,
		               "DIzivoz/OGL/OGL_ChunkyBuffer", 186);
}

void OGL_chunkybuffer::unmap()
{
	if (vbo == 0 || mem == nullptr) return;
	glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, vbo);
	glExt.glUnmapBufferARB(GL_ARRAY_BUFFER_ARB);
	glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
	mem = nullptr;
}

int OGL_chunkybuffer::is_mapped() { return (vbo != 0 && mem != nullptr) ? 1 : 0; }

OGL_chunkybuffer::~OGL_chunkybuffer()
{
	if (vbo) {
		// The cached binds must not keep naming a deleted buffer.
		const unsigned long none = 0;
		OGL_bind_vbo(none);
		OGL_bind_vbo_ind(none);
		glExt.glDeleteBuffersARB(1, &vbo);
	} else {
		delete[] (unsigned char*)mem;
	}
	mem = nullptr;
	for (chunky_subregion* s = head; s;) {
		for (chunky_chunk* c = s->first_chunk; c;) {
			chunky_chunk* next = c->next;
			delete c;
			c = next;
		}
		chunky_subregion* next = s->next;
		delete s;
		s = next;
	}
	head = tail = nullptr;
	g_mem_used.value -= (float)total_bytes;
}
