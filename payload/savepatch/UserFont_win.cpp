#include "payload/savepatch/UserFont_win.h"

#include <windows.h>
#include <wincodec.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/Gbk.h"
#include "support/GdiHandles.h"
#include "payload/savepatch/Tga.h"
#include "payload/savepatch/UserFont.h"
#include "support/ComObjects_win.h"
#include "support/SystemText_win.h"
#include "support/Win32Handles.h"

namespace {

const wchar_t kTemporarySuffix[] = L".partial";

bool IsAbsolute(const char* path) {
    return path[0] == '\\' || path[0] == '/' || (path[0] != 0 && path[1] == ':');
}

// The path with every "/" turned into "\" (a trail byte equal to "/" is left alone).
std::string Native(const std::string& path) {
    std::string native(path);
    UseBackslashes(native);
    return native;
}

// The GBK path resolved and converted for the system; false when it is not GBK.
bool Resolve(const std::string& packFolder, const char* path, std::wstring* widePath) {
    const std::string native = Native(IsAbsolute(path) ? std::string(path) : packFolder + "\\" + path);
    return WideFromGbk(native, widePath) && !widePath->empty();
}

// The source picture as top-down BGRA, when it decodes and has exactly the expected size.
bool ReadSource(const std::wstring& path, int width, int height, std::vector<uint8_t>* bgra) {
    ScopedCom com;
    if (!com.usable())
        return false;
    ComPtr<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(factory.Out()))))
        return false;
    ComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                                  decoder.Out())))
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

// Creates every missing folder above path (the last component is the file). In UTF-16 every "\\" is a separator.
void MakeParentFolders(const std::wstring& path) {
    for (size_t at = 1; at < path.size(); ++at) {
        if (path[at] == L'\\' && path[at - 1] != L':' && path[at - 1] != L'\\')
            CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    }
}

// Writes the file completely under a temporary name beside the target, then puts it in the target's place.
bool WriteWhole(const std::wstring& target, const std::vector<uint8_t>& bytes) {
    MakeParentFolders(target);
    const std::wstring temporary = target + kTemporarySuffix;
    bool complete;
    {
        ScopedFileHandle file(
            CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid())
            return false;
        DWORD written = 0;
        complete = WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                   written == bytes.size() && FlushFileBuffers(file.get());
    }
    if (complete && MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileW(temporary.c_str());
    return false;
}

}  // namespace

bool RenderUserFont(const std::string& packFolder, const UserFontArguments& request) {
    UserFontCell cells[kUserFontCells];
    const UserFontGrid grid = {request.width, request.height, request.glyphSize, request.firstColumn, request.firstRow};
    if (!LayOutUserFont(grid, request.text, cells))
        return false;
    if (!request.targetPath || !*request.targetPath || !request.sourcePath || !*request.sourcePath)
        return false;
    if (packFolder.empty() && (!IsAbsolute(request.targetPath) || !IsAbsolute(request.sourcePath)))
        return false;
    std::wstring source;
    std::wstring target;
    std::wstring face;
    if (!Resolve(packFolder, request.sourcePath, &source) || !Resolve(packFolder, request.targetPath, &target) ||
        !WideFromGbk(request.faceName, &face))
        return false;
    std::vector<uint8_t> picture;
    if (!ReadSource(source, request.width, request.height, &picture))
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
    return WriteWhole(target, file);
}
