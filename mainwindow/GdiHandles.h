#pragma once

#include <windows.h>

// Small owners for GDI objects and device contexts, so that every way out of a function releases what it took.

// A memory device context of our own, deleted at the end of the scope.
class OwnedDc {
  public:
    explicit OwnedDc(HDC dc) : dc_(dc) {}
    OwnedDc(const OwnedDc&) = delete;
    OwnedDc& operator=(const OwnedDc&) = delete;
    ~OwnedDc() {
        if (dc_)
            DeleteDC(dc_);
    }
    HDC get() const { return dc_; }

  private:
    HDC dc_;
};

// A GDI object (bitmap, region, brush) of our own, deleted at the end of the scope unless handed on with release().
template <typename Handle>
class OwnedGdiObject {
  public:
    explicit OwnedGdiObject(Handle handle) : handle_(handle) {}
    OwnedGdiObject(const OwnedGdiObject&) = delete;
    OwnedGdiObject& operator=(const OwnedGdiObject&) = delete;
    ~OwnedGdiObject() {
        if (handle_)
            DeleteObject(handle_);
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
