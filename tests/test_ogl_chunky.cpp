// Chunked vertex buffers: layouts packed into a real buffer object (read back
// through map) and into memory, their offsets and the memory statistic, the
// binding left as found, and the cached binds released on destruction.
#include <cstring>
#include <stdexcept>

#include "DIzivoz/OGL/OGL_ChunkyBuffer.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "tests/support/gl_periphery.h"
#include "tests/support/thread_capture.h"

namespace {

// Fills sub-regions of the given byte sizes with distinct 4-byte values and
// returns the bytes in layout order.
std::string fill(OGL_chunkybuffer& b, const std::vector<int>& sizes)
{
	std::string bytes;
	uint32_t v = 0x01020304;
	for (int size : sizes) {
		chunky_subregion* s = b.new_subregion();
		for (int i = 0; i < size / 4; ++i) {
			chunky_append(s, v);
			bytes.append((const char*)&v, 4);
			v = v * 1664525u + 1013904223u;
		}
	}
	return bytes;
}

struct layout_case {
	const char* what;
	std::vector<int> sizes;
	std::vector<int> offsets;
	std::vector<int> chunks;  // chunks per sub-region before packing
	int total;
};

const layout_case layouts[] = {
    {"1500 + 100", {1500, 100}, {0, 1500}, {2, 1}, 1600},
    {"unwritten first", {0, 1500, 100}, {0, 0, 1500}, {1, 2, 1}, 1600},
    {"unwritten between", {100, 0, 100}, {0, 100, 100}, {1, 1, 1}, 200},
    {"exactly one chunk", {1024, 4}, {0, 1024}, {1, 1}, 1028},
    {"one unwritten", {0}, {0}, {1}, 0},
    {"no sub-region", {}, {}, {}, 0},
};

int chunk_count(const chunky_subregion* s)
{
	int n = 0;
	for (const chunky_chunk* c = s->first_chunk; c; c = c->next) ++n;
	return n;
}

class chunky_test : public gl_test {
protected:
	void SetUp() override
	{
		gl_test::SetUp();
		if (HasFatalFailure()) return;
		ASSERT_TRUE(glExt.vbo_avail);
	}
};

GLint array_binding()
{
	GLint b = -1;
	gl.GetIntegerv(GL_ARRAY_BUFFER_BINDING_ARB, &b);
	return b;
}

decltype(glExt.glBindBufferARB) g_real_bind = nullptr;
void APIENTRY logged_bind(GLenum target, GLuint buffer)
{
	if (gl_recorder::current()) gl_recorder::current()->log("BindBufferARB", target, buffer);
	g_real_bind(target, buffer);
}
decltype(glExt.glBufferSubDataARB) g_real_sub = nullptr;
void APIENTRY logged_sub(GLenum target, GLintptrARB at, GLsizeiptrARB size, const void* data)
{
	if (gl_recorder::current()) gl_recorder::current()->log("BufferSubDataARB", target, (long)at, (long)size);
	g_real_sub(target, at, size, data);
}

}  // namespace

TEST(ChunkyBuffer, layouts_pack_into_memory_with_their_offsets_and_statistic)
{
	const float base = stat_value("memory/chunky_buffers");
	for (const layout_case& c : layouts) {
		SCOPED_TRACE(c.what);
		{
			OGL_chunkybuffer b;
			std::string bytes = fill(b, c.sizes);
			int i = 0;
			for (chunky_subregion* s = b.head; s; s = s->next) EXPECT_EQ(chunk_count(s), c.chunks[(size_t)i++]);
			b.finalize_mem();
			EXPECT_EQ(b.total_bytes, c.total);
			EXPECT_EQ(b.vbo, 0u);
			i = 0;
			for (chunky_subregion* s = b.head; s; s = s->next) {
				EXPECT_EQ(s->offset, c.offsets[(size_t)i++]);
				EXPECT_EQ(s->first_chunk, nullptr);
			}
			EXPECT_EQ(i, (int)c.sizes.size());
			ASSERT_NE(b.mem, nullptr);
			EXPECT_EQ(std::string((const char*)b.mem, (size_t)b.total_bytes), bytes);
			EXPECT_EQ(stat_value("memory/chunky_buffers"), base + (float)c.total);
			// Without a buffer object map and unmap leave the block alone.
			void* block = b.mem;
			b.map();
			EXPECT_EQ(b.is_mapped(), 0);
			b.unmap();
			EXPECT_EQ(b.mem, block);
			// A second pack changes nothing.
			b.finalize_mem();
			EXPECT_EQ(b.mem, block);
			EXPECT_EQ(stat_value("memory/chunky_buffers"), base + (float)c.total);
		}
		EXPECT_EQ(stat_value("memory/chunky_buffers"), base);
	}
	// Writing once packed is refused.
	OGL_chunkybuffer b;
	chunky_subregion* s = b.new_subregion();
	b.finalize_mem();
	EXPECT_THROW(chunky_append(s, 1.0f), std::logic_error);
	// Destroyed unpacked: chunks freed, statistic untouched.
	{
		OGL_chunkybuffer u;
		fill(u, {3000, 8});
	}
	EXPECT_EQ(stat_value("memory/chunky_buffers"), base);
}

