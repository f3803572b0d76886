// Helpers shared by the model suites: matrix comparison and small files.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "model/anim_math.h"

inline ::testing::AssertionResult MatrixNear(const vmath::Mat4& a, const vmath::Mat4& b, float tol = 1e-4f)
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (!(std::fabs(a.m[i][j] - b.m[i][j]) <= tol))
                return ::testing::AssertionFailure()
                       << "element [" << i << "][" << j << "]: " << a.m[i][j] << " vs " << b.m[i][j];
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult VecNear(const vmath::Vec3& a, const vmath::Vec3& b, float tol = 1e-4f)
{
    if (std::fabs(a.x - b.x) <= tol && std::fabs(a.y - b.y) <= tol && std::fabs(a.z - b.z) <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ") vs (" << b.x << ", "
                                         << b.y << ", " << b.z << ")";
}

inline std::string ToCrLf(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}
