// TlsCertificate: a self-signed certificate made at run time for the TLS
// loopback server of a test, valid for the host names given, and written as a
// PEM file that curl can be told to trust.
#ifndef MORVELLIN_TESTS_HTTP_TLS_CERTIFICATE_H_
#define MORVELLIN_TESTS_HTTP_TLS_CERTIFICATE_H_

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace morvellin::testing {

class TlsCertificate {
 public:
  TlsCertificate(const std::vector<std::string>& host_names, const std::string& pem_path)
      : pem_path_(pem_path) {
    key_ = EVP_EC_gen("P-256");
    certificate_ = X509_new();
    if (key_ == nullptr || certificate_ == nullptr) throw std::runtime_error("no key");
    X509_set_version(certificate_, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate_), 1);
    X509_gmtime_adj(X509_getm_notBefore(certificate_), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate_), 24 * 3600);
    X509_set_pubkey(certificate_, key_);
    X509_NAME* name = X509_get_subject_name(certificate_);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(host_names[0].c_str()),
                               -1, -1, 0);
    X509_set_issuer_name(certificate_, name);
    std::string alt_names;
    for (const std::string& host : host_names) {
      alt_names += (alt_names.empty() ? "DNS:" : ",DNS:") + host;
    }
    AddExtension(NID_subject_alt_name, alt_names);
    AddExtension(NID_basic_constraints, "critical,CA:TRUE");
    if (X509_sign(certificate_, key_, EVP_sha256()) == 0) throw std::runtime_error("no sign");
    FILE* file = std::fopen(pem_path.c_str(), "w");
    if (file == nullptr) throw std::runtime_error("cannot write " + pem_path);
    PEM_write_X509(file, certificate_);
    std::fclose(file);
  }
  ~TlsCertificate() {
    X509_free(certificate_);
    EVP_PKEY_free(key_);
  }
  TlsCertificate(const TlsCertificate&) = delete;
  TlsCertificate& operator=(const TlsCertificate&) = delete;

  X509* certificate() const { return certificate_; }
  EVP_PKEY* key() const { return key_; }
  const std::string& pem_path() const { return pem_path_; }

 private:
  void AddExtension(int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate_, certificate_, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    if (extension == nullptr) throw std::runtime_error("bad extension " + value);
    X509_add_ext(certificate_, extension, -1);
    X509_EXTENSION_free(extension);
  }

  std::string pem_path_;
  EVP_PKEY* key_ = nullptr;
  X509* certificate_ = nullptr;
};

}  // namespace morvellin::testing

#endif  // MORVELLIN_TESTS_HTTP_TLS_CERTIFICATE_H_
