// packtool: makes, lists, extracts and verifies the installer's packages.
//
//   packtool pack [--level 1|999] [--append-to EXE] OUT SOURCE...
//   packtool list PACKAGE
//   packtool extract PACKAGE OUTDIR [NAME...]
//   packtool verify PACKAGE
//
// A SOURCE is a folder (every file below it, stored under its relative path with "\" separators) or a manifest
// (lines "STORED_NAME<TAB>LOCAL_PATH", read as GBK bytes; blank lines and lines starting with '#' are skipped).
// Exit status: 0 success, 1 a check failed (extract still writes the bytes), 2 usage or I/O error.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "package/Extract.h"
#include "package/Package.h"
#include "support/MessageSeam.h"
#include "tools/packtool/HostFs.h"
#include "tools/packtool/PackageWriter.h"
#include "tools/packtool/RequiredEntries.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitCheckFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: packtool pack [--level 1|999] [--append-to EXE] OUT SOURCE...\n"
    "       packtool list PACKAGE\n"
    "       packtool extract PACKAGE OUTDIR [NAME...]\n"
    "       packtool verify PACKAGE\n";

// The entry being extracted, so that the package's messages can name it.
std::string gCurrentEntry;
int gMessages = 0;

int PrintMessage(void*, const char* text, const char* caption, unsigned) {
    ++gMessages;
    std::fprintf(stderr, "packtool: %s: %s: %s\n", gCurrentEntry.c_str(), caption, text);
    return kIdOk;
}

int CountMessage(void*, const char*, const char*, unsigned) {
    ++gMessages;
    return kIdOk;
}

bool ReadWholeFile(const std::string& path, std::vector<unsigned char>* bytes) {
    std::FILE* file = OpenFileUtf8(path, "rb");
    if (!file)
        return false;
    bytes->clear();
    unsigned char chunk[1 << 16];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes->insert(bytes->end(), chunk, chunk + got);
    bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

std::string ParentOf(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool IsAbsoluteLocal(const std::string& path) {
    return !path.empty() && (path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':'));
}

struct PackItem {
    std::string storedName;  // GBK
    std::string localPath;   // UTF-8
};

bool CollectFolder(const std::string& folder, std::vector<PackItem>* items) {
    std::vector<std::string> files;
    if (!ListTreeUtf8(folder, &files)) {
        std::fprintf(stderr, "packtool: cannot read folder %s\n", folder.c_str());
        return false;
    }
    for (const std::string& relative : files) {
        std::string stored;
        if (!Utf8ToGbk(relative, &stored)) {
            std::fprintf(stderr, "packtool: %s/%s: the name cannot be written in GBK\n", folder.c_str(),
                         relative.c_str());
            return false;
        }
        for (char& c : stored) {
            if (c == '/')
                c = '\\';  // a GBK trail byte is never 0x2F, so this touches separators only
        }
        items->push_back({stored, folder + "/" + relative});
    }
    return true;
}

bool CollectManifest(const std::string& manifest, std::vector<PackItem>* items) {
    std::vector<unsigned char> bytes;
    if (!ReadWholeFile(manifest, &bytes)) {
        std::fprintf(stderr, "packtool: cannot read manifest %s\n", manifest.c_str());
        return false;
    }
    std::string text(bytes.begin(), bytes.end());
    size_t lineNumber = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        size_t tab = line.find('\t');
        if (tab == std::string::npos) {
            std::fprintf(stderr, "packtool: %s:%zu: expected STORED_NAME<TAB>LOCAL_PATH\n", manifest.c_str(),
                         lineNumber);
            return false;
        }
        std::string local;
        if (!GbkToUtf8(line.substr(tab + 1), &local)) {
            std::fprintf(stderr, "packtool: %s:%zu: the local path is not GBK text\n", manifest.c_str(), lineNumber);
            return false;
        }
        if (!IsAbsoluteLocal(local))
            local = ParentOf(manifest) + "/" + local;
        items->push_back({line.substr(0, tab), local});
    }
    return true;
}

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
            std::fputs(kUsage, stderr);
            return kExitUsage;
        }
    }
    if (args.size() < at + 2) {
        std::fputs(kUsage, stderr);
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
    std::FILE* file = OpenFileUtf8(out, "wb");
    if (!file) {
        std::fprintf(stderr, "packtool: cannot create %s\n", out.c_str());
        return kExitUsage;
    }
    PackageWriter writer(level);
    bool ok = writer.Begin(file, image.data(), image.size());
    std::vector<unsigned char> bytes;
    for (const PackItem& item : items) {
        if (!ok)
            break;
        std::string why;
        RecordSpec recordSpec;
        recordSpec.name = item.storedName;
        if (!ReadWholeFile(item.localPath, &bytes)) {
            std::fprintf(stderr, "packtool: cannot read %s\n", item.localPath.c_str());
            ok = false;
        } else if (!writer.Add(recordSpec, bytes.data(), bytes.size(), &why)) {
            std::fprintf(stderr, "packtool: %s: %s\n", item.storedName.c_str(), why.c_str());
            ok = false;
        }
    }
    ok = ok && writer.Finish();
    ok = (std::fclose(file) == 0) && ok;
    if (!ok) {
        std::remove(NarrowPathUtf8(out).c_str());
        std::fprintf(stderr, "packtool: %s was not written\n", out.c_str());
        return kExitUsage;
    }
    return kExitOk;
}

