// Shared helpers of the dialog suite.
#include "test_support.h"

#include <stdexcept>

namespace testsupport {
namespace {

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

std::vector<uint8_t> Header(int width, int height, int bits, size_t paletteBytes, size_t stride, bool topDown)
{
    const size_t offset = 14 + 40 + paletteBytes;
    std::vector<uint8_t> b(offset + stride * static_cast<size_t>(height), 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<uint32_t>(b.size()));
    Put32(b, 10, static_cast<uint32_t>(offset));
    Put32(b, 14, 40);
    Put32(b, 18, static_cast<uint32_t>(width));
    Put32(b, 22, static_cast<uint32_t>(topDown ? -height : height));
    Put16(b, 26, 1);
    Put16(b, 28, static_cast<uint32_t>(bits));
    return b;
}

class NoStore : public os::IUserStore {
public:
    std::unique_ptr<os::IStoreKey> OpenKey(std::string_view) override { return nullptr; }
};

} // namespace

std::unique_ptr<os::IWindow> ScriptedOS::CreateWindow(const os::WindowDesc& desc, os::IEventHandler* handler)
{
    created.push_back(desc);
    if (createHook)
        return createHook(desc, handler);
    if (refuseWindows)
        return nullptr;
    auto w = std::make_unique<ScriptedWindow>(handler, os::Rect{0, 0, 152, 112}, nullptr);
    if (handler)
        handler->OnEvent(*w, os::Event{os::EventType::Create});
    return w;
}

os::IUserStore& ScriptedOS::Store()
{
    static NoStore store;
    return store;
}

std::vector<uint8_t> MakeBmp8(int width, int height, const std::vector<uint32_t>& palette,
                              const std::function<uint8_t(int, int)>& index, bool topDown)
{
    const size_t stride = (static_cast<size_t>(width) + 3) / 4 * 4;
    std::vector<uint8_t> b = Header(width, height, 8, palette.size() * 4, stride, topDown);
    Put32(b, 46, static_cast<uint32_t>(palette.size()));
    for (size_t i = 0; i < palette.size(); ++i) {
        b[54 + i * 4] = static_cast<uint8_t>(palette[i]);
        b[54 + i * 4 + 1] = static_cast<uint8_t>(palette[i] >> 8);
        b[54 + i * 4 + 2] = static_cast<uint8_t>(palette[i] >> 16);
    }
    const size_t data = 54 + palette.size() * 4;
    for (int y = 0; y < height; ++y) {
        const int fileRow = topDown ? y : height - 1 - y;
        for (int x = 0; x < width; ++x)
            b[data + static_cast<size_t>(fileRow) * stride + x] = index(x, y);
    }
    return b;
}

std::vector<uint8_t> MakeBmp24(int width, int height, const std::function<uint32_t(int, int)>& color)
{
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
    std::vector<uint8_t> b = Header(width, height, 24, 0, stride, false);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t c = color(x, y);
            const size_t at = 54 + static_cast<size_t>(height - 1 - y) * stride + static_cast<size_t>(x) * 3;
            b[at] = static_cast<uint8_t>(c);
            b[at + 1] = static_cast<uint8_t>(c >> 8);
            b[at + 2] = static_cast<uint8_t>(c >> 16);
        }
    return b;
}

std::vector<uint8_t> QuadrantPicture()
{
    return MakeBmp8(160, 120, {kRed, kGreen, kBlue, kWhite}, [](int x, int y) {
        return static_cast<uint8_t>((x >= 80 ? 1 : 0) + (y >= 60 ? 2 : 0));
    });
}

} // namespace testsupport
