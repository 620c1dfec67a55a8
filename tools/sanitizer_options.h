#pragma once
// Built-in options of the sanitizer runtime, for every program of a sanitizer
// build (tools/sanitizer_options.cpp; tests with options of their own add it).
//
// The runtime's hook on __tls_get_addr guesses a dynamic TLS block's start and
// size from the 16 bytes before it. When the block the GL driver's code
// generator allocates lands 16 bytes into a page, those bytes are the
// allocator's own chunk header, the guess is a block of about 100 GB near
// address 0, and the leak check at exit crashes scanning it (and so hides
// any real leak). Without the hook, leaks are still found.
#define VENTORA_ASAN_TLS_OPTION "intercept_tls_get_addr=0"
