#include "platform/registry.h"

#include <windows.h>

#include <vector>

#include "platform/win32/scoped_win.h"

namespace klv::platform {

std::optional<std::string> ReadMachineString(const std::string& key, const std::string& name) {
    ScopedRegistryKey opened;
    // No view flag: the program's own view, as every other program of its
    // bitness sees the key.
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_ALL_ACCESS, opened.out()) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD type = REG_NONE;
    DWORD size = 0;
    LONG status = RegQueryValueExA(opened.get(), name.c_str(), nullptr, &type, nullptr, &size);
    // The value may change between asking for its size and reading it; ask
    // again until the data fits (a value that vanishes meanwhile is missing).
    std::vector<char> data;
    while (status == ERROR_SUCCESS && size > 0) {
        data.assign(size + 1, '\0');
        DWORD got = size;
        status =
            RegQueryValueExA(opened.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got);
        if (status == ERROR_MORE_DATA) {
            size = got > size ? got : size * 2;
            status = ERROR_SUCCESS;
            continue;
        }
        size = got;
        break;
    }
    if (status != ERROR_SUCCESS) return std::nullopt;
    if (size == 0) return std::string();
    if (type != REG_SZ && type != REG_EXPAND_SZ) throw InvalidDataType(name);
    data.resize(size);
    std::string text(data.begin(), data.end());
    return text.substr(0, text.find('\0'));
}

}  // namespace klv::platform