// Indexes a package for list, extract and verify; prints the one-line reason when there is nothing to read.
bool OpenPackage(const std::string& path, PackageIndex* index, IndexResult* result) {
    *result = IndexPackageFile(NarrowPathUtf8(path).c_str(), *index);
    if (result->status == IndexStatus::kCannotOpen || result->status == IndexStatus::kNoPackage) {
        std::fprintf(stderr, "packtool: %s %s\n", path.c_str(), IndexStatusText(result->status));
        return false;
    }
    if (result->status != IndexStatus::kOk) {
        std::fprintf(stderr, "packtool: %s %s (stopped at offset %lld after %zu records)\n", path.c_str(),
                     IndexStatusText(result->status), static_cast<long long>(result->stopOffset), result->records);
    }
    if (index->empty())
        std::fprintf(stderr, "packtool: %s: the package holds no entries\n", path.c_str());
    return true;
}

int List(const std::vector<std::string>& args) {
    if (args.size() != 3) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    PackageIndex index;
    IndexResult result;
    if (!OpenPackage(args[2], &index, &result))
        return kExitUsage;
    for (const auto& item : index) {
        const PackageEntry& entry = item.second;
        std::fwrite(entry.name.data(), 1, entry.name.size(), stdout);
        std::printf("\t%u\t%u\t%s\n", entry.originalSize, entry.compressedSize, entry.digest.c_str());
    }
    return result.status == IndexStatus::kOk ? kExitOk : kExitCheckFailed;
}

// Splits a stored name into components at "\" and "/", never at a GBK trail byte. False for a name that could
// leave the output folder: absolute, with a drive, or with a ".." component.
bool SafeComponents(const std::string& name, std::vector<std::string>* parts) {
    parts->assign(1, std::string());
    if (name.empty() || name[0] == '\\' || name[0] == '/' || name.find(':') != std::string::npos)
        return false;
    for (size_t i = 0; i < name.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c & 0x80) {
            parts->back().push_back(name[i]);
            if (i + 1 < name.size())
                parts->back().push_back(name[++i]);
        } else if (c == '\\' || c == '/') {
            parts->emplace_back();
        } else {
            parts->back().push_back(name[i]);
        }
    }
    for (const std::string& part : *parts) {
        if (part.empty() || part == "." || part == "..")
            return false;
    }
    return true;
}

bool WriteEntry(const std::string& outDir, const PackageEntry& entry, const MemorySink& sink) {
    std::vector<std::string> parts;
    if (!SafeComponents(entry.name, &parts)) {
        std::fprintf(stderr, "packtool: refusing to write \"%s\": it would leave the output folder\n",
                     entry.name.c_str());
        return false;
    }
    std::string path = outDir;
    for (size_t i = 0; i < parts.size(); ++i) {
        std::string utf8;
        if (!GbkToUtf8(parts[i], &utf8)) {
            std::fprintf(stderr, "packtool: \"%s\": the name is not GBK text\n", entry.name.c_str());
            return false;
        }
        path += "/" + utf8;
        if (i + 1 < parts.size() && !MakeDirectoryUtf8(path)) {
            std::fprintf(stderr, "packtool: cannot create folder %s\n", path.c_str());
            return false;
        }
    }
    std::FILE* file = OpenFileUtf8(path, "wb");
    if (!file) {
        std::fprintf(stderr, "packtool: cannot create %s\n", path.c_str());
        return false;
    }
    bool ok = sink.size == 0 || std::fwrite(sink.data, 1, sink.size, file) == sink.size;
    ok = (std::fclose(file) == 0) && ok;
    if (!ok)
        std::fprintf(stderr, "packtool: writing %s failed\n", path.c_str());
    return ok;
}

