#pragma once

// TLS fixtures for tests: a throwaway self-signed certificate, and SSL_CERT_FILE pointed at it.

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdlib.h>
#include <string>

namespace zibbles::testing {

// A self-signed certificate for one subjectAltName, made by the openssl tool in a fresh folder.
class SelfSignedCertificate {
  public:
    explicit SelfSignedCertificate(const std::string& subjectAltName) {
        char pattern[] = "/tmp/zibbles-tls-XXXXXX";
        if (!::mkdtemp(pattern))
            return;
        folder_ = pattern;
        const std::string command =
            "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=zibbles-test -addext "
            "subjectAltName=" +
            subjectAltName + " -keyout " + key() + " -out " + certificate() + " 2>/dev/null";
        made_ = std::system(command.c_str()) == 0;
    }
    ~SelfSignedCertificate() {
        if (!folder_.empty())
            std::filesystem::remove_all(folder_);
    }
    SelfSignedCertificate(const SelfSignedCertificate&) = delete;
    SelfSignedCertificate& operator=(const SelfSignedCertificate&) = delete;

    bool made() const { return made_; }
    std::string certificate() const { return folder_ + "/cert.pem"; }
    std::string key() const { return folder_ + "/key.pem"; }

  private:
    std::string folder_;
    bool made_ = false;
};

// SSL_CERT_FILE set to a file (or unset) for the life of this object. The curl session reads it
// when it is made, so make the session after this.
class CertFileVariable {
  public:
    explicit CertFileVariable(const std::string* value) {
        if (const char* old = std::getenv("SSL_CERT_FILE"))
            old_ = old;
        if (value)
            ::setenv("SSL_CERT_FILE", value->c_str(), 1);
        else
            ::unsetenv("SSL_CERT_FILE");
    }
    ~CertFileVariable() {
        if (old_)
            ::setenv("SSL_CERT_FILE", old_->c_str(), 1);
        else
            ::unsetenv("SSL_CERT_FILE");
    }
    CertFileVariable(const CertFileVariable&) = delete;
    CertFileVariable& operator=(const CertFileVariable&) = delete;

  private:
    std::optional<std::string> old_;
};

} // namespace zibbles::testing
