#include "support/VistaCalls_win.h"
#include <winternl.h>

#include "support/HeldFolder_win.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "support/Gbk.h"
#include "support/SystemLibrary_win.h"
#include "support/SystemText_win.h"
#include "support/Win32Handles.h"

namespace {

constexpr DWORD kWriteChunk = 1u << 20;
// The longest name of one file or folder that the file systems take, in UTF-16 units.
constexpr size_t kMaxNameLength = 255;
// Names tried for a new file of our own before giving up: each is new with near certainty.
constexpr int kScratchAttempts = 64;

// The NT status codes that say more than their Win32 translation does.
constexpr NTSTATUS kStatusNotImplemented = NTSTATUS(0xC0000002L);
constexpr NTSTATUS kStatusObjectNameCollision = NTSTATUS(0xC0000035L);
constexpr NTSTATUS kStatusDeletePending = NTSTATUS(0xC0000056L);
constexpr NTSTATUS kStatusFileIsADirectory = NTSTATUS(0xC00000BAL);
constexpr NTSTATUS kStatusNotADirectory = NTSTATUS(0xC0000103L);

// A folder held by this file: listed, traversed, its identity read; never deleted or renamed through the handle.
constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
// Others may read and write in a held folder, but not rename or delete it while we hold it.
constexpr ULONG kHeldShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

using NtCreateFileCall = NTSTATUS(NTAPI*)(PHANDLE file,
                                          ACCESS_MASK access,
                                          POBJECT_ATTRIBUTES attributes,
                                          PIO_STATUS_BLOCK status,
                                          PLARGE_INTEGER allocation,
                                          ULONG fileAttributes,
                                          ULONG share,
                                          ULONG disposition,
                                          ULONG options,
                                          PVOID extendedAttributes,
                                          ULONG extendedAttributesLength);
// NtQueryInformationFile and NtSetInformationFile.
using NtFileInformationCall = NTSTATUS(
    NTAPI*)(HANDLE file, PIO_STATUS_BLOCK status, PVOID information, ULONG length, FILE_INFORMATION_CLASS kind);
using NtQueryDirectoryFileCall = NTSTATUS(NTAPI*)(HANDLE folder,
                                                  HANDLE event,
                                                  PVOID apcRoutine,
                                                  PVOID apcContext,
                                                  PIO_STATUS_BLOCK status,
                                                  PVOID information,
                                                  ULONG length,
                                                  FILE_INFORMATION_CLASS kind,
                                                  BOOLEAN singleEntry,
                                                  PUNICODE_STRING mask,
                                                  BOOLEAN restart);
using RtlNtStatusToDosErrorCall = ULONG(NTAPI*)(NTSTATUS status);

// The calls of ntdll that open, rename and ask relative to a folder's handle or through a handle. ntdll is in every
// process from its first instruction, so it is found, not loaded, and nothing of it is imported statically (the shipped
// files import only the DLLs that release/known-dlls.txt names).
struct NtCalls {
    NtCreateFileCall createFile = nullptr;
    NtFileInformationCall setInformation = nullptr;
    NtFileInformationCall queryInformation = nullptr;
    NtQueryDirectoryFileCall queryDirectory = nullptr;
    RtlNtStatusToDosErrorCall toDosError = nullptr;
};

const NtCalls& Nt() {
    static const NtCalls calls = [] {
        NtCalls found;
        found.createFile = LoadedExport<NtCreateFileCall>(L"ntdll.dll", "NtCreateFile");
        found.setInformation = LoadedExport<NtFileInformationCall>(L"ntdll.dll", "NtSetInformationFile");
        found.queryInformation = LoadedExport<NtFileInformationCall>(L"ntdll.dll", "NtQueryInformationFile");
        found.queryDirectory = LoadedExport<NtQueryDirectoryFileCall>(L"ntdll.dll", "NtQueryDirectoryFile");
        found.toDosError = LoadedExport<RtlNtStatusToDosErrorCall>(L"ntdll.dll", "RtlNtStatusToDosError");
        return found;
    }();
    return calls;
}

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

// The Win32 errors that name a fault of their own; any other is kOther.
struct ErrorFault {
    DWORD error;
    HeldFault fault;
};
constexpr ErrorFault kErrorFaults[] = {
    {ERROR_FILE_NOT_FOUND, HeldFault::kMissing},       {ERROR_PATH_NOT_FOUND, HeldFault::kMissing},
    {ERROR_FILE_EXISTS, HeldFault::kExists},           {ERROR_ALREADY_EXISTS, HeldFault::kExists},
    {ERROR_SHARING_VIOLATION, HeldFault::kInUse},      {ERROR_LOCK_VIOLATION, HeldFault::kInUse},
    {ERROR_USER_MAPPED_FILE, HeldFault::kInUse},       {ERROR_ACCESS_DENIED, HeldFault::kDenied},
    {ERROR_WRITE_PROTECT, HeldFault::kDenied},         {ERROR_DIRECTORY, HeldFault::kNotFolder},
    {ERROR_INVALID_NAME, HeldFault::kBadName},         {ERROR_BAD_PATHNAME, HeldFault::kBadName},
    {ERROR_FILENAME_EXCED_RANGE, HeldFault::kBadName}, {ERROR_CANT_ACCESS_FILE, HeldFault::kLink},
    {ERROR_CANT_RESOLVE_FILENAME, HeldFault::kLink}};

HeldFault FaultOfError(DWORD error) {
    for (const ErrorFault& known : kErrorFaults) {
        if (known.error == error)
            return known.fault;
    }
    return HeldFault::kOther;
}

// The statuses of the native calls that name a fault of their own; any other is read as its Win32 error.
struct StatusFault {
    NTSTATUS status;
    HeldFault fault;
};
constexpr StatusFault kStatusFaults[] = {{kStatusObjectNameCollision, HeldFault::kExists},
                                         {kStatusDeletePending, HeldFault::kInUse},
                                         {kStatusFileIsADirectory, HeldFault::kNotFile},
                                         {kStatusNotADirectory, HeldFault::kNotFolder}};

HeldFault FaultOfStatus(NTSTATUS status) {
    for (const StatusFault& known : kStatusFaults) {
        if (known.status == status)
            return known.fault;
    }
    return Nt().toDosError ? FaultOfError(Nt().toDosError(status)) : HeldFault::kOther;
}

// Fills *failure (when given) and answers false, so that a failed step reads "return report.Fail(...)".
class Report {
  public:
    Report(HeldFailure* failure, std::string path) : failure_(failure), path_(std::move(path)) {}
    bool Fail(HeldFault fault) const {
        if (failure_)
            *failure_ = HeldFailure{fault, path_};
        return false;
    }
    bool Succeed() const {
        if (failure_)
            *failure_ = HeldFailure();
        return true;
    }

