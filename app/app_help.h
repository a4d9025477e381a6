// The application's help: its title, its help file name and the one handler
// that help requests go to (the help component installs itself there).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace mervik {

// WinHelp command numbers as the forms issue them.
enum HelpCommand : std::uint16_t {
    HELP_CONTEXT = 1,
    HELP_QUIT = 2,
    HELP_INDEX = 3,
    HELP_CONTEXTPOPUP = 8,
    HELP_FINDER = 11,
    HELP_SETPOPUP_POS = 13,
};

class ApplicationHelp {
  public:
    // (command, data, callHelp) -> handled; callHelp tells whether the
    // application should go on handling the request itself.
    using Handler = std::function<bool(std::uint16_t, std::int32_t, bool&)>;

    std::string Title = "Mervik";
    std::string HelpFile;
    // Folder of the executable, with its trailing separator; the help file
    // lies there.
    std::string ExeFolder;
    // The executable's own path, for a help file named after it.
    std::string ExeName;

    // Replaces any handler installed before; an empty one removes it.
    void setHandler(Handler handler) { handler_ = std::move(handler); }
    bool hasHandler() const { return static_cast<bool>(handler_); }

    // Passes the request to the handler; without one, or when the handler
    // leaves it to the application, nothing is shown (there is no other help
    // system to fall back on). Returns whether the handler took it.
    bool HelpCommand(std::uint16_t command, std::int32_t data) {
        bool callHelp = true;
        if (handler_)
            handler_(command, data, callHelp);
        return !callHelp;
    }
    bool HelpContext(std::int32_t context) { return HelpCommand(HELP_CONTEXT, context); }

  private:
    Handler handler_;
};

}  // namespace mervik
