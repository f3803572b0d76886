// Pictures of rendered frames as PNG files: written by the off-screen
// renderer, read back by the reference-image tests.
#pragma once

#include <string>

#include "d3d8_vantor.h"

bool WritePng(const std::string& path, const VantorImage& image);
bool ReadPng(const std::string& path, VantorImage& image);
