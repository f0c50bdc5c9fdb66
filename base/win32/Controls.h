#pragma once
// What the Windows views share: child controls at pixel rectangles, and one font for a
// window's controls at which every caption can be read in full.
#include <string>

#include <windows.h>

namespace np {

// A child control of `parent` with `id`, its text in the ANSI code page.
HWND createControl(HWND parent, const wchar_t* className, const std::string& text, DWORD style, DWORD exStyle,
                   const RECT& rect, int id);

// A rectangle in the coordinates of `window`'s parent (its owner's client area for a
// child window; the screen for a top-level window).
RECT rectInParent(HWND window);
// The size of a rectangle.
inline int widthOf(const RECT& r) { return r.right - r.left; }
inline int heightOf(const RECT& r) { return r.bottom - r.top; }

// Room a caption needs besides its text: a push button's frame and margins, a frame's
// indentation of its title.
inline constexpr int kButtonCaptionRoom = 8;
inline constexpr int kFrameTitleRoom = 16;

// The width that `window`'s caption may take, or -1 for controls without a caption
// (text boxes, lines, the status bar).
int captionRoom(HWND control);
// The width of `control`'s caption drawn in `font`.
int captionWidth(HWND control, HFONT font);

// An owned font handle.
class Font {
 public:
  Font() = default;
  explicit Font(HFONT font) : font_(font) {}
  ~Font() { reset(); }
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;
  Font(Font&& other) noexcept : font_(other.font_) { other.font_ = nullptr; }
  Font& operator=(Font&& other) noexcept {
    if (this != &other) {
      reset();
      font_ = other.font_;
      other.font_ = nullptr;
    }
    return *this;
  }
  HFONT get() const { return font_; }
  void reset() {
    if (font_) DeleteObject(font_);
    font_ = nullptr;
  }

 private:
  HFONT font_ = nullptr;
};

// The controls keep their design sizes whatever the system's font: the font of the
// system's message boxes, made smaller one pixel at a time (down to 6 points) until
// every caption of `window`'s child controls fits, is given to all of them.
Font fitCaptions(HWND window);

}  // namespace np
