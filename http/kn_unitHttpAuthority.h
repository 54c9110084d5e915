// The host and port of an HTTP location's authority ("host", "host:port", "[v6]:port"), read
// alike for every kind of side that speaks HTTP.
#pragma once

#include <string>

#include "http/kn_unitHttpClient.h"

namespace kn {

// Sets `endpoint`'s Host and Port (by default 443 with Tls, else 80) from `hostPort`, the
// authority without its credentials. Returns what is wrong with it ("No host", "Invalid port
// \"x\"", "Unclosed \"[\"", "Invalid host"), for the caller to name its location after; empty
// when it is sound.
std::string ParseHostPort(const std::string& hostPort, TKNHttpEndpoint& endpoint);

}  // namespace kn
