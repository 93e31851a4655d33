// A font object that owns its GDI font: the font is deleted with the object
// (or when another one takes its place).
#pragma once

#include <windows.h>

namespace vx {

class CFont {
 public:
  CFont() = default;
  ~CFont() { DeleteObject(); }
  CFont(const CFont&) = delete;
  CFont& operator=(const CFont&) = delete;

  // Takes ownership of `font`, deleting the font held before.
  void Attach(HFONT font) {
    DeleteObject();
    m_hObject = font;
  }
  void DeleteObject() {
    if (m_hObject != nullptr) ::DeleteObject(m_hObject);
    m_hObject = nullptr;
  }
  HFONT GetSafeHandle() const { return m_hObject; }
  operator HFONT() const { return m_hObject; }

 private:
  HFONT m_hObject = nullptr;
};

}  // namespace vx
