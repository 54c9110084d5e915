// The usage of the kinds of side, from their descriptors (TKNSideKind::Usage), in the forms the
// programs and their pages need: kestrune-cli's --help, the manual pages and the AppStream
// metainfo (filled at build time by dist/kn_usage_pages.cpp) and the window's help pages (filled
// when shown). A page names the kinds through markers, never one by one:
//   {{location-forms}}   every kind's location form with its meaning
//   {{server-kinds}}     the kinds of server, as prose lists them: "FTP, FTP over TLS, SFTP"
//   {{trusted-schemes}}  the schemes whose servers are trusted first: "ftps://, sftp://"
#pragma once

#include <string>

namespace kn {

enum class TKNUsageFormat : unsigned char { Text, Roff, Html };

// Every kind's location forms, each with its meaning, in `format`: for Text indented lines for
// --help, for Roff ".TP" paragraphs, for Html a table.
std::string LocationForms(TKNUsageFormat format);

// The titles of the kinds with schemes, in the registry's order, joined by ", ".
std::string ServerKinds();

// The schemes whose servers prove who they are and are trusted first, as "ftps://, sftp://".
std::string TrustedSchemes();

// `page` with every marker above replaced, written in `format` (Html escapes for XML too).
std::string FillUsageMarkers(std::string page, TKNUsageFormat format);

}  // namespace kn
