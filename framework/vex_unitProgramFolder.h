// Where the program keeps its own files, and where it puts temporary files.
//
// Program folder: the folder that holds the configuration file Kestrune.bin and the backup
// folders. The first that applies:
//   1. KESTRUNE_HOME, when set (tests, `kestrune-cli --config-dir`);
//   2. the executable's folder, when it already holds a Kestrune.bin (a portable copy) or lies
//      inside the build tree the program was built in;
//   3. the per-user folder $XDG_CONFIG_HOME/kestrune, by default ~/.config/kestrune.
// A writable executable folder alone never counts: `--prefix ~/.local` must not put settings
// and backups into ~/.local/bin.
//
// Temporary folder: a private folder (mode 0700, owned by the user) under $TMPDIR, default
// /tmp. Fixed temporary file names are used only inside it, never directly in a shared folder.
#pragma once

#include <string>

namespace vex {

// Inputs of the program folder rule, taken from the environment by ProgramFolder(); a null
// pointer or an empty text counts as "not set".
struct ProgramFolderInputs {
    std::string exeFolder;  // folder of the executable, no trailing "/"
    std::string buildTree;  // the build tree's top folder; empty for none
    const char* kestruneHome = nullptr;
    const char* xdgConfigHome = nullptr;
    const char* home = nullptr;
};

// Applies the rule above to `in`, creating the chosen KESTRUNE_HOME or per-user folder when it
// is missing (a failure to create it shows later as a file that cannot be opened). The result
// has no trailing "/".
std::string ChooseProgramFolder(const ProgramFolderInputs& in);

// The program folder of this process (see above), without a trailing "/".
std::string ProgramFolder();

// The folder of /proc/self/exe, without a trailing "/"; "." when it cannot be read.
std::string ExecutableFolder();

// The user's home folder: $HOME, else the password database entry, else "/".
std::string HomeFolder();

// `folder` and `name` joined by exactly one "/".
std::string JoinPath(const std::string& folder, const std::string& name);

// Creates `path` and its missing parents with `mode`. True when the folder exists afterwards.
bool MakeFolders(const std::string& path, unsigned mode);

// The private temporary folder of this process's user (see above), made on first use; later
// calls return the same folder. Returns false with a message in `error` when no such folder
// can be made. A folder of the expected name that belongs to someone else or is open to others
// is never used: a fresh uniquely named folder takes its place.
bool PrivateTempFolder(std::string& folder, std::string& error);

}  // namespace vex