  private:
    HeldFailure* failure_;
    std::string path_;
};

// folder + "\" + name, where a drive's root ("G:\") already ends in its separator.
std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && LastPathSeparator(folder.data(), folder.size()) == folder.size() - 1)
        return folder + name;
    return folder + "\\" + name;
}

// One name of a file or folder as the system is given it: a safe entry name (support/Gbk.h) without a separator,
// GBK, not too long, and not ending in a dot or a space (the NT calls would keep them, the Win32 ones drop them: the
// two would name different files).
bool WideName(const std::string& name, std::wstring* wide) {
    if (!IsSafeEntryName(name) || SplitPathComponents(name).size() != 1 || name.back() == '.' || name.back() == ' ' ||
        !WideFromGbk(name, wide) || wide->size() > kMaxNameLength)
        return false;
    return true;
}

// What keeps name from being opened below a folder: kOther when no folder is held, kBadName when name is not one
// name the system can be given (WideName); kNone with *wide its UTF-16 spelling.
HeldFault ChildName(bool held, const std::string& name, std::wstring* wide) {
    if (!held)
        return HeldFault::kOther;
    return WideName(name, wide) ? HeldFault::kNone : HeldFault::kBadName;
}

// Opens name, one name, relative to the folder handle: the system never resolves a path above it again. A link is
// opened as itself (where the system can: Wine follows the links of the machine it runs on), and the handle is
// synchronous. *out holds the handle, or nothing.
NTSTATUS OpenRelative(HANDLE folder,
                      const std::wstring& name,
                      ACCESS_MASK access,
                      ULONG share,
                      ULONG disposition,
                      ULONG options,
                      ScopedFileHandle* out) {
    out->Reset(INVALID_HANDLE_VALUE);
    if (!Nt().createFile)
        return kStatusNotImplemented;
    UNICODE_STRING text;
    text.Buffer = const_cast<PWSTR>(name.c_str());
    text.Length = USHORT(name.size() * sizeof(WCHAR));
    text.MaximumLength = text.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK io = {};
    HANDLE handle = nullptr;
    const NTSTATUS status =
        Nt().createFile(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                        disposition, options | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT, nullptr, 0);
    if (Succeeded(status))
        out->Reset(handle);
    return status;
}

