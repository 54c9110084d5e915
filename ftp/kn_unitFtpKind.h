// The FTP kind as the registry knows it: ftp: locations, and ftps: for FTP over explicit TLS,
// whose certificates are trusted through tls/kn_unitKnownServers.h (see kn_unitFtpLocation.h
// for the form of a location).
#pragma once

#include "side/kn_unitSideKind.h"

namespace kn {

const TKNSideKind& FtpSideKind();

}  // namespace kn
