// The comparison options of kestrune-cli, shared by every command that compares (compare,
// update): parsing them into an options record, their help text, and the checks of the two
// folder arguments.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/kn_unitCompareOptions.h"

namespace cli {

struct CompareArgs {
    kn::TKNOptionsRec Options;          // a new configuration's defaults, changed by the options
    std::vector<std::string> Operands;  // the arguments that are not options, as given
    bool Help = false;
};

// One option. `Value` names its argument ("TEXT"), or is null for a flag. `Apply` returns false
// with a message when the value is not acceptable.
struct CompareOption {
    const char* Name;
    const char* Value;
    const char* Help;
    std::function<bool(const std::string& value, CompareArgs& args, std::string& error)> Apply;
};

// The options every comparing command takes.
const std::vector<CompareOption>& CompareOptions();

// Parses `args` ("--name VALUE", "--name=VALUE", flags, operands, "--" ending the options)
// with the compare options (unless `compareOptions` is false) and a command's `extra` ones.
// False with a message on a usage error.
bool ParseCompareArgs(const std::vector<std::string>& args, CompareArgs& out, std::string& error,
                      const std::vector<CompareOption>& extra = {}, bool compareOptions = true);

// The option lines of a usage text, two columns.
std::string CompareOptionsHelp(const std::vector<CompareOption>& extra = {});

// The words of the actions on the command line and in its listings: "left-to-right",
// "right-to-left", "auto", "two-way" ("unknown" for a value that is none of them).
// ActionOfWord is false for any other word.
const char* ActionWord(kn::TKNAction action);
bool ActionOfWord(const std::string& word, kn::TKNAction& action);

// A folder argument as the engine gets it: an FTP location unchanged, a local path made
// absolute (relative to the working folder) and lexically normalised.
std::string FolderArgument(const std::string& arg);

// Empty when the local root `folder` can be listed; otherwise a message that names it.
// FTP locations are not checked here.
std::string CheckLocalRoot(const std::string& folder);

}  // namespace cli