// True when a and b, two open folders, are one folder. The volume's serial and the file index say so on one volume.
// A drive letter that stands for a folder of another drive (as a game at a drive root has) may give that folder
// another serial under one spelling than under the other; then the file index must match and the system must name
// both handles with one final path.
bool SameFolder(HANDLE a, const BY_HANDLE_FILE_INFORMATION& aInfo, HANDLE b, const BY_HANDLE_FILE_INFORMATION& bInfo) {
    if (SameObject(aInfo, bInfo))
        return true;
    if (aInfo.nFileIndexHigh != bInfo.nFileIndexHigh || aInfo.nFileIndexLow != bInfo.nFileIndexLow)
        return false;
    std::wstring aPath, bPath;
    return FinalPathOf(a, &aPath) && FinalPathOf(b, &bPath) && SameName(aPath, bPath);
}

// FILE_ID_BOTH_DIR_INFORMATION, one entry as NtQueryDirectoryFile lists it (FileIdBothDirectoryInformation).
struct ListedEntry {
    ULONG nextEntryOffset;
    ULONG fileIndex;
    LARGE_INTEGER creationTime;
    LARGE_INTEGER lastAccessTime;
    LARGE_INTEGER lastWriteTime;
    LARGE_INTEGER changeTime;
    LARGE_INTEGER endOfFile;
    LARGE_INTEGER allocationSize;
    ULONG fileAttributes;
    ULONG fileNameLength;
    ULONG eaSize;
    CCHAR shortNameLength;
    WCHAR shortName[12];
    LARGE_INTEGER fileId;
    WCHAR fileName[1];
};
constexpr FILE_INFORMATION_CLASS kFileIdBothDirectoryInformation = FILE_INFORMATION_CLASS(37);
constexpr FILE_INFORMATION_CLASS kFileInternalInformation = FILE_INFORMATION_CLASS(6);

