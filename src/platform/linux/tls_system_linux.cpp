#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/ssl.h>

#include <cerrno>
#include <cstring>

#include "platform/network/tls_system.h"

namespace vx::platform {
namespace {

constexpr off_t kMaxFileSize = 512 * 1024;
constexpr mode_t kOthersMayTouch = S_IRWXO | S_IWGRP;

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

// The library reads the system's configuration (/usr/lib/ssl, which only
// root may change), so the machine's policy for TLS holds here too.
void InitTlsLibrary() {
    OPENSSL_init_ssl(0, nullptr);
}

// Debian's roots (/etc/ssl/certs), or those SSL_CERT_FILE and SSL_CERT_DIR
// name, as for every program on this system.
void LoadTrustedRoots(ssl_ctx_st* context) {
    SSL_CTX_set_default_verify_paths(context);
}

TlsFile ReadTlsFile(const std::string& path, bool secret) {
    // The checks are made on the file that was opened, not on its name, so
    // that nobody can swap the file between the check and the read.
    const Descriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.Get() < 0)
        return {{}, path + ": " + std::strerror(errno)};
    struct stat info {};
    if (fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        return {{}, path + ": not a regular file"};
    if (info.st_size > kMaxFileSize)
        return {{}, path + ": too large for a certificate or a key"};
    if (secret && (info.st_mode & kOthersMayTouch) != 0)
        return {
            {},
            path + ": other users may read or change this key; allow its owner alone (chmod 600)"};
    std::string content(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t got = read(file.Get(), content.data() + done, content.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return {{}, path + ": could not be read"};
        done += static_cast<std::size_t>(got);
    }
    return {content, {}};
}

}  // namespace vx::platform
