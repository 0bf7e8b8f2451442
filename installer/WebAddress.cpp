#include "installer/WebAddress.h"

#include "support/Gbk.h"

bool IsWebAddress(const std::string& address) {
    const std::string lower = LowerAsciiDbcsCopy(address);
    size_t scheme = 0;
    for (const char* prefix : {"http://", "https://"}) {
        if (lower.compare(0, std::string(prefix).size(), prefix) == 0)
            scheme = std::string(prefix).size();
    }
    if (scheme == 0 || address.size() == scheme)
        return false;
    for (const char c : address) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte <= ' ' || byte == 0x7F || c == '"')
            return false;
    }
    return true;
}
