#include "payload/savepatch/UserFont_win.h"

#include <windows.h>
#include <wincodec.h>

#include <cstring>
#include <string>
#include <vector>

#include "package/PackNames.h"
#include "payload/savepatch/Tga.h"
#include "payload/savepatch/UserFont.h"
#include "support/ComObjects_win.h"
#include "support/Gbk.h"
#include "support/GdiHandles_win.h"
#include "support/HeldFolder_win.h"
#include "support/SystemText_win.h"

namespace {

// A source picture larger than this is none the library takes (the game's are a few megabytes at most); WIC reads it
// from memory, with a 32-bit size.
constexpr size_t kMaxSourceFile = size_t(256) << 20;

// Where a path of the request lies: the folder that is held as it is named, and the path below it, whose every folder
// and the file itself are opened relative to the one above and checked (support/HeldFolder_win.h). A relative path
// starts at the library's folder (the player's game, wherever a junction put it) and goes through the pack folder;
// an absolute one on a drive ("C:\...") starts at the drive's root. Other absolute forms ("\\server\...", "\...")
// and paths that are not GBK are refused.
bool PlaceOf(const std::string& libraryFolder, const char* path, HeldFolder* start, std::string* below) {
    std::string native(path);
    UseBackslashes(native);
    if (!IsRootedPath(path)) {
        *below = std::string(kPackFolder) + "\\" + native;
        return !libraryFolder.empty() && start->Open(libraryFolder);
    }
    if (native.size() < 4 || native[1] != ':' || native[2] != '\\')
        return false;
    *below = native.substr(3);
    return start->Open(native.substr(0, 2));
}

// The bytes of the file at path, read through the handle it was checked on.
bool ReadChecked(const std::string& libraryFolder, const char* path, std::string* bytes) {
    HeldFolder start;
    std::string below;
    if (!PlaceOf(libraryFolder, path, &start, &below))
        return false;
    const size_t cut = LastPathSeparator(below.data(), below.size());
    if (cut == kNoSeparator)
        return start.ReadFileBytes(below, bytes);
    HeldFolder folder;
    return start.OpenFolders(below.substr(0, cut), false, &folder) &&
           folder.ReadFileBytes(below.substr(cut + 1), bytes);
}

// Puts the whole file at path in one step: the missing folders on its way are made, and nothing is written through
// a link or into a file with another name.
bool PutChecked(const std::string& libraryFolder, const char* path, const std::vector<uint8_t>& bytes) {
    HeldFolder start;
    std::string below;
    return PlaceOf(libraryFolder, path, &start, &below) &&
           PutFileBelow(start, below, bytes.data(), bytes.size(), PutMode::kReplace);
}

// The source picture (the bytes of its file) as top-down BGRA, when it decodes and has exactly the expected size.
bool DecodeSource(const std::string& file, int width, int height, std::vector<uint8_t>* bgra) {
    if (file.empty() || file.size() > kMaxSourceFile)
        return false;
    ScopedCom com;
    if (!com.usable())
        return false;
    ComPtr<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(factory.Out()))))
        return false;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateStream(stream.Out())) ||
        FAILED(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<char*>(file.data())),
                                            static_cast<DWORD>(file.size()))) ||
        FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.Out())))
        return false;
    ComPtr<IWICBitmapFrameDecode> frame;
    if (FAILED(decoder->GetFrame(0, frame.Out())))
        return false;
    UINT frameWidth = 0;
    UINT frameHeight = 0;
    if (FAILED(frame->GetSize(&frameWidth, &frameHeight)) || frameWidth != static_cast<UINT>(width) ||
        frameHeight != static_cast<UINT>(height))
        return false;
    // The factory's converter rather than WICConvertBitmapSource: the library imports nothing from windowscodecs,
    // which is no KnownDLL; COM loads it from the system folder, where its registration points.
    ComPtr<IWICFormatConverter> converted;
    if (FAILED(factory->CreateFormatConverter(converted.Out())) ||
        FAILED(converted->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        return false;
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    if (FAILED(converted->CopyPixels(nullptr, static_cast<UINT>(width) * 4, static_cast<UINT>(pixels.size()),
                                     pixels.data())))
        return false;
    bgra->swap(pixels);
    return true;
}

// Draws glyphs one at a time into a square 32-bit surface: white on black, grey-scale anti-aliased, so that any
// colour channel is the coverage.
class GlyphPainter {
  public:
    GlyphPainter(const std::wstring& faceName, int size)
        : size_(size),
          dc_(CreateCompatibleDC(nullptr)),
          bitmap_(CreateSurface(size, &bits_)),
          font_(CreateGlyphFont(faceName, size)),
          selectBitmap_(dc_.get(), bitmap_.get()),
          selectFont_(dc_.get(), font_.get()) {}

    bool ready() const { return bits_ && selectBitmap_.ok() && selectFont_.ok(); }

    // The coverage of one GBK character, centred in the cell; false when GDI fails.
    bool Paint(uint8_t lead, uint8_t trail, std::vector<uint8_t>* coverage) {
        const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        std::wstring wide;
        if (!WideFromGbk(bytes, sizeof bytes, &wide) || wide.size() != 1)
            return false;
        const wchar_t character = wide[0];
        const size_t count = static_cast<size_t>(size_) * size_;
        std::memset(bits_, 0, count * 4);
        SIZE extent = {};
        if (!GetTextExtentPoint32W(dc_.get(), &character, 1, &extent))
            return false;
        SetTextColor(dc_.get(), RGB(255, 255, 255));
        SetBkMode(dc_.get(), TRANSPARENT);
        SetTextAlign(dc_.get(), TA_LEFT | TA_TOP | TA_NOUPDATECP);
        if (!TextOutW(dc_.get(), (size_ - extent.cx) / 2, (size_ - extent.cy) / 2, &character, 1))
            return false;
        GdiFlush();
        coverage->resize(count);
        const uint8_t* pixel = static_cast<const uint8_t*>(bits_);
        for (size_t i = 0; i < count; ++i, pixel += 4) {
            uint8_t ink = pixel[0];
            if (pixel[1] > ink)
                ink = pixel[1];
            if (pixel[2] > ink)
                ink = pixel[2];
            (*coverage)[i] = ink;
        }
        return true;
    }

  private:
    static HBITMAP CreateSurface(int size, void** bits) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = size;
        info.bmiHeader.biHeight = -size;  // top row first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        *bits = nullptr;
        return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
    }

    // The glyph size is the em height; the face name is copied bounded.
    static HFONT CreateGlyphFont(const std::wstring& faceName, int size) {
        LOGFONTW font = {};
        font.lfHeight = -size;
        font.lfWeight = FW_NORMAL;
        font.lfCharSet = GB2312_CHARSET;
        font.lfOutPrecision = OUT_TT_PRECIS;
        font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
        font.lfQuality = ANTIALIASED_QUALITY;
        font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
        faceName.copy(font.lfFaceName, LF_FACESIZE - 1);
        return CreateFontIndirectW(&font);
    }

    int size_;
    void* bits_ = nullptr;
    OwnedDc dc_;
    OwnedGdiObject<HBITMAP> bitmap_;
    OwnedGdiObject<HFONT> font_;
    ScopedSelectObject selectBitmap_;
    ScopedSelectObject selectFont_;
};

}  // namespace

