#pragma once
// libcurl's process-wide initialisation, done once before the first handle.

namespace tarnwick::net {

void ensureCurlGlobal();

}  // namespace tarnwick::net
