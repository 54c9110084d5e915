// The registry of the kinds of side: the one place that maps a location's scheme to the class
// that reaches it. The engine, the content comparison, the update, the trust commands, the
// command line and the windows open sides only through it.
//
// Adding a kind: a folder that implements TKNSide (local/, ftp/, sftp/) and one line in the
// table of kn_unitSideRegistry.cpp.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "side/kn_unitSide.h"

namespace kn {

// The side `location` names, not yet connected; null for a local text that names no folder
// (empty, relative, or "/" alone), on which nothing is ever read or written.
std::unique_ptr<TKNSide> OpenSide(const std::string& location, const TKNSideContext& context);
// True for a location on a server.
bool IsRemoteLocation(std::string_view location);
// Where a location's options begin (an FTP server's ";tz="): they belong to the connection,
// not to the paths of the tree. The length of the text when it has none.
std::size_t LocationOptionsStart(std::string_view location);

}  // namespace kn
