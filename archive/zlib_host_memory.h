// zlib's working memory taken through the host layer's allocator, so that it counts (and can
// be failed) like every other allocation of the library.
#pragma once

#include <zlib.h>

// Sets the stream's allocation functions to the host layer's; call before its init.
void zlib_use_host_memory(z_stream* stream);
