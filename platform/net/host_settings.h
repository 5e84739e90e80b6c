#pragma once
// What the settings store keeps for a remote host (an exporter or a Prometheus server), under
// HKEY_CURRENT_USER\Software\Zynthar\Tallon\Hosts\<host:port>:
//   "Scheme"                REG_SZ  "https" to talk to it over TLS (otherwise plain http);
//   "BearerToken"           REG_SZ  sent as a bearer token;
//   "UserName", "Password"  REG_SZ  basic authentication, when no token is set.
// Credentials live only here: counter paths, chart files and generated scripts name the host alone.

#include "http.h"

#include <string>
#include <string_view>

namespace zyn::net {

struct HostSettings {
    bool https = false;
    Credentials credentials;
};

inline constexpr char16_t kHostsKey[] = u"Software\\Zynthar\\Tallon\\Hosts";

// The settings of `hostPort` (as HostPort writes it); defaults when there are none.
[[nodiscard]] HostSettings LoadHostSettings(std::string_view hostPort);
// False when the settings store cannot be written.
bool SaveHostSettings(std::string_view hostPort, const HostSettings& settings);

} // namespace zyn::net
