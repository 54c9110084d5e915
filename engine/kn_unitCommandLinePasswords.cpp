#include "engine/kn_unitCommandLinePasswords.h"

#include <cstring>
#include <string_view>

#include "engine/kn_unitSideRegistry.h"
#include "side/kn_unitSideKind.h"

namespace kn {

bool WipeCommandLinePasswords(int argc, char** argv)
{
    bool wiped = false;
    for (int i = 1; i < argc; ++i) {
        const std::size_t size = std::strlen(argv[i]);
        const std::string hidden = HideLocationPasswords(std::string_view(argv[i], size));
        // Hiding only removes bytes; a text that would grow is left as it is.
        if (hidden.size() >= size) continue;
        std::memcpy(argv[i], hidden.data(), hidden.size());
        std::memset(argv[i] + hidden.size(), 0, size - hidden.size());
        wiped = true;
    }
    return wiped;
}

std::string CommandLinePasswordNotice(const std::string& program)
{
    return program + ": a password on the command line shows in the process list; " + kPasswordVariable +
           ", the secret store or the prompt keep it out of it";
}

}  // namespace kn
