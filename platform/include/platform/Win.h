// Windows-named calls onto the installed machine (platform/Services.h), so
// that the programs' code reads as it was written.
#pragma once

#include <string>

#include "platform/Services.h"

namespace win {

using platform::Handle;

inline bool GetVersionExA(platform::OsVersionInfo* info) {
    return platform::Current().Version->GetVersionEx(*info);
}
inline unsigned GetDriveTypeA(const char* root) {
    return platform::Current().DriveType->GetDriveType(root);
}
inline Handle CreateFileA(const char* path, uint32_t access, uint32_t share, uint32_t disposition,
                          uint32_t flags) {
    return platform::Current().DeviceOpen->CreateFile(path, access, share, disposition, flags);
}
inline bool DeviceIoControl(Handle device, uint32_t code, void* in, uint32_t inSize, void* out,
                            uint32_t outSize, uint32_t* bytesReturned) {
    return platform::Current().DeviceControl->DeviceIoControl(device, code, in, inSize, out, outSize,
                                                             bytesReturned);
}
inline platform::ModuleHandle LoadLibraryA(const char* name) {
    return platform::Current().Libraries->LoadLibrary(name);
}
inline void* GetProcAddress(platform::ModuleHandle module, const char* entry) {
    return platform::Current().Libraries->GetProcAddress(module, entry);
}
inline void Sleep(uint32_t milliseconds) { platform::Current().Clock->Sleep(milliseconds); }
inline uint32_t timeGetTime() { return platform::Current().Clock->TickCount(); }
inline std::string GetCommandLineA() { return platform::Current().CommandLine->GetCommandLine(); }
inline uint16_t GetSystemDefaultLangID() {
    return platform::Current().Language->GetSystemDefaultLangID();
}
inline int MessageBoxA(const void* owner, const std::string& text, const std::string& caption,
                       uint32_t flags) {
    return platform::Current().MessageBoxes->MessageBox(owner, text, caption, flags);
}

}  // namespace win
