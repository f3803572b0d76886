// Releasing a counted interface the engine owns exactly once.
#pragma once

#include <utility>

// Releases `p` if it is set and leaves it null.
template <class T>
void ReleaseAndClear(T*& p)
{
    if (T* owned = std::exchange(p, nullptr))
        owned->Release();
}