int Extract(const std::vector<std::string>& args) {
    if (args.size() < 4) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    PackageIndex index;
    IndexResult result;
    if (!OpenPackage(args[2], &index, &result))
        return kExitUsage;
    const std::string outDir = args[3];
    if (!MakeDirectoryUtf8(outDir)) {
        std::fprintf(stderr, "packtool: cannot create folder %s\n", outDir.c_str());
        return kExitUsage;
    }

    std::vector<const PackageEntry*> chosen;
    bool allFound = true;
    if (args.size() == 4) {
        for (const auto& item : index)
            chosen.push_back(&item.second);
    } else {
        for (size_t i = 4; i < args.size(); ++i) {
            std::string key = args[i];
            LowerAsciiDbcs(key);
            auto found = index.find(key);
            if (found == index.end()) {
                gCurrentEntry = args[i];
                PrintMessage(nullptr, args[i].c_str(), kFindFileCaption, kMbOk);
                allFound = false;
            } else {
                chosen.push_back(&found->second);
            }
        }
    }

    MessageHandler previous = SetMessageHandler(PrintMessage);
    bool checksPassed = allFound && result.status == IndexStatus::kOk;
    bool written = true;
    MemorySink sink;
    for (const PackageEntry* entry : chosen) {
        gCurrentEntry = entry->name;
        ExtractReport report;
        if (!ExtractEntry(*entry, sink, &report)) {
            std::fprintf(stderr, "packtool: %s: out of memory\n", entry->name.c_str());
            written = false;
            continue;
        }
        checksPassed = checksPassed && report.digestOk && report.lengthOk;
        if (!WriteEntry(outDir, *entry, sink))
            checksPassed = false;
    }
    SetMessageHandler(previous);
    if (!written)
        return kExitUsage;
    return checksPassed ? kExitOk : kExitCheckFailed;
}

int Verify(const std::vector<std::string>& args) {
    if (args.size() != 3) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    PackageIndex index;
    IndexResult result;
    if (!OpenPackage(args[2], &index, &result))
        return kExitUsage;

    MessageHandler previous = SetMessageHandler(CountMessage);
    size_t failed = 0;
    MemorySink sink;
    for (const auto& item : index) {
        const PackageEntry& entry = item.second;
        ExtractReport report;
        bool delivered = ExtractEntry(entry, sink, &report);
        sink.Release();
        if (delivered && report.digestOk && report.lengthOk)
            continue;
        ++failed;
        std::fwrite(entry.name.data(), 1, entry.name.size(), stderr);
        std::fprintf(stderr, ": %s%s%s\n", !delivered ? "cannot allocate its buffers" : "",
                     delivered && !report.digestOk ? (report.bodyRead ? "digest mismatch " : "body cut short ") : "",
                     delivered && !report.lengthOk ? "does not decompress to its original size" : "");
    }
    SetMessageHandler(previous);
    std::printf("%zu entries, %zu failed\n", index.size(), failed);
    std::fflush(stdout);
    ReportMissingRequiredEntries(index, stderr);  // warnings only: the exit status is the entries' checks
    return failed == 0 && result.status == IndexStatus::kOk && !index.empty() ? kExitOk : kExitCheckFailed;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args = CommandLineUtf8(argc, argv);
    if (args.size() < 2) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    const std::string& command = args[1];
    if (command == "pack")
        return Pack(args);
    if (command == "list")
        return List(args);
    if (command == "extract")
        return Extract(args);
    if (command == "verify")
        return Verify(args);
    std::fputs(kUsage, stderr);
    return kExitUsage;
}
