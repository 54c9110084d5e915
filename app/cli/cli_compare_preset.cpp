#include "app/cli/cli_compare_preset.h"

#include "config/kn_unitConfig.h"
#include "framework/vex_unitText.h"

namespace cli {

namespace {

// The first option in `argv` other than --preset and --help, or "" when there is none.
std::string OtherOption(const std::vector<std::string>& argv)
{
    for (std::size_t i = 0; i < argv.size() && argv[i] != "--"; ++i) {
        const std::string& arg = argv[i];
        if (arg == "--preset")
            ++i;  // its value
        else if (arg.size() >= 2 && arg[0] == '-' && arg.rfind("--preset=", 0) != 0 && arg != "--help" && arg != "-h")
            return arg.substr(0, arg.find('='));
    }
    return {};
}

}  // namespace

CompareOption PresetOption(std::string& name)
{
    return {"--preset", "NAME", "the options and folders of the preset NAME; LEFT RIGHT replace its folders",
            [&name](const std::string& value, CompareArgs&, std::string& error) {
                if (value.empty()) {
                    error = "the preset name is empty";
                    return false;
                }
                name = value;
                return true;
            }};
}

bool ApplyPreset(const std::string& name, const std::vector<std::string>& argv, CompareArgs& args, std::string& error)
{
    if (std::string other = OtherOption(argv); !other.empty()) {
        error = "--preset settles every comparison option; " + other + " cannot be added to it";
        return false;
    }
    auto config = kn::TKNConfig::OpenProgramConfig();
    const kn::TKNOptionsRec* preset = config->Presets.Find(name);
    if (preset == nullptr) {
        error = "there is no preset named \"" + name + "\" in " + config->ConfigFile.FileName();
        if (!config->ConfigFile.Ok()) error += " (" + config->ConfigFile.ErrorText() + ")";
        return false;
    }
    args.Options = *preset;
    if (args.Operands.empty()) args.Operands = {vex::GetField(preset->LeftFolder), vex::GetField(preset->RightFolder)};
    return true;
}

}  // namespace cli
