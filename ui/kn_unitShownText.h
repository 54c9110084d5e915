// Texts on their way to a widget: whatever the window shows names FTP and SFTP locations
// without their passwords (ftp://user@host/path).
#pragma once

#include <QString>
#include <string>

namespace kn {

QString ShownText(const std::string& text);

}  // namespace kn
