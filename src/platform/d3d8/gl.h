// OpenGL 3.3 core declarations for the runtime. Functions are resolved by
// the GL dispatch library (glvnd), which serves both EGL and SDL contexts.
#pragma once

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>
