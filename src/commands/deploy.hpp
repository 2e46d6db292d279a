#pragma once

#include <string_view>

namespace commands::deploy {

inline constexpr std::string_view deploy_script = "/tarn-hosting/tarn-hosting-v2/script/deploy";

// Runs the deploy script on the region host.
int run();

}  // namespace commands::deploy
