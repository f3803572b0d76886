// The whole bake: every generated archive member into the staging folder,
// the preview picture and icon into the resource folder, each checked by
// loading it back with the engine's own readers.
#pragma once

#include <string>

namespace bake {

struct BakeOptions {
    std::string stagingDir;
    std::string resourceDir;
    std::string docsDir;    // empty: no documentation pictures
    std::string shaderDir;  // hand-written shaders to check; empty: skip
    bool verbose = true;
};

// False (with a message on stderr) when any member fails its checks.
bool RunBake(const BakeOptions& options);

}  // namespace bake
