// The readers of "packtool brand" on arbitrary bytes: a program image's resource tree (and, when it reads, the
// image rewritten with the same resources, which must read back), a skin picture, an icon or cursor file and a
// version resource.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/packtool/Branding.h"
#include "tools/packtool/PeResources.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<unsigned char> bytes(data, data + size);
    std::string why;
    std::vector<ResourceLeaf> leaves;
    if (ReadResources(bytes, &leaves, &why)) {
        std::vector<unsigned char> out;
        if (ReplaceResources(bytes, leaves, &out, &why)) {
            std::vector<ResourceLeaf> again;
            // Leaves of the same type, name and language become one, so there may be fewer, never more.
            if (!ReadResources(out, &again, &why) || again.size() > leaves.size() || (!leaves.empty() && again.empty()))
                std::abort();
        }
    }
    int32_t width, height;
    CheckSkinPicture(bytes, &width, &height, &why);
    std::vector<IconImage> images;
    ReadIconFile(bytes, false, &images, &why);
    ReadIconFile(bytes, true, &images, &why);
    std::vector<unsigned char> version = bytes;
    SetVersionStrings(&version, {{"ProductVersion", u"1.2.3.4"}, {"ProductName", u"x"}}, &why);
    return 0;
}