bool RenderUserFont(const std::string& libraryFolder, const UserFontArguments& request) {
    UserFontCell cells[kUserFontCells];
    const UserFontGrid grid = {request.width, request.height, request.glyphSize, request.firstColumn, request.firstRow};
    if (!LayOutUserFont(grid, request.text, cells))
        return false;
    if (!request.targetPath || !*request.targetPath || !request.sourcePath || !*request.sourcePath)
        return false;
    std::wstring face;
    std::wstring unused;
    if (!WideFromGbk(request.faceName, &face) || !WideFromGbk(request.sourcePath, &unused) ||
        !WideFromGbk(request.targetPath, &unused))
        return false;  // before anything is read or made
    std::string source;
    std::vector<uint8_t> picture;
    if (!ReadChecked(libraryFolder, request.sourcePath, &source) ||
        !DecodeSource(source, request.width, request.height, &picture))
        return false;

    GlyphPainter painter(face, request.glyphSize);
    if (!painter.ready())
        return false;
    std::vector<uint8_t> coverage;
    for (const UserFontCell& cell : cells) {
        if (cell.filler) {
            PlaceGlyph(picture, request.width, request.glyphSize, cell, nullptr);
            continue;
        }
        if (!painter.Paint(cell.lead, cell.trail, &coverage))
            return false;
        PlaceGlyph(picture, request.width, request.glyphSize, cell, coverage.data());
    }

    std::vector<uint8_t> file;
    if (!EncodeTga32(request.width, request.height, picture, &file))
        return false;
    return PutChecked(libraryFolder, request.targetPath, file);
}
