// Process entry of the screensaver executable.
#include <string>
#include <vector>

#include "app/saver_main.h"
#include "platform/resources.h"
#include "platform/sdl/sdl_os.h"

int main(int argc, char** argv)
{
    auto os = os::CreateSdlOS(os::EmbeddedResources());
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return RunSaverProcess(*os, args);
}
