// Opens a stored ZIP built on the fly as the program's archive, so the
// loaders that take archive paths can be run end to end.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>
#include <zip.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive.h"

class ArchiveFixture : public ::testing::Test {
protected:
    void OpenArchive(const std::vector<std::pair<std::string, std::string>>& members)
    {
        const std::string path = "/tmp/vantor-model-test-" + std::to_string(getpid()) + ".zip";
        zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
        ASSERT_NE(zip, nullptr);
        for (const auto& [name, data] : members) {
            zip_fileinfo info{};
            ASSERT_EQ(zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, 0, 0), ZIP_OK);
            zipWriteInFileInZip(zip, data.data(), static_cast<unsigned>(data.size()));
            zipCloseFileInZip(zip);
        }
        zipClose(zip, nullptr);
        std::ifstream in(path, std::ios::binary);
        m_bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        std::remove(path.c_str());
        ASSERT_TRUE(OpenResourceArchive(m_bytes));
    }
    void TearDown() override { CloseResourceArchive(); }

private:
    std::vector<uint8_t> m_bytes;
};
