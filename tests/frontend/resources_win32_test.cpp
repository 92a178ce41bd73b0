// What Dazuzadi.exe carries: the Korean version record (windres tags it
// 0x0409 unless told), a 32 x 32 24-bit bitmap icon and the manifest.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

// The build names the program by its host path; under Wine that is drive Z:.
std::wstring ProgramPath() {
  std::string path = VODERER_PROGRAM;
  if (!path.empty() && path.front() == '/') path = "Z:" + path;
  return std::wstring(path.begin(), path.end());
}

class ProgramResources : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryExW(ProgramPath().c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module_, nullptr) << "cannot load " << VODERER_PROGRAM;
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  std::string_view Resource(LPCWSTR type, LPCWSTR name, WORD language) {
    HRSRC found = FindResourceExW(module_, type, name, language);
    if (found == nullptr) return {};
    const void* data = LockResource(LoadResource(module_, found));
    return {static_cast<const char*>(data), SizeofResource(module_, found)};
  }
  HMODULE module_ = nullptr;
};

std::wstring VersionString(const std::vector<char>& info, const std::wstring& name) {
  void* value = nullptr;
  UINT length = 0;
  const std::wstring key = L"\\StringFileInfo\\041204B0\\" + name;
  if (!VerQueryValueW(info.data(), key.c_str(), &value, &length) || length == 0) return L"?";
  return std::wstring(static_cast<const wchar_t*>(value));
}

TEST_F(ProgramResources, VersionRecordIsKorean) {
  EXPECT_FALSE(
      Resource(MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1), MAKELANGID(LANG_KOREAN, SUBLANG_KOREAN))
          .empty())
      << "the version resource is not tagged 0x0412";

  const std::wstring path = ProgramPath();
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));

  EXPECT_EQ(VersionString(info, L"ProductName"), L"Dazuzadi");
  EXPECT_EQ(VersionString(info, L"InternalName"), L"Dazuzadi");
  EXPECT_EQ(VersionString(info, L"OriginalFilename"), L"Dazuzadi.exe");
  EXPECT_EQ(VersionString(info, L"FileVersion"), L"1.00");
  EXPECT_EQ(VersionString(info, L"ProductVersion"), L"1.00");

  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", &value, &length));
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);

  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", &value, &length));
  ASSERT_GE(length, 4u);
  EXPECT_EQ(static_cast<const WORD*>(value)[0], 0x0412);
  EXPECT_EQ(static_cast<const WORD*>(value)[1], 0x04B0);
}

TEST_F(ProgramResources, IconIsOne32By32TwentyFourBitBitmap) {
  HRSRC group = FindResourceW(module_, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14));
  ASSERT_NE(group, nullptr);
  const auto* directory = static_cast<const BYTE*>(LockResource(LoadResource(module_, group)));
  // GRPICONDIR: reserved, type, count; then 14-byte entries.
  const WORD count = *reinterpret_cast<const WORD*>(directory + 4);
  ASSERT_EQ(count, 1);
  const BYTE* entry = directory + 6;
  EXPECT_EQ(entry[0], 32);
  EXPECT_EQ(entry[1], 32);
  EXPECT_EQ(*reinterpret_cast<const WORD*>(entry + 6), 24);
  const WORD id = *reinterpret_cast<const WORD*>(entry + 12);

  HRSRC image = FindResourceW(module_, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(3));
  ASSERT_NE(image, nullptr);
  const auto* header =
      static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(module_, image)));
  EXPECT_EQ(header->biSize, sizeof(BITMAPINFOHEADER)) << "not a bitmap (PNG?)";
  EXPECT_EQ(header->biWidth, 32);
  EXPECT_EQ(header->biHeight, 64);  // colour rows and mask rows
  EXPECT_EQ(header->biBitCount, 24);
}

TEST_F(ProgramResources, ManifestAsksForPerMonitorDpiAndCommonControls6) {
  HRSRC found = FindResourceW(module_, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(found, nullptr);
  const std::string manifest(static_cast<const char*>(LockResource(LoadResource(module_, found))),
                             SizeofResource(module_, found));
  EXPECT_NE(manifest.find("PerMonitorV2"), std::string::npos);
  EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  EXPECT_NE(manifest.find("version=\"6.0.0.0\""), std::string::npos);
}

}  // namespace
