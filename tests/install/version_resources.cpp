// Checks the version resource of each DLL or program named on the command
// line: the product name and version must be the project's, in the string
// table and in the fixed file information alike.
//
//   version_resources PRODUCT VERSION FILE...
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::wstring widen(const char* text) {
    std::wstring out;
    for (; *text != '\0'; ++text) {
        out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*text)));
    }
    return out;
}

std::wstring stringValue(const std::vector<BYTE>& info, const wchar_t* name) {
    const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(info.data(), path.c_str(), &value, &length) || length == 0) {
        return L"";
    }
    return std::wstring(static_cast<const wchar_t*>(value));
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: version_resources PRODUCT VERSION FILE...\n");
        return 2;
    }
    const std::wstring product = widen(argv[1]);
    const std::wstring version = widen(argv[2]);
    unsigned major = 0, minor = 0, patch = 0;
    if (std::sscanf(argv[2], "%u.%u.%u", &major, &minor, &patch) != 3) {
        std::fprintf(stderr, "version_resources: '%s' is not MAJOR.MINOR.PATCH\n", argv[2]);
        return 2;
    }
    int failures = 0;
    for (int i = 3; i < argc; ++i) {
        const std::wstring file = widen(argv[i]);
        DWORD handle = 0;
        const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &handle);
        std::vector<BYTE> info(size);
        if (size == 0 || !GetFileVersionInfoW(file.c_str(), 0, size, info.data())) {
            std::printf("%s: no version resource\n", argv[i]);
            ++failures;
            continue;
        }
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        const bool fixedMatches =
            VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) &&
            length >= sizeof(VS_FIXEDFILEINFO) &&
            fixed->dwFileVersionMS == DWORD((major << 16) | minor) &&
            fixed->dwFileVersionLS == DWORD(patch << 16) &&
            fixed->dwProductVersionMS == fixed->dwFileVersionMS;
        const std::wstring name = stringValue(info, L"ProductName");
        const std::wstring productVersion = stringValue(info, L"ProductVersion");
        const std::wstring fileVersion = stringValue(info, L"FileVersion");
        const bool ok = fixedMatches && name == product && productVersion == version &&
                        fileVersion == version && stringValue(info, L"CompanyName").empty();
        std::printf("%s: %ls %ls%s\n", argv[i], name.c_str(), productVersion.c_str(),
                    ok ? "" : " (wrong)");
        failures += ok ? 0 : 1;
    }
    return failures == 0 ? 0 : 1;
}
