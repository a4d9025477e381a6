// The help viewer's programming interface, in the command form the help
// component speaks: one call with a command number and one data value.
#pragma once

#include <cstdint>
#include <string>

class QWidget;

namespace mervik {

enum HtmlHelpCommand : unsigned {
    HH_DISPLAY_TOPIC = 0,
    HH_DISPLAY_TEXT_POPUP = 14,
    HH_HELP_CONTEXT = 15,
    HH_GET_LAST_ERROR = 20,
    HH_INITIALIZE = 28,
};

// HH_DISPLAY_TEXT_POPUP's record. Colours and margins of -1 mean the defaults.
struct HH_POPUP {
    int cbStruct = sizeof(HH_POPUP);
    void* hinst = nullptr;
    unsigned idString = 0;
    const char* pszText = nullptr;
    int ptX = 0;
    int ptY = 0;
    std::int32_t clrForeground = -1;
    std::int32_t clrBackground = -1;
    int rcMargins[4] = {-1, -1, -1, -1};
    const char* pszFont = nullptr;
};

// HH_GET_LAST_ERROR's record.
struct HH_LAST_ERROR {
    int cbStruct = sizeof(HH_LAST_ERROR);
    std::int32_t hr = 0;
    std::string description;  // empty: none
};

// HRESULTs the viewer reports.
inline constexpr std::int32_t kHrOk = 0;
inline constexpr std::int32_t kHrFail = static_cast<std::int32_t>(0x80004005u);
inline constexpr std::int32_t kHrFileNotFound = static_cast<std::int32_t>(0x80070002u);
inline constexpr std::int32_t kHrInvalidArg = static_cast<std::int32_t>(0x80070057u);

class HtmlHelpApi {
  public:
    virtual ~HtmlHelpApi() = default;
    // file: a help file path, optionally followed by "::/" and a file inside it.
    // data: a context number, or the address of the command's record. Returns
    // the viewer window that was shown, or null when nothing opened; for
    // HH_INITIALIZE and HH_GET_LAST_ERROR a non-null value means success.
    virtual QWidget* HtmlHelp(QWidget* owner, const std::string& file, unsigned command,
                              std::intptr_t data) = 0;
};

}  // namespace mervik
