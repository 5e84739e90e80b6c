#include "host_settings.h"

#include "com/bstr.h"
#include "registry/registry.h"

#include <vector>

namespace zyn::net {
namespace {

std::u16string KeyPath(std::string_view hostPort) {
    return std::u16string(kHostsKey) + u"\\" + zyn::com::Utf8ToUtf16(hostPort);
}

std::string ReadString(HKEY key, const char16_t* name) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ)
        return {};
    std::vector<BYTE> data(size);
    if (size == 0 || RegQueryValueExW(key, name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
        return {};
    std::u16string text(size / sizeof(char16_t), u'\0');
    std::copy_n(data.data(), text.size() * sizeof(char16_t), reinterpret_cast<BYTE*>(text.data()));
    while (!text.empty() && text.back() == u'\0')
        text.pop_back();
    return zyn::com::Utf16ToUtf8(text);
}

bool WriteString(HKEY key, const char16_t* name, std::string_view value) {
    if (value.empty()) {
        const LONG rc = RegDeleteValueW(key, name);
        return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
    }
    const std::u16string text = zyn::com::Utf8ToUtf16(value);
    const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(char16_t));
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes) ==
           ERROR_SUCCESS;
}

} // namespace

HostSettings LoadHostSettings(std::string_view hostPort) {
    HostSettings settings;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath(hostPort).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return settings;
    settings.https = ReadString(key, u"Scheme") == "https";
    settings.credentials.bearerToken = ReadString(key, u"BearerToken");
    settings.credentials.user = ReadString(key, u"UserName");
    settings.credentials.password = ReadString(key, u"Password");
    RegCloseKey(key);
    return settings;
}

bool SaveHostSettings(std::string_view hostPort, const HostSettings& settings) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, KeyPath(hostPort).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    bool ok = WriteString(key, u"Scheme", settings.https ? "https" : "http");
    ok = WriteString(key, u"BearerToken", settings.credentials.bearerToken) && ok;
    ok = WriteString(key, u"UserName", settings.credentials.user) && ok;
    ok = WriteString(key, u"Password", settings.credentials.password) && ok;
    RegCloseKey(key);
    return ok;
}

} // namespace zyn::net
