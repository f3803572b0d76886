// A stored ZIP built with minizip's writer and handed back as bytes, for the
// suites that feed archives to the code under test (both platforms).
#pragma once

#include <gtest/gtest.h>
#include <zip.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace testzip {

// method 0 stores, 8 deflates.
inline std::vector<uint8_t> Build(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& members,
                                  int method = 0)
{
    // minizip writes to a file; a name of its own per call (suites run side
    // by side in separate processes), removed again.
    const std::string path =
        (std::filesystem::temp_directory_path() /
         ("vantor-test-" + std::to_string(std::random_device{}()) + "-" +
          std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + ".zip"))
            .string();
    zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
    EXPECT_NE(zip, nullptr);
    for (const auto& [name, data] : members) {
        zip_fileinfo info{};
        EXPECT_EQ(zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, method,
                                      method ? 6 : 0),
                  ZIP_OK);
        if (!data.empty())
            zipWriteInFileInZip(zip, data.data(), static_cast<unsigned>(data.size()));
        zipCloseFileInZip(zip);
    }
    zipClose(zip, nullptr);
    std::vector<uint8_t> bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::remove(path.c_str());
    return bytes;
}

} // namespace testzip
