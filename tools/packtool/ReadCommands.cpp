// The commands that read a package: list, extract and verify. All three open it the same way. And the tables the
// tool prints from the program's own: names, layout and facts.

#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "package/Extract.h"
#include "package/Package.h"
#include "support/Gbk.h"
#include "support/MessageSeam.h"
#include "support/StdioFile.h"
#include "tools/packtool/Commands.h"
#include "tools/packtool/HostFs.h"
#include "tools/packtool/ProgramFacts.h"
#include "tools/packtool/RequiredEntries.h"

namespace {

constexpr size_t kAnyCount = std::numeric_limits<size_t>::max();

// The entry being extracted, so that the package's messages can name it.
std::string gCurrentEntry;

int PrintMessage(void*, const char* text, const char* caption, unsigned) {
    std::fprintf(stderr, "packtool: %s: %s: %s\n", gCurrentEntry.c_str(), caption, text);
    return kIdOk;
}

// The package file the index was read from, open once for every body the command reads; closed when it cannot be
// opened (each read then opens the file itself, and fails as it would).
StdioFile OpenBodies(const PackageIndex& index) {
    return StdioFile(index.empty() ? nullptr : index.begin()->second.packagePath.c_str(), "rb");
}

// The opening of every reading command: checks that the command line holds minArgs to maxArgs words, indexes the
// package named by args[2] and prints the one-line reason when there is nothing to read. False when the command
// cannot go on (its exit status is then kExitUsage); a package that is damaged after some records still opens,
// with result->status saying so.
bool OpenPackage(const std::vector<std::string>& args,
                 size_t minArgs,
                 size_t maxArgs,
                 PackageIndex* index,
                 IndexResult* result) {
    if (args.size() < minArgs || args.size() > maxArgs) {
        PrintUsage();
        return false;
    }
    const std::string& path = args[2];
    *result = IndexPackageFile(NarrowPathUtf8(path).c_str(), *index);
    if (result->certificate.state == CertificateState::kMisplaced) {
        std::fprintf(stderr,
                     "packtool: %s has no package (its security directory points at %lld bytes at offset %lld, "
                     "which do not end the file)\n",
                     path.c_str(), static_cast<long long>(result->certificate.size),
                     static_cast<long long>(result->certificate.offset));
        return false;
    }
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

// Writes an entry's bytes below outDir, making its folders. A name that could leave outDir is refused.
bool WriteEntry(const std::string& outDir, const PackageEntry& entry, const MemorySink& sink) {
    const EntryNameFault fault = FindEntryNameFault(entry.name);
    if (fault != EntryNameFault::kNone) {
        std::fprintf(stderr, "packtool: refusing to write \"%s\": %s\n", entry.name.c_str(), EntryNameFaultText(fault));
        return false;
    }
    const std::vector<std::string> parts = SplitPathComponents(entry.name);
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
    StdioFile file = CreateOutputFile(path);
    if (!file)
        return false;
    bool ok = sink.size == 0 || std::fwrite(sink.data, 1, sink.size, file.get()) == sink.size;
    ok = file.Close() && ok;
    if (!ok)
        std::fprintf(stderr, "packtool: writing %s failed\n", path.c_str());
    return ok;
}

}  // namespace

int List(const std::vector<std::string>& args) {
    PackageIndex index;
    IndexResult result;
    if (!OpenPackage(args, 3, 3, &index, &result))
        return kExitUsage;
    for (const auto& item : index) {
        const PackageEntry& entry = item.second;
        std::fwrite(entry.name.data(), 1, entry.name.size(), stdout);
        std::printf("\t%u\t%u\t%s\n", entry.originalSize, entry.compressedSize, entry.digest.c_str());
    }
    return result.status == IndexStatus::kOk ? kExitOk : kExitCheckFailed;
}

int Extract(const std::vector<std::string>& args) {
    PackageIndex index;
    IndexResult result;
    if (!OpenPackage(args, 4, kAnyCount, &index, &result))
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
            const PackageEntry* found = FindEntry(index, args[i].c_str());
            if (!found) {
                gCurrentEntry = args[i];
                PrintMessage(nullptr, args[i].c_str(), kFindFileCaption, kMbOk);
                allFound = false;
            } else {
                chosen.push_back(found);
            }
        }
    }

    MessageHandler previous = SetMessageHandler(PrintMessage);
    bool checksPassed = allFound && result.status == IndexStatus::kOk;
    bool written = true;
    const StdioFile package = OpenBodies(index);
    ExtractOptions options;
    options.package = package.get();
    MemorySink sink;
    for (const PackageEntry* entry : chosen) {
        gCurrentEntry = entry->name;
        ExtractReport report;
        if (!ExtractEntry(*entry, &sink, &report, options)) {
            if (report.sizeRefused) {  // a damaged header: nothing to write, the check failed
                std::fprintf(stderr, "packtool: %s: claims more bytes than its body can hold\n", entry->name.c_str());
                checksPassed = false;
                continue;
            }
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
    PackageIndex index;
    IndexResult result;
    if (!OpenPackage(args, 3, 3, &index, &result))
        return kExitUsage;

    size_t failed = 0;
    const StdioFile package = OpenBodies(index);
    ExtractOptions options;
    options.reporter = Reporter::kQuiet;
    options.package = package.get();
    MemorySink sink;
    for (const auto& item : index) {
        const PackageEntry& entry = item.second;
        ExtractReport report;
        bool delivered = ExtractEntry(entry, &sink, &report, options);
        sink.Release();
        if (delivered && report.digestOk && report.lengthOk)
            continue;
        ++failed;
        std::fwrite(entry.name.data(), 1, entry.name.size(), stderr);
        std::fprintf(stderr, ": %s%s%s\n",
                     report.sizeRefused ? "claims more bytes than its body can hold"
                     : !delivered       ? "cannot allocate its buffers"
                                        : "",
                     delivered && !report.digestOk ? (report.bodyRead ? "digest mismatch " : "body cut short ") : "",
                     delivered && !report.lengthOk ? "does not decompress to its original size" : "");
    }
    std::printf("%zu entries, %zu failed\n", index.size(), failed);
    // For an installer (a package after a program image): whether a signature is there, not whether it is
    // valid: "osslsigncode verify" checks that.
    if (result.certificate.state == CertificateState::kEndsFile) {
        std::printf("signature: present (a certificate table of %u bytes at offset %lld; not validated here)\n",
                    result.certificate.size, static_cast<long long>(result.certificate.offset));
    } else if (result.certificate.peImage) {
        std::printf("signature: none\n");
    }
    std::fflush(stdout);
    ReportMissingRequiredEntries(index, stderr);  // warnings only: the exit status is the entries' checks
    return failed == 0 && result.status == IndexStatus::kOk && !index.empty() ? kExitOk : kExitCheckFailed;
}

int Names(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        PrintUsage();
        return kExitUsage;
    }
    WriteNameTable(stdout);
    return std::fflush(stdout) == 0 ? kExitOk : kExitUsage;
}

int Layout(const std::vector<std::string>& args) {
    if (args.size() != 3) {
        PrintUsage();
        return kExitUsage;
    }
    std::vector<unsigned char> bytes;
    if (!ReadWholeFile(args[2], &bytes)) {
        std::fprintf(stderr, "packtool: cannot read %s\n", args[2].c_str());
        return kExitUsage;
    }
    std::string error;
    if (!WriteLayoutTable(bytes.data(), bytes.size(), stdout, &error)) {
        std::fprintf(stderr, "packtool: %s: %s\n", args[2].c_str(), error.c_str());
        return kExitUsage;
    }
    return std::fflush(stdout) == 0 ? kExitOk : kExitUsage;
}

int Facts(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        PrintUsage();
        return kExitUsage;
    }
    WriteFactTable(stdout);
    return std::fflush(stdout) == 0 ? kExitOk : kExitUsage;
}
