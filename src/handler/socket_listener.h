// SPDX-License-Identifier: MIT
// Whether a socket file already has a live listener, found out without connecting to it: a
// connection would count as a client there, and a socket unit would start a handler for it.
#pragma once

// Returns 1 when a listening socket is bound to the socket file at `path` (the same file, by
// device and inode), 0 when the path holds no such socket (no file, another kind of file, or
// a socket file nobody listens on), or a negative errno when the kernel cannot be asked.
int socket_has_listener(const char* path);
