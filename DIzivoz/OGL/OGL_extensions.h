#pragma once
// OpenGL capability record (only what the thread layer needs so far).

class OGL_extensions {
public:
	OGL_extensions();
	// Clears the threaded-loading permission and warns once.
	void threaded_ogl_failed();

	int threaded_avail;  // worker threads may get a shared loader context
};

extern OGL_extensions glExt;
