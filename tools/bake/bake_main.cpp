// vantor-bake STAGING_DIR RESOURCE_DIR [--docs DIR]
//
// Writes every generated archive member below STAGING_DIR and the preview
// picture (preview.bmp) and icon (icon.png) into RESOURCE_DIR. Exits with 1
// when a member fails its checks, so the build stops.
#include <cstdio>
#include <cstring>

#include "bake/bake.h"

int main(int argc, char** argv)
{
    bake::BakeOptions options;
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--docs") == 0 && i + 1 < argc) {
            options.docsDir = argv[++i];
        } else if (std::strcmp(argv[i], "--quiet") == 0) {
            options.verbose = false;
        } else if (positional == 0) {
            options.stagingDir = argv[i];
            ++positional;
        } else if (positional == 1) {
            options.resourceDir = argv[i];
            ++positional;
        } else {
            positional = 9;
        }
    }
    if (positional != 2) {
        std::fprintf(stderr, "usage: vantor-bake STAGING_DIR RESOURCE_DIR [--docs DIR] [--quiet]\n");
        return 2;
    }
#ifdef VANTOR_SHADER_DIR
    options.shaderDir = VANTOR_SHADER_DIR;
#endif
    return bake::RunBake(options) ? 0 : 1;
}
