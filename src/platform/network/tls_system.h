#pragma once

#include <string>

// What TLS takes from the system it runs on: its trust store, and the files
// a port's URL names.
struct ssl_ctx_st;

namespace vx::platform {

// Readies the library, once, before its first use.
void InitTlsLibrary();

// Makes the system's trusted roots the ones a server's chain must reach.
void LoadTrustedRoots(ssl_ctx_st* context);

// A certificate or key file named in a port's URL, read once.
struct TlsFile {
    std::string content;
    std::string failure;  // why it was not read; empty when it was
};

// Reads a PEM file of at most a few hundred kilobytes that must be a regular
// file. A secret (a private key) must also be out of reach of other users:
// a key that anyone may read is as good as published, and one that others
// may change lets them pose as this client.
TlsFile ReadTlsFile(const std::string& path, bool secret);

}  // namespace vx::platform
