#pragma once

#include <string>

namespace mervik {

// True when the path is a plain file that no other open descriptor refers to,
// the nearest Linux has to opening a file with exclusive sharing.
//
// Limits: the test takes a write lease on a read-only descriptor, which the
// kernel grants only while no other descriptor of the file is open on this
// machine. Leases exist only for local files: on NFS, SMB and most FUSE file
// systems, and where leases are switched off (/proc/sys/fs/leases-enable),
// the kernel refuses them outright. A process may take a lease only on its own
// files (or with CAP_LEASE). In those cases the file cannot be checked and is
// taken as free when it can be opened for reading. A process on another
// machine writing to a shared file is never seen.
bool canOpenExclusive(const std::string& path);

}  // namespace mervik
