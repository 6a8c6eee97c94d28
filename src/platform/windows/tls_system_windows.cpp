#include <windows.h>
// After windows.h:
#include <aclapi.h>
#include <wincrypt.h>

#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <cstdlib>
#include <string>

#include "platform/network/tls_system.h"
#include "platform/windows/wide_text.h"

namespace vx::platform {
namespace {

constexpr LONGLONG kMaxFileSize = 512 * 1024;
constexpr ACCESS_MASK kReadOrChange = FILE_READ_DATA | FILE_WRITE_DATA | FILE_APPEND_DATA |
                                      GENERIC_READ | GENERIC_WRITE | GENERIC_ALL;
// The groups that stand for people other than the key's owner.
constexpr WELL_KNOWN_SID_TYPE kOthers[] = {WinWorldSid, WinAuthenticatedUserSid, WinBuiltinUsersSid,
                                           WinInteractiveSid, WinAnonymousSid};

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

bool IsOthers(PSID sid) {
    for (const WELL_KNOWN_SID_TYPE kind : kOthers) {
        if (IsWellKnownSid(sid, kind))
            return true;
    }
    return false;
}

// Whether the file's access list lets anyone beyond its owner and the
// administrators read or change it. A list that cannot be read, or none at
// all (which lets everyone in), counts as open. Deny entries are not
// weighed: a key is kept private by granting, not by exceptions.
bool OthersMayTouch(HANDLE file) {
    PACL access = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &access,
                        nullptr, &descriptor) != ERROR_SUCCESS) {
        return true;
    }
    bool open = access == nullptr;
    for (DWORD i = 0; !open && i < access->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(access, i, &entry))
            continue;
        if (static_cast<ACE_HEADER*>(entry)->AceType != ACCESS_ALLOWED_ACE_TYPE)
            continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        open = (allowed->Mask & kReadOrChange) != 0 && IsOthers(&allowed->SidStart);
    }
    LocalFree(descriptor);
    return open;
}

}  // namespace

// No configuration file: the library's built-in folder is not one this
// program controls, and nothing in it may weaken what the code asks for.
void InitTlsLibrary() {
    OPENSSL_init_ssl(OPENSSL_INIT_NO_LOAD_CONFIG, nullptr);
}

// The roots of the Windows certificate store, which the machine's policy
// keeps; SSL_CERT_FILE adds a site's own, as on other systems.
void LoadTrustedRoots(ssl_ctx_st* context) {
    X509_STORE* store = SSL_CTX_get_cert_store(context);
    if (HCERTSTORE roots = CertOpenSystemStoreW(0, L"ROOT")) {
        for (PCCERT_CONTEXT root = nullptr; (root = CertEnumCertificatesInStore(roots, root));) {
            const unsigned char* der = root->pbCertEncoded;
            if (X509* certificate =
                    d2i_X509(nullptr, &der, static_cast<long>(root->cbCertEncoded))) {
                X509_STORE_add_cert(store, certificate);
                X509_free(certificate);
            }
        }
        CertCloseStore(roots, 0);
    }
    if (const char* file = std::getenv("SSL_CERT_FILE"); file != nullptr && *file != '\0')
        X509_STORE_load_file(store, file);
}

TlsFile ReadTlsFile(const std::string& path, bool secret) {
    // The checks are made on the file that was opened, not on its name.
    const FileHandle file(CreateFileW(Wide(path).c_str(), GENERIC_READ | READ_CONTROL,
                                      FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE)
        return {{},
                path + ": cannot be opened (Windows error " + std::to_string(GetLastError()) + ")"};
    LARGE_INTEGER size{};
    if (GetFileType(file.Get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.Get(), &size))
        return {{}, path + ": not a regular file"};
    if (size.QuadPart > kMaxFileSize)
        return {{}, path + ": too large for a certificate or a key"};
    if (secret && OthersMayTouch(file.Get()))
        return {{}, path + ": other users may read or change this key; allow its owner alone"};
    std::string content(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD done = 0;
    if (!content.empty() && (!ReadFile(file.Get(), content.data(),
                                       static_cast<DWORD>(content.size()), &done, nullptr) ||
                             done != content.size())) {
        return {{}, path + ": could not be read"};
    }
    return {content, {}};
}

}  // namespace vx::platform
