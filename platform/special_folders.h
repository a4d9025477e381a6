// Special folders of the desktop, by their Windows folder identifier (CSIDL),
// so that a Win32 implementation can pass the number straight to the shell.
//
// POSIX mapping (empty where Linux has no counterpart):
//   CSIDL_STARTMENU (11), CSIDL_PROGRAMS (2)   $XDG_DATA_HOME/applications
//   CSIDL_DRIVES (17)                          empty (a virtual folder)
//   CSIDL_DESKTOPDIRECTORY (16), CSIDL_DESKTOP (0)  XDG_DESKTOP_DIR
//   CSIDL_PERSONAL (5)                         XDG_DOCUMENTS_DIR
//   CSIDL_APPDATA (26)                         $XDG_CONFIG_HOME, else $HOME/.config
//   CSIDL_FAVORITES (6)                        empty
//   CSIDL_TEMPLATES (21)                       XDG_TEMPLATES_DIR
//   CSIDL_PROGRAM_FILES (38)                   /opt
//   CSIDL_COMMON_APPDATA (35)                  /var/lib
//   CSIDL_LOCAL_APPDATA (28)                   $XDG_DATA_HOME, else $HOME/.local/share
//   CSIDL_COMMON_DOCUMENTS (46)                empty
// The XDG_*_DIR entries come from $XDG_CONFIG_HOME/user-dirs.dirs when it
// names them, else $HOME/Desktop, $HOME/Documents, $HOME/Templates.
// An XDG_*_HOME variable counts only when it is an absolute path. Results
// never end in a separator (except "/" itself).
#pragma once

#include <string>

namespace mervik {

// The file-system path of the folder, or empty when it cannot be given.
std::string specialFolderPath(int csidl);

// The per-user folder for local application data (CSIDL_LOCAL_APPDATA).
std::string localAppDataFolder();

}  // namespace mervik
