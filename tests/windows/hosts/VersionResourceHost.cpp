// Reads Tavrin.dll's version record back the way Windows tools do
// (GetFileVersionInfoW, VerQueryValueW) and compares every field with what
// the module must carry; then lists the module's resources to make sure the
// version record is its only one, in language 0x0804. The module may be of
// either width: a 64-bit host reads the 32-bit module's record as data.
//
//   tavrin_version_host.exe [MODULE]   (by default the Tavrin.dll beside it)
#define UNICODE  // RT_VERSION and friends as wide resource names
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

int failures = 0;

void Expect(bool ok, const char* what) {
  if (!ok) {
    std::printf("FAILED: %s\n", what);
    ++failures;
  }
}

std::wstring ModuleBesideThisProgram() {
  wchar_t self[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, length);
  return path.substr(0, path.find_last_of(L"\\/") + 1) + L"Tavrin.dll";
}

void CheckFixedInfo(const std::vector<char>& record) {
  void* value = nullptr;
  UINT size = 0;
  if (!VerQueryValueW(record.data(), L"\\", &value, &size) ||
      size != sizeof(VS_FIXEDFILEINFO)) {
    Expect(false, "the fixed part of the version record");
    return;
  }
  const VS_FIXEDFILEINFO& fixed = *static_cast<VS_FIXEDFILEINFO*>(value);
  Expect(fixed.dwSignature == 0xFEEF04BD, "signature");
  Expect(fixed.dwFileVersionMS == MAKELONG(0, 1) &&
             fixed.dwFileVersionLS == MAKELONG(143, 0),
         "file version 1.0.0.143");
  Expect(fixed.dwProductVersionMS == MAKELONG(0, 1) &&
             fixed.dwProductVersionLS == MAKELONG(143, 0),
         "product version 1.0.0.143");
  Expect(fixed.dwFileFlags == 0, "no file flags (not a debug or patched build)");
  Expect(fixed.dwFileType == VFT_DLL, "file type: DLL");
  Expect(fixed.dwFileOS == VOS_NT_WINDOWS32, "file OS: Win32");
}

void CheckTranslation(const std::vector<char>& record) {
  void* value = nullptr;
  UINT size = 0;
  const bool found = VerQueryValueW(record.data(), L"\\VarFileInfo\\Translation",
                                    &value, &size);
  Expect(found && size == 2 * sizeof(WORD), "exactly one translation");
  if (!found || size < 2 * sizeof(WORD)) return;
  const WORD* pair = static_cast<const WORD*>(value);
  Expect(pair[0] == 0x0804, "translation language 0x0804");
  Expect(pair[1] == 1200, "translation code page 1200 (Unicode)");
}

void CheckStrings(const std::vector<char>& record) {
  struct Field {
    const wchar_t* name;
    const wchar_t* text;
    const char* label;
  };
  const Field fields[] = {
      {L"FileDescription", L"Tavrin", "FileDescription"},
      {L"InternalName", L"Tavrin", "InternalName"},
      {L"ProductName", L"Tavrin", "ProductName"},
      {L"OriginalFilename", L"Tavrin.dll", "OriginalFilename"},
      {L"FileVersion", L"1.0.0.143+", "FileVersion"},
      {L"ProductVersion", L"1.0.0.143", "ProductVersion"},
  };
  for (const Field& field : fields) {
    const std::wstring query =
        std::wstring(L"\\StringFileInfo\\080404b0\\") + field.name;
    void* value = nullptr;
    UINT size = 0;
    const bool found =
        VerQueryValueW(record.data(), query.c_str(), &value, &size);
    Expect(found && value != nullptr &&
               std::wcscmp(static_cast<const wchar_t*>(value), field.text) == 0,
           field.label);
  }
}

BOOL CALLBACK CountLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language,
                            LONG_PTR found) {
  reinterpret_cast<std::vector<WORD>*>(found)->push_back(language);
  return TRUE;
}

BOOL CALLBACK CountName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) {
  reinterpret_cast<std::vector<ULONG_PTR>*>(found)->push_back(
      reinterpret_cast<ULONG_PTR>(name));
  return TRUE;
}

BOOL CALLBACK CountType(HMODULE, LPWSTR type, LONG_PTR found) {
  reinterpret_cast<std::vector<ULONG_PTR>*>(found)->push_back(
      reinterpret_cast<ULONG_PTR>(type));
  return TRUE;
}

// One resource: type RT_VERSION, id 1, language 0x0804.
void CheckOnlyResource(const std::wstring& path) {
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) {
    Expect(false, "loading the module as data");
    return;
  }
  std::vector<ULONG_PTR> types;
  EnumResourceTypesW(module, CountType, reinterpret_cast<LONG_PTR>(&types));
  Expect(types.size() == 1 &&
             types[0] == reinterpret_cast<ULONG_PTR>(RT_VERSION),
         "the version record is the only resource type");
  std::vector<ULONG_PTR> names;
  EnumResourceNamesW(module, RT_VERSION, CountName,
                     reinterpret_cast<LONG_PTR>(&names));
  Expect(names.size() == 1 && names[0] == VS_VERSION_INFO,
         "one version record, id 1");
  std::vector<WORD> languages;
  EnumResourceLanguagesW(module, RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO),
                         CountLanguage, reinterpret_cast<LONG_PTR>(&languages));
  Expect(languages.size() == 1 && languages[0] == 0x0804,
         "the version record is in language 0x0804 only");
  FreeLibrary(module);
}

}  // namespace

int main() {
  // The arguments as wide strings, so that any path comes through whole.
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  const std::wstring path =
      argc > 1 && argv != nullptr ? argv[1] : ModuleBesideThisProgram();
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) {
    std::printf("no version record (error %lu)\n", GetLastError());
    return 1;
  }
  std::vector<char> record(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, record.data())) {
    std::printf("GetFileVersionInfoW failed (error %lu)\n", GetLastError());
    return 1;
  }
  CheckFixedInfo(record);
  CheckTranslation(record);
  CheckStrings(record);
  CheckOnlyResource(path);
  std::printf("version record: %d failed\n", failures);
  return failures == 0 ? 0 : 1;
}
