// packtool brand IMAGE OUT --normal WINDOW1.bmp --hot WINDOW2.bmp [--icon FILE.ico] [--cursor FILE.cur]
//                [--set NAME=VALUE]...

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "package/Package.h"
#include "support/StdioFile.h"
#include "tools/packtool/Branding.h"
#include "tools/packtool/Commands.h"
#include "tools/packtool/HostFs.h"
#include "tools/packtool/ImageBytes.h"
#include "tools/packtool/PeResources.h"

namespace {

struct BrandArgs {
    std::string image;
    std::string out;
    std::string normal;
    std::string hot;
    std::string icon;
    std::string cursor;
    std::vector<std::pair<std::string, std::string>> sets;
};

bool ParseBrandArgs(const std::vector<std::string>& args, BrandArgs* parsed) {
    std::vector<std::string> positional;
    for (size_t at = 2; at < args.size(); ++at) {
        const std::string& arg = args[at];
        bool hasValue = at + 1 < args.size();
        if (arg == "--normal" && hasValue) {
            parsed->normal = args[++at];
        } else if (arg == "--hot" && hasValue) {
            parsed->hot = args[++at];
        } else if (arg == "--icon" && hasValue) {
            parsed->icon = args[++at];
        } else if (arg == "--cursor" && hasValue) {
            parsed->cursor = args[++at];
        } else if (arg == "--set" && hasValue) {
            const std::string& pair = args[++at];
            size_t equals = pair.find('=');
            if (equals == std::string::npos) {
                std::fprintf(stderr, "packtool: --set takes NAME=VALUE, not \"%s\"\n", pair.c_str());
                return false;
            }
            parsed->sets.emplace_back(pair.substr(0, equals), pair.substr(equals + 1));
        } else if (arg.rfind("--", 0) == 0) {
            PrintUsage();
            return false;
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2 || parsed->normal.empty() || parsed->hot.empty()) {
        PrintUsage();
        return false;
    }
    parsed->image = positional[0];
    parsed->out = positional[1];
    if (parsed->image == parsed->out) {
        std::fprintf(stderr, "packtool: brand writes a copy: OUT must not be IMAGE\n");
        return false;
    }
    return true;
}

bool Refuse(const std::string& file, const std::string& why) {
    std::fprintf(stderr, "packtool: %s: %s\n", file.c_str(), why.c_str());
    return false;
}

bool ReadInput(const std::string& path, std::vector<unsigned char>* bytes) {
    if (ReadWholeFile(path, bytes))
        return true;
    std::fprintf(stderr, "packtool: cannot read %s\n", path.c_str());
    return false;
}

// The two pictures: each a skin picture as the window loads it, the hot one at least as large as the normal one
// (the window reads it at the normal picture's coordinates).
bool ReadPictures(const BrandArgs& args, BrandRequest* request) {
    int32_t width[2], height[2];
    const std::string* paths[2] = {&args.normal, &args.hot};
    std::vector<unsigned char>* files[2] = {&request->normal, &request->hot};
    for (int i = 0; i < 2; ++i) {
        std::string why;
        if (!ReadInput(*paths[i], files[i]))
            return false;
        if (!CheckSkinPicture(*files[i], &width[i], &height[i], &why))
            return Refuse(*paths[i], why);
    }
    if (width[1] < width[0] || height[1] < height[0]) {
        return Refuse(args.hot, std::to_string(width[1]) + " x " + std::to_string(height[1]) +
                                    " pixels, smaller than the normal picture " + args.normal + " (" +
                                    std::to_string(width[0]) + " x " + std::to_string(height[0]) + ")");
    }
    return true;
}

// The icon (cursor false) or cursor file at path into images, and *given set, when a path was given.
bool ReadIconArgument(const std::string& path, bool cursor, bool* given, std::vector<IconImage>* images) {
    if (path.empty())
        return true;
    *given = true;
    std::vector<unsigned char> bytes;
    if (!ReadInput(path, &bytes))
        return false;
    std::string why;
    if (!ReadIconFile(bytes, cursor, images, &why))
        return Refuse(path, why);
    return true;
}

bool ReadIcons(const BrandArgs& args, BrandRequest* request) {
    return ReadIconArgument(args.icon, false, &request->withIcon, &request->icon) &&
           ReadIconArgument(args.cursor, true, &request->withCursor, &request->cursor);
}

bool ReadStrings(const BrandArgs& args, BrandRequest* request) {
    for (const auto& set : args.sets) {
        if (!IsBrandVersionName(set.first)) {
            std::string known;
            for (const char* name : kBrandVersionNames)
                known += std::string(known.empty() ? "" : ", ") + name;
            std::fprintf(stderr, "packtool: --set %s: the texts that can be set are %s\n", set.first.c_str(),
                         known.c_str());
            return false;
        }
        std::u16string value;
        if (!Utf8ToUtf16(set.second, &value)) {
            std::fprintf(stderr, "packtool: --set %s: the value is not UTF-8 text\n", set.first.c_str());
            return false;
        }
        request->strings.emplace_back(set.first, value);
    }
    return true;
}

// Resources change before the package is appended and before the file is signed: a package or a certificate at
// the end would be cut off from the image or no longer match it.
bool CheckBareImage(const std::string& path, const std::vector<unsigned char>& image) {
    std::string why;
    PeLayout layout;
    if (!ReadPeLayout(image, &layout, &why))
        return Refuse(path, why);
    if (image.size() >= kTrailerSize) {
        if (Get32(image, image.size() - kTrailerSize) == kPackageMagic)
            return Refuse(path, "it carries a package; brand the bare image first, then pack, then sign");
    }
    uint32_t offset, size;
    PeDirectory(image, layout, pe::kDirectorySecurity, &offset, &size);
    if (offset != 0 || size != 0)
        return Refuse(path, "it is signed; brand the bare image first, then pack, then sign");
    return true;
}

}  // namespace

int Brand(const std::vector<std::string>& args) {
    BrandArgs parsed;
    if (!ParseBrandArgs(args, &parsed))
        return kExitUsage;
    BrandRequest request;
    if (!ReadStrings(parsed, &request))
        return kExitUsage;
    std::vector<unsigned char> image;
    if (!ReadInput(parsed.image, &image) || !CheckBareImage(parsed.image, image))
        return kExitUsage;
    if (!ReadPictures(parsed, &request) || !ReadIcons(parsed, &request))
        return kExitUsage;

    std::string why;
    std::vector<ResourceLeaf> leaves;
    std::vector<unsigned char> branded;
    if (!ReadResources(image, &leaves, &why) || !ApplyBrand(request, &leaves, &why) ||
        !ReplaceResources(image, leaves, &branded, &why)) {
        Refuse(parsed.image, why);
        return kExitUsage;
    }

    StdioFile file = CreateOutputFile(parsed.out);
    if (!file)
        return kExitUsage;
    bool ok = std::fwrite(branded.data(), 1, branded.size(), file.get()) == branded.size();
    ok = file.Close() && ok;
    if (!ok) {
        RemoveFileUtf8(parsed.out);
        std::fprintf(stderr, "packtool: %s was not written\n", parsed.out.c_str());
        return kExitUsage;
    }
    return kExitOk;
}
