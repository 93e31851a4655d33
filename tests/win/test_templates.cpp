// The compiled resources, read back from this program's own image: the
// dialog templates control by control, the version information, the icon and
// the manifest. The live windows are checked elsewhere; this pins the bytes
// that the windows are made from.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "res/links.h"
#include "res/resource.h"
#include "win/harness/main_layout.h"

namespace {

// ---------------------------------------------------------------------------
// Reading resources

std::pair<const BYTE*, DWORD> Resource(int id, LPCSTR type) {
  HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(id), type);
  if (!found) return {nullptr, 0};
  HGLOBAL loaded = LoadResource(nullptr, found);
  return {static_cast<const BYTE*>(LockResource(loaded)), SizeofResource(nullptr, found)};
}

// UTF-16 text of a template as the program's users get it: code page 932.
std::string ToCp932(const std::wstring& text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(932, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(932, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

// Sequential reader of a dialog template; offsets count from its start, which
// is where DWORD alignment is measured.
class TemplateReader {
 public:
  TemplateReader(const BYTE* data, DWORD size) : data_(data), size_(size) {}

  template <typename T>
  T Read() {
    T value{};
    if (pos_ + sizeof(T) > size_) {
      overrun_ = true;
      return value;
    }
    std::memcpy(&value, data_ + pos_, sizeof(T));
    pos_ += sizeof(T);
    return value;
  }
  std::wstring ReadString() {
    std::wstring s;
    for (WCHAR c; !overrun_ && (c = Read<WCHAR>()) != 0;) s += c;
    return s;
  }
  // A string or ordinal field. An ordinal comes back as "#<number>".
  std::string ReadNameOrOrdinal() {
    WORD first = Read<WORD>();
    if (first == 0) return {};
    if (first == 0xFFFF) return "#" + std::to_string(Read<WORD>());
    pos_ -= sizeof(WORD);
    return ToCp932(ReadString());
  }
  void AlignDword() { pos_ = (pos_ + 3) & ~size_t{3}; }
  void Skip(size_t n) { pos_ += n; }
  bool overrun() const { return overrun_ || pos_ > size_; }

 private:
  const BYTE* data_;
  DWORD size_;
  size_t pos_ = 0;
  bool overrun_ = false;
};

struct Control {
  int id;
  std::string cls;   // canonical name for predefined classes
  std::string text;  // code page 932, or "#n" for a resource ordinal
  short x, y, cx, cy;
  DWORD style;
  DWORD exStyle = 0;
};

struct Dialog {
  bool extended = false;
  DWORD style = 0, exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  std::string menu, windowClass, caption;
  WORD pointSize = 0, weight = 0;
  BYTE italic = 0, charset = 0;
  std::string face;
  std::vector<Control> controls;
};

// Canonical spelling of a stored class. Predefined classes are stored as
// ordinals 0x80..0x85; class names are case-insensitive, and windres stores
// named classes in upper case.
std::string ClassName(const std::string& stored) {
  static const std::pair<const char*, const char*> kClasses[] = {
      {"#128", "Button"}, {"#129", "Edit"},      {"#130", "Static"},        {"#131", "ListBox"},
      {"#132", "ScrollBar"}, {"#133", "ComboBox"}, {nullptr, "SysListView32"}, {nullptr, "msctls_progress32"}};
  for (const auto& [ordinal, name] : kClasses)
    if ((ordinal && stored == ordinal) || lstrcmpiA(stored.c_str(), name) == 0) return name;
  return stored;
}

// Parses DLGTEMPLATEEX or DLGTEMPLATE with their items.
Dialog ParseDialog(const BYTE* data, DWORD size, bool* ok) {
  TemplateReader r(data, size);
  Dialog d;
  WORD count = 0;
  d.extended = size >= 4 && data[0] == 1 && data[1] == 0 && data[2] == 0xFF && data[3] == 0xFF;
  if (d.extended) {
    r.Skip(4);
    r.Read<DWORD>();  // help id
    d.exStyle = r.Read<DWORD>();
    d.style = r.Read<DWORD>();
  } else {
    d.style = r.Read<DWORD>();
    d.exStyle = r.Read<DWORD>();
  }
  count = r.Read<WORD>();
  d.x = r.Read<short>();
  d.y = r.Read<short>();
  d.cx = r.Read<short>();
  d.cy = r.Read<short>();
  d.menu = r.ReadNameOrOrdinal();
  d.windowClass = r.ReadNameOrOrdinal();
  d.caption = ToCp932(r.ReadString());
  if (d.style & (DS_SETFONT | DS_SHELLFONT)) {
    d.pointSize = r.Read<WORD>();
    if (d.extended) {
      d.weight = r.Read<WORD>();
      d.italic = r.Read<BYTE>();
      d.charset = r.Read<BYTE>();
    }
    d.face = ToCp932(r.ReadString());
  }
  for (WORD i = 0; i < count && !r.overrun(); ++i) {
    r.AlignDword();
    Control c{};
    if (d.extended) {
      r.Read<DWORD>();  // help id
      c.exStyle = r.Read<DWORD>();
      c.style = r.Read<DWORD>();
    } else {
      c.style = r.Read<DWORD>();
      c.exStyle = r.Read<DWORD>();
    }
    c.x = r.Read<short>();
    c.y = r.Read<short>();
    c.cx = r.Read<short>();
    c.cy = r.Read<short>();
    c.id = d.extended ? int(r.Read<DWORD>()) : int(r.Read<short>());
    c.cls = ClassName(r.ReadNameOrOrdinal());
    c.text = r.ReadNameOrOrdinal();
    r.Skip(r.Read<WORD>());  // creation data
    d.controls.push_back(c);
  }
  *ok = !r.overrun();
  return d;
}

// ---------------------------------------------------------------------------
// The templates as they must be

constexpr const char* kFace = "ＭＳ Ｐゴシック";

struct TemplateSpec {
  int id;
  bool extended;
  DWORD style, exStyle;
  short x, y, cx, cy;
  const char* caption;
  WORD pointSize, weight;
  BYTE italic, charset;  // extended templates only
  std::vector<Control> controls;
};

// A UTF-8 text of the shared tables in code page 932, as this file's are.
std::string Cp932FromUtf8(const char* text) {
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
  std::wstring wide(n > 0 ? n - 1 : 0, L'\0');
  if (n > 1) MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, wide.data(), n);
  return ToCp932(wide);
}

std::vector<Control> MainTemplateControls() {
  std::vector<Control> controls;
  for (const vx::test::MainControlRow& row : vx::test::kMainControls) {
    controls.push_back({row.id, row.windowClass, Cp932FromUtf8(row.text), row.x, row.y, row.cx, row.cy, row.style});
  }
  return controls;
}

const std::vector<TemplateSpec>& Templates() {
  static const std::vector<TemplateSpec> templates = {
    {IDD_MAIN, true, 0x90CA00C0, 0x00040010, 0, 0, vx::test::kMainWindowCx, vx::test::kMainWindowCy, "Vextrane", 9, 0, 0,
     1, MainTemplateControls()},
    {IDD_LIST_EDIT, false, 0x80C800C0, 0, 0, 0, 179, 195, "置換リスト編集", 9, 0, 0, 0,
     {
         {-1, "Static", "置換リスト(&L)", 9, 8, 39, 8, 0x50020000},
         {IDC_PAIR_LIST, "SysListView32", "", 9, 19, 161, 100, 0x5081000D},
         {-1, "Static", "検索文字列(&F)", 9, 128, 44, 8, 0x50020000},
         {IDC_PAIR_SEARCH, "Edit", "", 55, 125, 115, 14, 0x50810080},
         {-1, "Static", "置換文字列(&R)", 9, 148, 44, 8, 0x50020000},
         {IDC_PAIR_REPLACE, "Edit", "", 55, 145, 115, 14, 0x50810080},
         {IDC_PAIR_ADD, "Button", "追加(&A)", 9, 170, 28, 14, 0x58010000},
         {IDC_PAIR_EDIT, "Button", "編集(&H)", 37, 170, 28, 14, 0x58010000},
         {IDC_PAIR_DELETE, "Button", "削除(&D)", 65, 170, 28, 14, 0x58010000},
         {IDOK, "Button", "OK(&O)", 100, 170, 35, 14, 0x50010001},
         {IDCANCEL, "Button", "戻る(&B)", 135, 170, 35, 14, 0x50010000},
     }},
    {IDD_ABOUT, false, 0x80C800C0, 0, 0, 0, 209, 65, "バージョン情報", 9, 0, 0, 0,
     {
         {IDOK, "Button", "OK", 170, 11, 28, 14, 0x50030001},
         {-1, "Static", "#128", 15, 9, 20, 20, 0x50000003},
         {-1, "Static", "Vextrane version 1.10", 50, 10, 92, 8, 0x50020080},
         {-1, "Static", "(C) 2026 Vextrane authors", 50, 20, 92, 8, 0x50020000},
         {IDC_LINK_URL, "Static", VX_HOME_PAGE_URL, 73, 35, 98, 8, 0x5002010C},
         {IDC_LINK_MAIL, "Static", VX_MAIL_ADDRESS, 73, 45, 98, 8, 0x50020100},
         {-1, "Static", "URL  \x81\x46", 50, 35, 22, 8, 0x50020000},
         {-1, "Static", "MAIL \x81\x46", 50, 45, 22, 8, 0x50020000},
     }},
    // Hidden at first: the window shows itself once a run has lasted a while.
    {IDD_PROGRESS, false, 0x80CA00C0, 0, 0, 0, 230, 76, "置換中", 9, 0, 0, 0,
     {
         {IDC_PROGRESS_FILE, "Static", "", 10, 10, 210, 8, 0x50008080},
         {IDC_PROGRESS_BAR, "msctls_progress32", "", 10, 22, 210, 10, 0x50800000},
         {IDC_PROGRESS_FILES, "Static", "", 10, 38, 100, 8, 0x50000080},
         {IDC_PROGRESS_COUNT, "Static", "", 115, 38, 105, 8, 0x50000082},
         {IDCANCEL, "Button", "中止(&C)", 175, 54, 45, 14, 0x50010000},
     }},
    {IDD_RESULT, false, 0x80CD0040, 0, 0, 0, 380, 244, "置換完了", 9, 0, 0, 0,
     {
         {IDC_RESULT_TOTAL, "Static", "", 10, 8, 175, 8, 0x50000080},
         {IDC_RESULT_ERRORS, "Static", "", 195, 8, 175, 8, 0x50000080},
         {IDC_RESULT_LOG, "Edit", "", 10, 21, 360, 180, 0x50B109C4},
         {IDC_RESULT_ERRORS_ONLY, "Button", "エラーのみ表示(&E)", 10, 210, 90, 10, 0x50010003},
         {IDC_RESULT_SAVE, "Button", "保存(&S)...", 265, 208, 50, 14, 0x50010000},
         {IDOK, "Button", "OK", 320, 208, 50, 14, 0x50010001},
         {IDC_RESULT_UNDO, "Button", "元に戻す(&U)", 205, 208, 55, 14, 0x58010000},
         {IDC_RESULT_UNDO_NOTE, "Static", "", 10, 228, 360, 8, 0x50000080},
     }},
    {IDD_PREVIEW, false, 0x80C800C0, 0, 0, 0, 400, 250, "置換のプレビュー", 9, 0, 0, 0,
     {
         {IDC_PREVIEW_TOTALS, "Static", "", 10, 8, 380, 8, 0x50000080},
         {IDC_PREVIEW_LIST, "SysListView32", "", 10, 20, 380, 110, 0x5081100D},
         {-1, "Static", "変更される行(&L)", 10, 136, 200, 8, 0x50000000},
         {IDC_PREVIEW_LINES, "Edit", "", 10, 146, 380, 76, 0x50B109C4},
         {IDOK, "Button", "置換(&R)", 285, 228, 50, 14, 0x50010001},
         {IDCANCEL, "Button", "キャンセル", 340, 228, 50, 14, 0x50010000},
     }},
  };
  return templates;
}

TEST(Templates, EachDialogHasExactlyTheControlsOfItsTable) {
  for (const TemplateSpec& want : Templates()) {
    SCOPED_TRACE("template " + std::to_string(want.id));
    auto [data, size] = Resource(want.id, RT_DIALOG);
    ASSERT_NE(data, nullptr);
    bool ok = false;
    Dialog got = ParseDialog(data, size, &ok);
    ASSERT_TRUE(ok) << "template runs past its resource";

    EXPECT_EQ(got.extended, want.extended);
    EXPECT_EQ(got.style, want.style);
    EXPECT_EQ(got.exStyle, want.exStyle);
    EXPECT_EQ((std::vector<short>{got.x, got.y, got.cx, got.cy}),
              (std::vector<short>{want.x, want.y, want.cx, want.cy}));
    EXPECT_EQ(got.menu, "");
    EXPECT_EQ(got.windowClass, "");
    EXPECT_EQ(got.caption, want.caption);
    EXPECT_EQ(got.pointSize, want.pointSize);
    EXPECT_EQ(got.face, kFace);
    EXPECT_EQ(got.weight, want.weight);
    EXPECT_EQ(got.italic, want.italic);
    EXPECT_EQ(got.charset, want.charset);

    ASSERT_EQ(got.controls.size(), want.controls.size());
    for (size_t i = 0; i < want.controls.size(); ++i) {
      const Control& g = got.controls[i];
      const Control& w = want.controls[i];
      SCOPED_TRACE("control #" + std::to_string(i) + " \"" + w.text + "\"");
      EXPECT_EQ(g.id, w.id);
      EXPECT_EQ(g.cls, w.cls);
      EXPECT_EQ(g.text, w.text);
      EXPECT_EQ((std::vector<short>{g.x, g.y, g.cx, g.cy}),
                (std::vector<short>{w.x, w.y, w.cx, w.cy}));
      EXPECT_EQ(g.style, w.style) << std::hex << "0x" << g.style << " vs 0x" << w.style;
      EXPECT_EQ(g.exStyle, 0u);
    }
  }
}

// The main window has no control with the id IDOK and no default button, so
// Enter has nothing to press.
TEST(Templates, MainWindowHasNoOkAndNoDefaultButton) {
  auto [data, size] = Resource(IDD_MAIN, RT_DIALOG);
  ASSERT_NE(data, nullptr);
  bool ok = false;
  Dialog d = ParseDialog(data, size, &ok);
  ASSERT_TRUE(ok);
  for (const Control& c : d.controls) {
    EXPECT_NE(c.id, IDOK) << c.text;
    if (c.cls == "Button") {
      EXPECT_NE(c.style & BS_TYPEMASK, DWORD(BS_DEFPUSHBUTTON)) << c.text;
    }
  }
}

// The main window's fourteen first controls are all there, in their order,
// each with its id, class, text, style and size as they always were: new
// controls come between them, and only their positions move.
TEST(Templates, MainWindowKeepsItsFirstControlsInTheirOrder) {
  auto [data, size] = Resource(IDD_MAIN, RT_DIALOG);
  ASSERT_NE(data, nullptr);
  bool ok = false;
  const Dialog d = ParseDialog(data, size, &ok);
  ASSERT_TRUE(ok);
  std::size_t next = 0;
  const std::size_t count = std::size(vx::test::kOriginalMainControls);
  for (const Control& c : d.controls) {
    if (next == count) break;
    const vx::test::OriginalControl& want = vx::test::kOriginalMainControls[next];
    if (c.id != want.id || c.cls != want.windowClass || c.text != Cp932FromUtf8(want.text)) continue;
    SCOPED_TRACE("control \"" + c.text + "\"");
    EXPECT_EQ((std::vector<short>{c.cx, c.cy}), (std::vector<short>{want.cx, want.cy}));
    EXPECT_EQ(c.style, want.style);
    EXPECT_EQ(c.exStyle, 0u);
    ++next;
  }
  EXPECT_EQ(next, count) << "missing or out of order: " << vx::test::kOriginalMainControls[std::min(next, count - 1)].text;
}

// Each dialog's access keys ("&X" in a text) are its own: no letter twice in
// one dialog, where the platform would go to the first and never the second.
TEST(Templates, AccessKeysAreUniqueInEachDialog) {
  for (const TemplateSpec& want : Templates()) {
    SCOPED_TRACE("template " + std::to_string(want.id));
    auto [data, size] = Resource(want.id, RT_DIALOG);
    ASSERT_NE(data, nullptr);
    bool ok = false;
    const Dialog d = ParseDialog(data, size, &ok);
    ASSERT_TRUE(ok);
    std::string keys;
    for (const Control& c : d.controls) {
      const std::size_t amp = c.text.find('&');
      if (amp == std::string::npos || amp + 1 >= c.text.size() || c.cls == "SysListView32") continue;
      const char key = static_cast<char>(::toupper(static_cast<unsigned char>(c.text[amp + 1])));
      EXPECT_EQ(keys.find(key), std::string::npos) << key << " twice, in " << c.text;
      keys += key;
    }
    if (want.id == IDD_MAIN) {
      EXPECT_EQ(keys, "FREWIKMNTDLJBSGPUHXA");
    }
  }
}

// ---------------------------------------------------------------------------
// Version information

// One node of a VS_VERSIONINFO tree: key, value bytes, children.
struct VersionNode {
  std::wstring key;
  const BYTE* value = nullptr;
  WORD valueLength = 0;  // bytes for binary values, characters for text
  WORD type = 0;         // 1 text, 0 binary
  std::vector<VersionNode> children;
};

VersionNode ParseVersionNode(const BYTE* base, size_t offset, size_t end) {
  VersionNode node;
  WORD length;
  std::memcpy(&length, base + offset, 2);
  std::memcpy(&node.valueLength, base + offset + 2, 2);
  std::memcpy(&node.type, base + offset + 4, 2);
  size_t stop = std::min(end, offset + length);
  size_t pos = offset + 6;
  for (WCHAR c; pos + 2 <= stop && (std::memcpy(&c, base + pos, 2), pos += 2, c != 0);)
    node.key += c;
  pos = (pos + 3) & ~size_t{3};
  node.value = base + pos;
  pos += node.type == 1 ? node.valueLength * 2 : node.valueLength;
  pos = (pos + 3) & ~size_t{3};
  while (pos + 6 <= stop) {
    WORD childLength;
    std::memcpy(&childLength, base + pos, 2);
    if (childLength == 0) break;
    node.children.push_back(ParseVersionNode(base, pos, stop));
    pos = (pos + childLength + 3) & ~size_t{3};
  }
  return node;
}

const VersionNode* Child(const VersionNode& node, const wchar_t* key) {
  for (const VersionNode& c : node.children)
    if (c.key == key) return &c;
  return nullptr;
}

TEST(Templates, VersionInformationHoldsEveryString) {
  auto [data, size] = Resource(VS_VERSION_INFO, RT_VERSION);
  ASSERT_NE(data, nullptr);
  VersionNode root = ParseVersionNode(data, 0, size);
  ASSERT_EQ(root.key, L"VS_VERSION_INFO");
  ASSERT_EQ(root.valueLength, sizeof(VS_FIXEDFILEINFO));
  VS_FIXEDFILEINFO fixed;
  std::memcpy(&fixed, root.value, sizeof fixed);
  EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed.dwFileVersionMS, DWORD(MAKELONG(10, 1)));
  EXPECT_EQ(fixed.dwFileVersionLS, DWORD(MAKELONG(6, 10)));
  EXPECT_EQ(fixed.dwProductVersionMS, DWORD(MAKELONG(10, 1)));
  EXPECT_EQ(fixed.dwProductVersionLS, DWORD(MAKELONG(6, 10)));
  EXPECT_EQ(fixed.dwFileOS, DWORD(VOS__WINDOWS32));
  EXPECT_EQ(fixed.dwFileType, DWORD(VFT_APP));

  const VersionNode* strings = Child(root, L"StringFileInfo");
  ASSERT_NE(strings, nullptr);
  const VersionNode* block = Child(*strings, L"041104B0");
  ASSERT_NE(block, nullptr);
  const std::pair<const wchar_t*, const char*> kStrings[] = {
      {L"FileVersion", "1, 10, 10, 6"},
      {L"ProductVersion", "1.10"},
      {L"FileDescription", "複数のテキストファイルを高速で書換え"},
      {L"Comments", "フリーウェア"},
      {L"ProductName", "Vextrane"},
      {L"InternalName", "Vextrane"},
      {L"OriginalFilename", "Vextrane.EXE"},
      {L"CompanyName", nullptr},  // any text, but present and not empty
      {L"LegalCopyright", nullptr},
  };
  for (const auto& [key, want] : kStrings) {
    SCOPED_TRACE(ToCp932(key));
    const VersionNode* value = Child(*block, key);
    ASSERT_NE(value, nullptr);
    ASSERT_EQ(value->type, 1);
    std::wstring text(reinterpret_cast<const WCHAR*>(value->value), value->valueLength);
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    if (want)
      EXPECT_EQ(ToCp932(text), want);
    else
      EXPECT_FALSE(text.empty());
  }

  const VersionNode* vars = Child(root, L"VarFileInfo");
  ASSERT_NE(vars, nullptr);
  const VersionNode* translation = Child(*vars, L"Translation");
  ASSERT_NE(translation, nullptr);
  ASSERT_EQ(translation->valueLength, 4);
  WORD pair[2];
  std::memcpy(pair, translation->value, 4);
  EXPECT_EQ(pair[0], 0x0411);
  EXPECT_EQ(pair[1], 1200);
}

// ---------------------------------------------------------------------------
// Icon and manifest

#pragma pack(push, 2)
struct GroupIconEntry {
  BYTE width, height, colorCount, reserved;
  WORD planes, bitCount;
  DWORD bytesInRes;
  WORD id;
};
#pragma pack(pop)

TEST(Templates, IconHas32And16PixelImagesIn16Colours) {
  auto [group, groupSize] = Resource(IDI_APP, RT_GROUP_ICON);
  ASSERT_NE(group, nullptr);
  WORD count;
  std::memcpy(&count, group + 4, 2);
  ASSERT_EQ(groupSize, 6u + count * sizeof(GroupIconEntry));
  std::vector<int> sizes;
  for (WORD i = 0; i < count; ++i) {
    GroupIconEntry e;
    std::memcpy(&e, group + 6 + i * sizeof e, sizeof e);
    SCOPED_TRACE("image " + std::to_string(e.width));
    EXPECT_EQ(e.width, e.height);
    EXPECT_EQ(e.colorCount, 16);
    EXPECT_EQ(e.bitCount, 4);
    auto [image, imageSize] = Resource(e.id, RT_ICON);
    ASSERT_NE(image, nullptr);
    ASSERT_GE(imageSize, sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER bih;
    std::memcpy(&bih, image, sizeof bih);
    EXPECT_EQ(bih.biWidth, e.width);
    EXPECT_EQ(bih.biHeight, 2 * e.height);  // colour bits and mask
    EXPECT_EQ(bih.biBitCount, 4);
    sizes.push_back(e.width);
  }
  EXPECT_EQ(sizes, (std::vector<int>{32, 16}));

  // And the system picks them for both sizes the main window asks for.
  for (int px : {16, 32}) {
    HICON icon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, px, px, LR_DEFAULTCOLOR));
    ASSERT_NE(icon, nullptr) << px;
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bm{};
    GetObjectW(info.hbmMask, sizeof bm, &bm);
    EXPECT_EQ(bm.bmWidth, px);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
}

TEST(Templates, ManifestAsksForCommonControls6SystemDpiAwarenessAndLongPaths) {
  auto [data, size] = Resource(1, RT_MANIFEST);
  ASSERT_NE(data, nullptr);
  std::string manifest(reinterpret_cast<const char*>(data), size);
  const char* kParts[] = {
      "encoding=\"UTF-8\"",
      "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
      "publicKeyToken=\"6595b64144ccf1df\"",
      ">true</dpiAware>",
      "<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true</longPathAware>",
  };
  for (const char* part : kParts) EXPECT_NE(manifest.find(part), std::string::npos) << part;
}

}  // namespace
