#pragma once

#include <windows.h>

// Small owners for GDI objects and device contexts, so that every way out of a function releases what it took.

// A GDI handle of our own, freed with Free at the end of the scope unless handed on with release().
template <typename Handle, auto Free>
class GdiOwner {
  public:
    explicit GdiOwner(Handle handle) : handle_(handle) {}
    GdiOwner(const GdiOwner&) = delete;
    GdiOwner& operator=(const GdiOwner&) = delete;
    ~GdiOwner() {
        if (handle_)
            Free(handle_);
    }
    Handle get() const { return handle_; }
    Handle release() {
        Handle handle = handle_;
        handle_ = nullptr;
        return handle;
    }

  private:
    Handle handle_;
};

// A memory device context of our own (from CreateCompatibleDC).
using OwnedDc = GdiOwner<HDC, DeleteDC>;

// A GDI object (bitmap, region, brush, font) of our own.
template <typename Handle>
using OwnedGdiObject = GdiOwner<Handle, DeleteObject>;

// Selects an object into a device context and puts the previous one back at the end of the scope.
class ScopedSelectObject {
  public:
    ScopedSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(object ? SelectObject(dc, object) : nullptr) {}
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;
    ~ScopedSelectObject() {
        if (previous_ && previous_ != HGDI_ERROR)
            SelectObject(dc_, previous_);
    }
    // False when the object could not be selected (for example a bitmap already selected elsewhere).
    bool ok() const { return previous_ && previous_ != HGDI_ERROR; }

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// The window DC of a window (the whole window, frame included), released at the end of the scope.
class ScopedWindowDc {
  public:
    explicit ScopedWindowDc(HWND window) : window_(window), dc_(GetWindowDC(window)) {}
    ScopedWindowDc(const ScopedWindowDc&) = delete;
    ScopedWindowDc& operator=(const ScopedWindowDc&) = delete;
    ~ScopedWindowDc() {
        if (dc_)
            ReleaseDC(window_, dc_);
    }
    HDC get() const { return dc_; }

  private:
    HWND window_;
    HDC dc_;
};