// True when the folder lists name as a folder that is no link, with the file index of child: what the folder
// itself says of its entry, asked through a handle of its own (a listing keeps its place in the handle it runs on,
// and the held one may be in the middle of one).
bool ListsAsFolder(HANDLE folder, const std::wstring& name, uint64_t childIndex) {
    ScopedFileHandle listing;
    if (!Nt().queryDirectory ||
        !Succeeded(OpenRelative(folder, L"", FILE_LIST_DIRECTORY | SYNCHRONIZE, kHeldShare | FILE_SHARE_DELETE,
                                FILE_OPEN, FILE_DIRECTORY_FILE, &listing)))
        return false;
    alignas(LARGE_INTEGER) unsigned char buffer[sizeof(ListedEntry) + (kMaxNameLength + 1) * sizeof(WCHAR)];
    UNICODE_STRING mask;
    mask.Buffer = const_cast<PWSTR>(name.c_str());
    mask.Length = USHORT(name.size() * sizeof(WCHAR));
    mask.MaximumLength = mask.Length;
    IO_STATUS_BLOCK io = {};
    if (!Succeeded(Nt().queryDirectory(listing.get(), nullptr, nullptr, nullptr, &io, buffer, sizeof buffer,
                                       kFileIdBothDirectoryInformation, TRUE, &mask, TRUE)))
        return false;
    const ListedEntry* entry = reinterpret_cast<const ListedEntry*>(buffer);
    const std::wstring listed(entry->fileName, entry->fileNameLength / sizeof(WCHAR));
    return SameName(listed, name) && (entry->fileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(entry->fileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && uint64_t(entry->fileId.QuadPart) == childIndex;
}

// True when child, opened as name relative to the folder handle, is that folder's entry of that name: the last
// component of its final path is the name, and the folder above it in that path is the held folder itself. That is
// so when the system gives the held folder that very path now. The system may also spell one folder under two drives
// (a drive letter that stands for a folder of another drive; Wine picks either): when the two paths differ, the
// folder above is opened and compared with the held one. A folder that is itself such a drive's root has no name in
// its final path ("\\?\G:\"); for it the held folder's own listing decides.
HeldFault CheckIsEntry(HANDLE folder, HANDLE child, const std::wstring& name, uint64_t childIndex) {
    std::wstring final;
    if (!FinalPathOf(child, &final))
        return HeldFault::kOther;
    const size_t cut = final.find_last_of(L'\\');
    if (cut != std::wstring::npos && cut + 1 == final.size() && cut > 0 && final[cut - 1] == L':')
        return ListsAsFolder(folder, name, childIndex) ? HeldFault::kNone : HeldFault::kLink;
    if (cut == std::wstring::npos || !SameName(final.substr(cut + 1), name))
        return HeldFault::kLink;
    std::wstring above = final.substr(0, cut);
    if (!above.empty() && above.back() == L':')
        above += L'\\';  // "\\?\G:" alone is the volume, not its root folder
    // Spelt exactly alike, case included: a file system that tells names apart by case may hold another folder whose
    // name differs from the held one's only in case.
    std::wstring folderFinal;
    if (FinalPathOf(folder, &folderFinal) && folderFinal == above)
        return HeldFault::kNone;
    ScopedFileHandle aboveHandle(CreateFileW(above.c_str(), FILE_READ_ATTRIBUTES,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION aboveInfo, folderInfo;
    if (!aboveHandle.valid() || !GetFileInformationByHandle(aboveHandle.get(), &aboveInfo) ||
        !GetFileInformationByHandle(folder, &folderInfo))
        return HeldFault::kOther;
    return SameFolder(aboveHandle.get(), aboveInfo, folder, folderInfo) ? HeldFault::kNone : HeldFault::kLink;
}

// The checks every child passes before anything is done through it (see the header). *facts gets what the handle
// says of the child.
HeldFault CheckChild(HANDLE folder, HANDLE child, const std::wstring& name, bool wantFolder, HandleFacts* facts) {
    if (!FactsOf(child, facts))
        return HeldFault::kOther;
    if (facts->attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return HeldFault::kLink;
    const HeldFault entry = CheckIsEntry(folder, child, name, facts->index);
    if (entry != HeldFault::kNone)
        return entry;
    const bool isFolder = (facts->attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (isFolder != wantFolder)
        return wantFolder ? HeldFault::kNotFolder : HeldFault::kNotFile;
    if (!wantFolder && facts->links != 1)
        return HeldFault::kHardLink;
    return HeldFault::kNone;
}

// Opens the file name of the folder with access and checks it. A missing file is kMissing.
HeldFault OpenCheckedFile(HANDLE folder,
                          const std::wstring& name,
                          ACCESS_MASK access,
                          ULONG share,
                          ScopedFileHandle* file,
                          HandleFacts* facts) {
    const NTSTATUS status = OpenRelative(folder, name, access, share, FILE_OPEN, FILE_NON_DIRECTORY_FILE, file);
    if (!Succeeded(status))
        return FaultOfStatus(status);
    const HeldFault fault = CheckChild(folder, file->get(), name, false, facts);
    if (fault != HeldFault::kNone)
        file->Reset(INVALID_HANDLE_VALUE);
    return fault;
}

// The attributes of a file with the read-only one taken away (never zero, which would mean "leave them").
DWORD WritableAttributes(DWORD attributes) {
    const DWORD rest = attributes & ~DWORD(FILE_ATTRIBUTE_READONLY);
    return rest ? rest : FILE_ATTRIBUTE_NORMAL;
}

// Sets the attributes through the handle (FILE_WRITE_ATTRIBUTES); zero times leave the times as they are.
bool SetAttributes(HANDLE file, DWORD attributes) {
    FILE_BASIC_INFO basic = {};
    basic.FileAttributes = attributes;
    return SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic) != FALSE;
}

// Deletes the object the handle (DELETE access) is open on, whatever a name leads to now; it goes when the handle
// is closed.
bool DeleteThrough(HANDLE file) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

// Gives the file the handle is open on (DELETE access) the name in folder, in one step. The new name is given
// relative to the folder's handle, through ntdll: Wine's SetFileInformationByHandle reads FileRenameInfo's name as a
// DOS path and refuses a bare name with a root folder (ERROR_INVALID_PARAMETER).
NTSTATUS RenameInto(HANDLE file, HANDLE folder, const std::wstring& name, bool replace) {
    if (!Nt().setInformation)
        return kStatusNotImplemented;
    const size_t bytes = name.size() * sizeof(WCHAR);
    const size_t size = offsetof(FILE_RENAME_INFO, FileName) + bytes + sizeof(WCHAR);
    std::vector<uint64_t> storage((size + sizeof(uint64_t) - 1) / sizeof(uint64_t) + 1, 0);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(storage.data());
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    info->RootDirectory = folder;
    info->FileNameLength = DWORD(bytes);
    std::memcpy(info->FileName, name.data(), bytes);
    IO_STATUS_BLOCK io = {};
    return Nt().setInformation(file, &io, info, ULONG(storage.size() * sizeof(uint64_t)), FileRenameInformation);
}

// "qv" + 8 hex digits + ".tmp".
std::wstring ScratchName(uint32_t serial) {
    static const wchar_t kHex[] = L"0123456789abcdef";
    std::wstring name = L"qv";
    for (int shift = 28; shift >= 0; shift -= 4)
        name += kHex[(serial >> shift) & 0xF];
    return name + L".tmp";
}

// The names of PutFile's new files follow one another from a start of the process's own, so that two of its
// threads never try the same name and two processes seldom do.
uint32_t NextScratchSerial() {
    static const uint32_t start = (GetCurrentProcessId() * 0x9E3779B1u) ^ (GetTickCount() * 0x85EBCA6Bu);
    static std::atomic<uint32_t> counter{0};
    return start + counter.fetch_add(1) * 0x9E3779B1u;  // an odd step: every serial once in 2^32
}

// A new, empty file of our own in the folder, open to write and to delete; nobody else may open it meanwhile. Made
// as new (FILE_CREATE), so that no file or link of that name is ever opened instead.
HeldFault CreateScratch(HANDLE folder, ScopedFileHandle* file) {
    for (int attempt = 0; attempt < kScratchAttempts; ++attempt) {
        const NTSTATUS status =
            OpenRelative(folder, ScratchName(NextScratchSerial()), FILE_GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES,
                         0, FILE_CREATE, FILE_NON_DIRECTORY_FILE, file);
        if (Succeeded(status))
            return HeldFault::kNone;
        if (status != kStatusObjectNameCollision)
            return FaultOfStatus(status);
    }
    return HeldFault::kOther;
}

bool IsHexDigit(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

// "qv" + 1 to 8 hex digits + ".tmp", in any case: ours (ScratchName) and GetTempFileName's with our prefix.
bool IsLeftoverName(const std::wstring& name) {
    const size_t digits = name.size() < 6 ? 0 : name.size() - 6;
    if (digits < 1 || digits > 8 || !SameName(name.substr(0, 2), L"qv") || !SameName(name.substr(2 + digits), L".tmp"))
        return false;
    for (size_t at = 2; at < 2 + digits; ++at) {
        if (!IsHexDigit(name[at]))
            return false;
    }
    return true;
}

// The files of the folder whose names IsLeftoverName takes, listed through its handle.
bool ListLeftovers(HANDLE folder, std::vector<std::wstring>* names) {
    alignas(8) unsigned char buffer[16384];
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    for (;;) {
        if (!GetFileInformationByHandleEx(folder, kind, buffer, sizeof buffer))
            return GetLastError() == ERROR_NO_MORE_FILES;
        kind = FileIdBothDirectoryInfo;
        for (size_t offset = 0;;) {
            const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer + offset);
            const std::wstring name(info->FileName, info->FileNameLength / sizeof(WCHAR));
            if (!(info->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsLeftoverName(name))
                names->push_back(name);
            if (info->NextEntryOffset == 0)
                break;
            offset += info->NextEntryOffset;
        }
    }
}

// Deletes the checked file name of the folder; a read-only one loses the attribute first and gets it back when the
// deletion fails.
HeldFault RemoveChecked(HANDLE folder, const std::wstring& name) {
    ScopedFileHandle file;
    HandleFacts facts;
    const HeldFault fault =
        OpenCheckedFile(folder, name, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kHeldShare, &file, &facts);
    if (fault == HeldFault::kMissing)
        return HeldFault::kNone;
    if (fault != HeldFault::kNone)
        return fault;
    const bool readOnly = (facts.attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly && !SetAttributes(file.get(), WritableAttributes(facts.attributes)))
        return FaultOfError(GetLastError());
    if (DeleteThrough(file.get()))
        return HeldFault::kNone;
    const HeldFault cause = FaultOfError(GetLastError());
    if (readOnly)
        SetAttributes(file.get(), facts.attributes);
    return cause;
}

// Gives a read-only file that PutFile could not replace its attributes back, if the name still leads to that file.
// Both are entries of one held folder, so the file index alone tells them apart.
void RestoreAttributes(HANDLE folder, const std::wstring& name, const HandleFacts& before) {
    ScopedFileHandle file;
    HandleFacts now;
    if (OpenCheckedFile(folder, name, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kHeldShare | FILE_SHARE_DELETE,
                        &file, &now) == HeldFault::kNone &&
        now.index == before.index)
        SetAttributes(file.get(), before.attributes);
}

// What a failed rename over a checked file means. The file was opened with delete access a moment before, so a
// refusal now is a program that runs it, maps it or has opened it since.
HeldFault FaultOfRename(NTSTATUS status, bool replacing) {
    const HeldFault fault = FaultOfStatus(status);
    return replacing && fault == HeldFault::kDenied ? HeldFault::kInUse : fault;
}

}  // namespace

bool FinalPathOf(HANDLE handle, std::wstring* path) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length =
            GetFinalPathNameByHandleW(handle, &buffer[0], DWORD(buffer.size()), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0)
            return false;
        if (length < buffer.size()) {
            buffer.resize(length);
            *path = buffer;
            return true;
        }
        buffer.assign(length + 1, L'\0');
    }
    return false;
}

bool FactsOf(HANDLE handle, HandleFacts* facts) {
    FILE_BASIC_INFO basic;
    FILE_STANDARD_INFO standard;
    LARGE_INTEGER index;  // FILE_INTERNAL_INFORMATION
    IO_STATUS_BLOCK io = {};
    if (!Nt().queryInformation || !GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) ||
        !GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard) ||
        !Succeeded(Nt().queryInformation(handle, &io, &index, sizeof index, kFileInternalInformation)))
        return false;
    facts->attributes = basic.FileAttributes;
    facts->size = uint64_t(standard.EndOfFile.QuadPart);
    facts->links = standard.NumberOfLinks;
    facts->index = uint64_t(index.QuadPart);
    return true;
}

bool SameObject(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.data(), int(a.size()), b.data(), int(b.size()), TRUE) == CSTR_EQUAL;
}

