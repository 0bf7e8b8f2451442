// packtool pack [--level 1|999] [--append-to EXE] OUT SOURCE...

#include <cstdio>
#include <string>
#include <vector>

#include "package/Package.h"
#include "support/StdioFile.h"
#include "tools/packtool/Commands.h"
#include "tools/packtool/HostFs.h"
#include "tools/packtool/PackageWriter.h"
#include "tools/packtool/Sources.h"

namespace {

// Every item's bytes as one record each, after the image; false with the reason printed on the first failure.
bool WriteItems(std::FILE* out,
                CompressionLevel level,
                const std::vector<unsigned char>& image,
                const std::vector<PackItem>& items) {
    PackageWriter writer(level);
    if (!writer.Begin(out, image.data(), image.size()))
        return false;
    std::vector<unsigned char> bytes;
    for (const PackItem& item : items) {
        std::string why;
        RecordSpec recordSpec;
        recordSpec.name = item.storedName;
        if (!ReadWholeFile(item.localPath, &bytes)) {
            std::fprintf(stderr, "packtool: cannot read %s\n", item.localPath.c_str());
            return false;
        }
        if (!writer.Add(recordSpec, bytes.data(), bytes.size(), &why)) {
            std::fprintf(stderr, "packtool: %s: %s\n", item.storedName.c_str(), why.c_str());
            return false;
        }
    }
    return writer.Finish();
}

// True when the image's security directory is not empty: it has been signed (or claims to be).
bool IsSigned(const std::string& path) {
    StdioFile file(OpenFileUtf8(path, "rb"));
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0)
        return false;
    const long size = std::ftell(file.get());
    return size >= 0 && ReadCertificateTable(file.get(), size).state != CertificateState::kNone;
}

}  // namespace

int Pack(const std::vector<std::string>& args) {
    CompressionLevel level = CompressionLevel::kFast;
    std::string appendTo;
    size_t at = 2;
    for (; at < args.size() && args[at].rfind("--", 0) == 0; ++at) {
        if (args[at] == "--level" && at + 1 < args.size()) {
            const std::string& value = args[++at];
            if (value == "1") {
                level = CompressionLevel::kFast;
            } else if (value == "999") {
                level = CompressionLevel::kBest;
            } else {
                std::fprintf(stderr, "packtool: --level takes 1 or 999\n");
                return kExitUsage;
            }
        } else if (args[at] == "--append-to" && at + 1 < args.size()) {
            appendTo = args[++at];
        } else {
            PrintUsage();
            return kExitUsage;
        }
    }
    if (args.size() < at + 2) {
        PrintUsage();
        return kExitUsage;
    }
    const std::string out = args[at];

    std::vector<PackItem> items;
    for (size_t i = at + 1; i < args.size(); ++i) {
        bool ok = IsDirectoryUtf8(args[i]) ? CollectFolder(args[i], &items) : CollectManifest(args[i], &items);
        if (!ok)
            return kExitUsage;
    }
    for (const PackItem& item : items) {
        std::string why;
        if (!CheckEntryName(item.storedName, &why)) {
            std::fprintf(stderr, "packtool: refusing \"%s\": %s\n", item.storedName.c_str(), why.c_str());
            return kExitUsage;
        }
    }

    std::vector<unsigned char> image;
    if (!appendTo.empty() && !ReadWholeFile(appendTo, &image)) {
        std::fprintf(stderr, "packtool: cannot read %s\n", appendTo.c_str());
        return kExitUsage;
    }
    if (!appendTo.empty() && IsSigned(appendTo)) {
        std::fprintf(stderr,
                     "packtool: refusing %s: it already carries a signature, which a package after it would break "
                     "(pack the unsigned image, then sign the installer)\n",
                     appendTo.c_str());
        return kExitUsage;
    }
    StdioFile file = CreateOutputFile(out);
    if (!file)
        return kExitUsage;
    bool ok = WriteItems(file.get(), level, image, items);
    ok = file.Close() && ok;
    if (!ok) {
        RemoveFileUtf8(out);
        std::fprintf(stderr, "packtool: %s was not written\n", out.c_str());
        return kExitUsage;
    }
    return kExitOk;
}
