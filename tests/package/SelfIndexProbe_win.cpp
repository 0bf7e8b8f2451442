// Indexes its own executable file as the installer does at start-up and writes what it found to the file named
// by its first argument: one line per entry (name, original size, MD5 of the extracted bytes), then one line per
// message that extraction showed.
#include <windows.h>

#include <cstdio>
#include <string>

#include "package/Extract.h"
#include "package/Package.h"
#include "support/MessageSeam.h"

namespace {

std::string gMessages;

int RecordMessage(void*, const char* text, const char* caption, unsigned) {
    gMessages += std::string("message\t") + caption + "\t" + text + "\n";
    return kIdOk;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    SetMessageHandler(RecordMessage);
    IndexPackage();
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out)
        return 3;
    for (const auto& item : gPackageIndex) {
        MemorySink sink;
        bool ok = ExtractByName(item.first.c_str(), sink);
        std::fprintf(out, "%s\t%u\t%s\t%d\n", item.first.c_str(), item.second.originalSize,
                     Md5Hex(sink.data, sink.size).c_str(), ok ? 1 : 0);
    }
    MemorySink sink;
    if (argc > 2)
        ExtractByName(argv[2], sink);
    std::fputs(gMessages.c_str(), out);
    std::fclose(out);
    return 0;
}
