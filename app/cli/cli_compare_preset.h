// `--preset NAME` for the comparing commands: the options of a named preset of the
// configuration, which is opened (created or upgraded) exactly as the desktop program does.
#pragma once

#include <string>
#include <vector>

#include "app/cli/cli_compare_options.h"

namespace cli {

// The option "--preset NAME"; parsing stores NAME in `name`.
CompareOption PresetOption(std::string& name);

// Replaces args.Options with the preset `name` and, when no folders were given as operands,
// makes its two folders the operands. False with a message naming the preset when there is no
// such preset, or when `argv` also holds other comparison options (the preset settles them).
bool ApplyPreset(const std::string& name, const std::vector<std::string>& argv, CompareArgs& args, std::string& error);

}  // namespace cli