TEST_F(chunky_test, layouts_pack_into_a_buffer_object_read_back_through_map)
{
	const float base = stat_value("memory/chunky_buffers");
	GLuint other = 0;
	glExt.glGenBuffersARB(1, &other);
	for (const layout_case& c : layouts) {
		SCOPED_TRACE(c.what);
		for (int usage_static = 0; usage_static < 2; ++usage_static) {
			OGL_chunkybuffer b;
			std::string bytes = fill(b, c.sizes);
			// The caller's binding survives the pack.
			glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, other);
			{
				glext_restore keep;
				g_real_sub = glExt.glBufferSubDataARB;
				glExt.glBufferSubDataARB = &logged_sub;
				gl_recorder rec;
				b.finalize_vbo(usage_static);
				int chunks = 0;
				for (int n : c.chunks) chunks += n;
				EXPECT_EQ(rec.count("BufferSubDataARB"), chunks);  // one per chunk
			}
			EXPECT_EQ(array_binding(), (GLint)other);
			ASSERT_NE(b.vbo, 0u);
			EXPECT_EQ(b.mem, nullptr);
			EXPECT_EQ(b.total_bytes, c.total);
			GLint usage = 0, size = -1;
			glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, b.vbo);
			glExt.glGetBufferParameterivARB(GL_ARRAY_BUFFER_ARB, GL_BUFFER_USAGE_ARB, &usage);
			glExt.glGetBufferParameterivARB(GL_ARRAY_BUFFER_ARB, GL_BUFFER_SIZE_ARB, &size);
			EXPECT_EQ(usage, usage_static ? GL_STATIC_DRAW_ARB : GL_STREAM_DRAW_ARB);
			EXPECT_EQ(size, c.total);
			glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, other);
			int i = 0;
			for (chunky_subregion* s = b.head; s; s = s->next) EXPECT_EQ(s->offset, c.offsets[(size_t)i++]);
			EXPECT_EQ(stat_value("memory/chunky_buffers"), base + (float)c.total);

			alert_capture alerts;
			b.map();
			EXPECT_TRUE(alerts.taken().empty());  // an empty buffer is not "out of memory"
			if (c.total == 0) {
				EXPECT_EQ(b.is_mapped(), 0);
				EXPECT_EQ(array_binding(), (GLint)other);  // nothing was done
				continue;
			}
			EXPECT_EQ(array_binding(), 0);
			ASSERT_EQ(b.is_mapped(), 1);
			EXPECT_EQ(std::string((const char*)b.mem, (size_t)c.total), bytes);
			// Rewritten in place, seen after unmapping.
			((unsigned char*)b.mem)[c.total - 1] ^= 0xff;
			b.map();  // already mapped: nothing
			EXPECT_EQ(b.is_mapped(), 1);
			b.unmap();
			EXPECT_EQ(b.is_mapped(), 0);
			EXPECT_EQ(array_binding(), 0);
			std::string back((size_t)c.total, '\0');
			glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, b.vbo);
			glExt.glGetBufferSubDataARB(GL_ARRAY_BUFFER_ARB, 0, c.total, &back[0]);
			glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
			bytes[(size_t)c.total - 1] ^= (char)0xff;
			EXPECT_EQ(back, bytes);
		}
		EXPECT_EQ(stat_value("memory/chunky_buffers"), base);
	}
	glExt.glDeleteBuffersARB(1, &other);
}

TEST_F(chunky_test, destruction_releases_the_cached_binds_and_the_buffer)
{
	OGL_chunkybuffer* b = new OGL_chunkybuffer;
	fill(*b, {64});
	b->finalize_vbo(1);
	GLuint name = b->vbo;
	const unsigned long vbo = name;
	OGL_bind_vbo(vbo);
	OGL_bind_vbo_ind(vbo);
	{
		glext_restore keep;
		g_real_bind = glExt.glBindBufferARB;
		glExt.glBindBufferARB = &logged_bind;
		gl_recorder rec;
		delete b;
		EXPECT_EQ(rec.only({"BindBufferARB"}),
		          (std::vector<std::string>{gl_call_text("BindBufferARB", GL_ARRAY_BUFFER_ARB, 0u),
		                                    gl_call_text("BindBufferARB", GL_ELEMENT_ARRAY_BUFFER_ARB, 0u)}));
	}
	EXPECT_EQ(glExt.glIsBufferARB(name), GL_FALSE);
	// With the caches already at 0 nothing is bound through them.
	{
		glext_restore keep;
		g_real_bind = glExt.glBindBufferARB;
		glExt.glBindBufferARB = &logged_bind;
		gl_recorder rec;
		{
			OGL_chunkybuffer c;
			fill(c, {8});
			c.finalize_vbo(0);
			rec.clear();
		}
		EXPECT_EQ(rec.count("BindBufferARB"), 0);
	}
}

TEST_F(chunky_test, a_failed_mapping_is_the_out_of_video_memory_alert)
{
	OGL_chunkybuffer b;
	fill(b, {16});
	b.finalize_vbo(1);
	glext_restore keep;
	glExt.glMapBufferARB = [](GLenum, GLenum) -> void* { return nullptr; };
	alert_capture alerts;
	b.map();
	auto got = alerts.taken();
	ASSERT_EQ(got.size(), 1u);
	EXPECT_EQ(got[0].kind, alert_fatal);
	EXPECT_EQ(got[0].line1, "Ventora has run out of video card memory.");
	EXPECT_EQ(got[0].line2, "I was unable to shift the scenery.");
	EXPECT_EQ(got[0].line3, "Try running Ventora with lower rendering settings.");
	EXPECT_EQ(got[0].line4, "If that does not help, please report this to Tarnwick!");
	EXPECT_EQ(got[0].source_file, "DIzivoz/OGL/OGL_ChunkyBuffer");
	EXPECT_EQ(got[0].source_line, 186);
	EXPECT_EQ(b.is_mapped(), 0);
}
