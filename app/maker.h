// The maker's contact data and rights notice, shown in the main window's
// caption and the About box. One place, so that a rebranded build changes
// only this file.
#pragma once

#include <string_view>

namespace mervik::maker {

inline constexpr std::string_view kSupportMail = "support@corvanta.example";
inline constexpr std::string_view kWebSite = "https://www.corvanta.example/";
inline constexpr std::string_view kRightsNotice = "Copyright (C) 2023 Corvanta";

}  // namespace mervik::maker