bool WriteWholeBuffer(HANDLE file, const void* bytes, size_t size) {
    const char* next = static_cast<const char*>(bytes);
    while (size > 0) {
        const DWORD chunk = size > kWriteChunk ? kWriteChunk : DWORD(size);
        DWORD written = 0;
        if (!WriteFile(file, next, chunk, &written, nullptr) || written == 0)
            return false;
        next += written;
        size -= written;
    }
    return true;
}

HeldFolder::~HeldFolder() {
    Release();
}

HeldFolder::HeldFolder(HeldFolder&& other) : handle_(other.handle_), path_(std::move(other.path_)) {
    other.handle_ = INVALID_HANDLE_VALUE;
    other.path_.clear();
}

HeldFolder& HeldFolder::operator=(HeldFolder&& other) {
    if (this != &other) {
        Release();
        handle_ = other.handle_;
        path_ = std::move(other.path_);
        other.handle_ = INVALID_HANDLE_VALUE;
        other.path_.clear();
    }
    return *this;
}

void HeldFolder::Release() {
    if (handle_ != INVALID_HANDLE_VALUE)
        CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    path_.clear();
}

bool HeldFolder::Open(const std::string& path, HeldFailure* failure) {
    Release();
    const Report report(failure, path);
    // "X:", then nothing or a separator and a relative path that stays below the drive's root (support/Gbk.h).
    std::string folder = path;
    UseBackslashes(folder);
    while (folder.size() > 2 && LastPathSeparator(folder.data(), folder.size()) == folder.size() - 1)
        folder.pop_back();
    const bool drive = folder.size() >= 2 && folder[1] == ':' &&
                       ((folder[0] >= 'A' && folder[0] <= 'Z') || (folder[0] >= 'a' && folder[0] <= 'z'));
    if (!drive || (folder.size() > 2 && (folder[2] != '\\' || !IsSafeEntryName(folder.substr(3)))))
        return report.Fail(HeldFault::kBadName);
    if (folder.size() == 2)
        folder += '\\';  // "G:" alone would be the drive's current folder
    std::wstring wide;
    if (!WideFromGbk(folder, &wide))
        return report.Fail(HeldFault::kBadName);
    handle_ = CreateFileW(wide.c_str(), kFolderAccess, kHeldShare, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                          nullptr);
    if (!held())
        return report.Fail(FaultOfError(GetLastError()));
    HandleFacts facts;
    const bool known = FactsOf(handle_, &facts);
    if (!known || !(facts.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        Release();
        return report.Fail(known ? HeldFault::kNotFolder : HeldFault::kOther);
    }
    path_ = folder;
    return report.Succeed();
}

bool HeldFolder::OpenFolder(const std::string& name, bool create, HeldFolder* child, HeldFailure* failure) const {
    HeldFolder opened;
    opened.path_ = JoinPath(path_, name);
    const Report report(failure, opened.path_);
    std::wstring wide;
    const HeldFault named = ChildName(held(), name, &wide);
    if (named != HeldFault::kNone)
        return report.Fail(named);
    ScopedFileHandle folder;
    const NTSTATUS status = OpenRelative(handle_, wide, kFolderAccess, kHeldShare, create ? FILE_OPEN_IF : FILE_OPEN,
                                         FILE_DIRECTORY_FILE, &folder);
    if (!Succeeded(status))
        return report.Fail(FaultOfStatus(status));
    opened.handle_ = folder.Release();
    HandleFacts facts;
    const HeldFault fault = CheckChild(handle_, opened.handle_, wide, true, &facts);
    if (fault != HeldFault::kNone)
        return report.Fail(fault);  // opened closes the refused handle
    *child = std::move(opened);
    return report.Succeed();
}

bool HeldFolder::OpenFolders(const std::string& relative, bool create, HeldFolder* last, HeldFailure* failure) const {
    if (!IsSafeEntryName(relative))
        return Report(failure, JoinPath(path_, relative)).Fail(HeldFault::kBadName);
    HeldFolder current;
    const HeldFolder* above = this;
    for (const std::string& name : SplitPathComponents(relative)) {
        HeldFolder next;
        if (!above->OpenFolder(name, create, &next, failure))
            return false;
        current = std::move(next);
        above = &current;
    }
    *last = std::move(current);
    return true;
}

bool HeldFolder::PutFile(const std::string& name,
                         const void* bytes,
                         size_t size,
                         PutMode mode,
                         HeldFailure* failure,
                         FileBytesWriter writer) const {
    const Report report(failure, JoinPath(path_, name));
    std::wstring wide;
    if (!held() || (size > 0 && !bytes))
        return report.Fail(HeldFault::kOther);
    if (!WideName(name, &wide))
        return report.Fail(HeldFault::kBadName);

    // The file already there: checked, and held with delete access and without delete sharing, so that it can be
    // neither renamed nor replaced by another program until we let it go.
    ScopedFileHandle existing;
    HandleFacts before;
    const HeldFault found = OpenCheckedFile(handle_, wide, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                            kHeldShare, &existing, &before);
    const bool replacing = found == HeldFault::kNone;
    if (found != HeldFault::kNone && found != HeldFault::kMissing)
        return report.Fail(found);
    if (replacing && mode == PutMode::kNewOnly)
        return report.Fail(HeldFault::kExists);

    ScopedFileHandle fresh;
    const HeldFault made = CreateScratch(handle_, &fresh);
    if (made != HeldFault::kNone)
        return report.Fail(made);
    if (!(writer ? writer : WriteWholeBuffer)(fresh.get(), bytes, size) || !FlushFileBuffers(fresh.get())) {
        DeleteThrough(fresh.get());
        return report.Fail(HeldFault::kOther);
    }
    // A read-only file cannot be replaced: the attribute goes through the checked handle, and comes back when the
    // rename fails. Both systems refuse to replace a file that is still open, ours included, so it is let go now.
    const bool readOnly = replacing && (before.attributes & FILE_ATTRIBUTE_READONLY);
    if (readOnly && !SetAttributes(existing.get(), WritableAttributes(before.attributes))) {
        const HeldFault fault = FaultOfError(GetLastError());
        DeleteThrough(fresh.get());
        return report.Fail(fault);
    }
    existing.Close();
    // Without a file there to replace, a name that appeared meanwhile stays (kExists), checked or not.
    const NTSTATUS status = RenameInto(fresh.get(), handle_, wide, replacing);
    if (Succeeded(status))
        return report.Succeed();
    DeleteThrough(fresh.get());
    if (readOnly)
        RestoreAttributes(handle_, wide, before);
    return report.Fail(FaultOfRename(status, replacing));
}

bool HeldFolder::RemoveFile(const std::string& name, HeldFailure* failure) const {
    const Report report(failure, JoinPath(path_, name));
    std::wstring wide;
    const HeldFault named = ChildName(held(), name, &wide);
    if (named != HeldFault::kNone)
        return report.Fail(named);
    const HeldFault fault = RemoveChecked(handle_, wide);
    return fault == HeldFault::kNone ? report.Succeed() : report.Fail(fault);
}

bool HeldFolder::RemoveEmptyFolder(const std::string& name, HeldFailure* failure) const {
    const Report report(failure, JoinPath(path_, name));
    std::wstring wide;
    const HeldFault named = ChildName(held(), name, &wide);
    if (named != HeldFault::kNone)
        return report.Fail(named);
    ScopedFileHandle folder;
    const NTSTATUS status =
        OpenRelative(handle_, wide, kFolderAccess | DELETE, kHeldShare, FILE_OPEN, FILE_DIRECTORY_FILE, &folder);
    if (!Succeeded(status)) {
        const HeldFault fault = FaultOfStatus(status);
        return fault == HeldFault::kMissing ? report.Succeed() : report.Fail(fault);
    }
    HandleFacts facts;
    const HeldFault fault = CheckChild(handle_, folder.get(), wide, true, &facts);
    if (fault != HeldFault::kNone)
        return report.Fail(fault);
    // The system refuses the deletion of a folder that is not empty (ERROR_DIR_NOT_EMPTY).
    return DeleteThrough(folder.get()) ? report.Succeed() : report.Fail(FaultOfError(GetLastError()));
}

bool HeldFolder::OpenFile(const std::string& name,
                          ACCESS_MASK access,
                          ULONG share,
                          ScopedFileHandle* file,
                          HeldFailure* failure) const {
    const Report report(failure, JoinPath(path_, name));
    std::wstring wide;
    file->Reset(INVALID_HANDLE_VALUE);
    const HeldFault named = ChildName(held(), name, &wide);
    if (named != HeldFault::kNone)
        return report.Fail(named);
    HandleFacts facts;
    const HeldFault fault = OpenCheckedFile(handle_, wide, access | FILE_READ_ATTRIBUTES, share, file, &facts);
    return fault == HeldFault::kNone ? report.Succeed() : report.Fail(fault);
}

bool HandleHoldsExactly(HANDLE file, const void* bytes, size_t size) {
    LARGE_INTEGER length = {};
    if (!GetFileSizeEx(file, &length) || uint64_t(length.QuadPart) != uint64_t(size))
        return false;
    const unsigned char* expected = static_cast<const unsigned char*>(bytes);
    std::vector<unsigned char> piece(size < kWriteChunk ? size : kWriteChunk);
    for (size_t done = 0; done < size;) {
        const DWORD want = DWORD(size - done < piece.size() ? size - done : piece.size());
        DWORD got = 0;
        if (!ReadFile(file, piece.data(), want, &got, nullptr) || got != want ||
            std::memcmp(piece.data(), expected + done, want) != 0)
            return false;
        done += want;
    }
    return true;
}

bool HeldFolder::ReadFileBytes(const std::string& name, std::string* bytes, HeldFailure* failure) const {
    const Report report(failure, JoinPath(path_, name));
    std::wstring wide;
    bytes->clear();
    const HeldFault named = ChildName(held(), name, &wide);
    if (named != HeldFault::kNone)
        return report.Fail(named);
    // Nobody writes the file while it is read.
    ScopedFileHandle file;
    HandleFacts facts;
    const HeldFault fault = OpenCheckedFile(handle_, wide, FILE_GENERIC_READ, FILE_SHARE_READ, &file, &facts);
    if (fault != HeldFault::kNone)
        return report.Fail(fault);
    if (facts.size > bytes->max_size())
        return report.Fail(HeldFault::kOther);
    bytes->resize(size_t(facts.size));
    for (size_t done = 0; done < bytes->size();) {
        const size_t rest = bytes->size() - done;
        DWORD read = 0;
        if (!ReadFile(file.get(), &(*bytes)[done], rest > kWriteChunk ? kWriteChunk : DWORD(rest), &read, nullptr) ||
            read == 0) {
            bytes->clear();
            return report.Fail(HeldFault::kOther);
        }
        done += read;
    }
    return report.Succeed();
}

bool HeldFolder::RemoveLeftovers(HeldFailure* failure) const {
    const Report report(failure, path_);
    std::vector<std::wstring> names;
    if (!held() || !ListLeftovers(handle_, &names))
        return report.Fail(HeldFault::kOther);
    for (const std::wstring& name : names) {
        const HeldFault fault = RemoveChecked(handle_, name);
        if (fault != HeldFault::kNone) {
            std::string gbk;
            GbkFromWide(name, &gbk);  // ASCII: it converts
            return Report(failure, JoinPath(path_, gbk)).Fail(fault);
        }
    }
    return report.Succeed();
}

bool PutFileBelow(const HeldFolder& root,
                  const std::string& relative,
                  const void* bytes,
                  size_t size,
                  PutMode mode,
                  HeldFailure* failure,
                  FileBytesWriter writer) {
    if (!IsSafeEntryName(relative))
        return Report(failure, JoinPath(root.path(), relative)).Fail(HeldFault::kBadName);
    const size_t cut = LastPathSeparator(relative.data(), relative.size());
    if (cut == kNoSeparator)
        return root.PutFile(relative, bytes, size, mode, failure, writer);
    HeldFolder folder;
    return root.OpenFolders(relative.substr(0, cut), true, &folder, failure) &&
           folder.PutFile(relative.substr(cut + 1), bytes, size, mode, failure, writer);
}
