// Writes the arguments Windows hands it, as its own C runtime would split
// them, one per line in UTF-8, to the file MIRODEX_ARGS_PROBE_OUT names.
#include <windows.h>

#include <shellapi.h>

#include <string>

int wmain() {
    wchar_t out[MAX_PATH];
    if (!GetEnvironmentVariableW(L"MIRODEX_ARGS_PROBE_OUT", out, MAX_PATH))
        return 2;
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring text;
    for (int i = 1; i < count; ++i)
        text += std::wstring(args[i]) + L"\n";
    LocalFree(args);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(std::size_t(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), utf8.data(), bytes, nullptr, nullptr);
    // Written under another name first: the test waits for the finished file.
    const std::wstring part = std::wstring(out) + L".part";
    const HANDLE file = CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 3;
    DWORD written = 0;
    WriteFile(file, utf8.data(), DWORD(utf8.size()), &written, nullptr);
    CloseHandle(file);
    return MoveFileExW(part.c_str(), out, MOVEFILE_REPLACE_EXISTING) ? 0 : 4;
}
