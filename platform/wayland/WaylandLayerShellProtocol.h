#pragma once

// The generated wlr-layer-shell client header for C++: it names an argument `namespace`, which
// is a keyword here, so the word is renamed while the header is read.

#include <wayland-client.h>

#define namespace namespace_
#include <wlr-layer-shell-unstable-v1-client-protocol.h>
#undef namespace
