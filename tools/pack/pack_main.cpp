// vantor-pack STAGING_DIR OUT.zip
//
// Packs every file below STAGING_DIR into a stored (uncompressed) ZIP, member
// names relative to the folder with forward slashes, in sorted order and with
// one fixed timestamp, so that the same files always give the same bytes.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <zip.h>

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: vantor-pack STAGING_DIR OUT.zip\n");
        return 2;
    }
    const fs::path root = argv[1];
    const std::string out = argv[2];

    std::vector<std::string> names;
    std::error_code ec;
    if (fs::is_directory(root, ec)) {
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (entry.is_regular_file())
                names.push_back(fs::relative(entry.path(), root).generic_string());
        }
    }
    std::sort(names.begin(), names.end());

    const std::string tmp = out + ".tmp";
    zipFile zip = zipOpen(tmp.c_str(), APPEND_STATUS_CREATE);
    if (!zip) {
        std::fprintf(stderr, "vantor-pack: cannot create %s\n", tmp.c_str());
        return 1;
    }
    bool ok = true;
    for (const std::string& name : names) {
        std::ifstream in(root / name, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) {
            std::fprintf(stderr, "vantor-pack: cannot read %s\n", name.c_str());
            ok = false;
            break;
        }
        zip_fileinfo info{};
        info.tmz_date.tm_year = 2026;
        info.tmz_date.tm_mon = 0;
        info.tmz_date.tm_mday = 1;
        ok = zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, 0, 0) == ZIP_OK &&
             (bytes.empty() || zipWriteInFileInZip(zip, bytes.data(), static_cast<unsigned>(bytes.size())) == ZIP_OK) &&
             zipCloseFileInZip(zip) == ZIP_OK;
        if (!ok) {
            std::fprintf(stderr, "vantor-pack: cannot add %s\n", name.c_str());
            break;
        }
    }
    ok = zipClose(zip, nullptr) == ZIP_OK && ok;
    if (!ok || std::rename(tmp.c_str(), out.c_str()) != 0) {
        std::remove(tmp.c_str());
        return 1;
    }
    return 0;
}
