#pragma once

#include <string>

namespace mervik {

// True when the path is a plain file that no other open descriptor refers to,
// the nearest Linux has to opening a file with exclusive sharing.
//
// The test takes a write lease on a read-only descriptor, which the kernel
// grants only while no other descriptor of the file is open on this machine.
// Any refusal means "not free": a writer still has it open (EAGAIN), or we
// may not lease it, as for a file of another account (a process may lease
// only its own files, unless it runs as root or has CAP_LEASE), so such a
// file is never taken while it could still be being written.
//
// Limits: leases exist only for local files. On NFS, SMB, most FUSE file
// systems, and where leases are switched off (/proc/sys/fs/leases-enable),
// the kernel has no leases at all (EINVAL); there the file is taken as free
// when it can be opened for reading, and only the settle time of the caller
// (size and time unchanged) guards against a writer. A process on another
// machine writing to a shared file is never seen by the lease.
bool canOpenExclusive(const std::string& path);

}  // namespace mervik
